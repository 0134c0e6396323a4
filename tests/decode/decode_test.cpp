#include "text/decode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "automation/adodb_stream.h"
#include "automation/object.h"
#include "automation/script_control.h"
#include "automation/server.h"
#include "platform/apartment.h"
#include "platform/codepage.h"

namespace {

using namespace std::string_literals;

// A code page 936 text from a UTF-8 literal.
std::string cp(const char* utf8) {
  return platform::utf8_to_cp936(utf8);
}
// A code page 936 text from UTF-16 code units.
std::string cp(std::u16string_view units) {
  return platform::utf16_to_cp936(units);
}

std::string hex(std::string_view bytes) {
  std::string out;
  char byte[4];
  for (const char c : bytes) {
    std::snprintf(byte, sizeof byte, "%02X ", static_cast<unsigned char>(c));
    out += byte;
  }
  return out;
}

// Every call must end the apartment it starts, and start the stream's apartment
// inside its own: two deep at most.
class Decode : public testing::Test {
 protected:
  void SetUp() override { platform::reset_apartment_peak(); }

  std::string decode(std::string_view text, int expected_peak = 2) {
    platform::reset_apartment_peak();
    std::string result = textops::decode_unicode_escapes(text);
    EXPECT_EQ(platform::apartment_depth(), 0) << hex(text);
    EXPECT_EQ(platform::apartment_peak_depth(), expected_peak) << hex(text);
    return result;
  }

  std::string read_utf16(const Bytes& bytes, int expected_peak = 1) {
    platform::reset_apartment_peak();
    std::string result = textops::utf16_bytes_to_text(bytes);
    EXPECT_EQ(platform::apartment_depth(), 0);
    EXPECT_EQ(platform::apartment_peak_depth(), expected_peak);
    return result;
  }
};

struct DecodeCase {
  const char* what;
  std::string text;
  std::string decoded;
};

TEST_F(Decode, EdgeCases) {
  const DecodeCase cases[] = {
      {"escape", "\\u4e2d", "\xD6\xD0"},
      {"upper-case hex digits", "\\u4E2D\\u6587", cp("中文")},
      {"JSON answer", R"([{"cat_name":"\u670d\u88c5"}])", cp(R"([{"cat_name":"服装"}])")},
      {"no escapes", "plain text, 123 {}[]", "plain text, 123 {}[]"},
      {"code page text", cp("中文 text"), cp("中文 text")},
      {"empty", "", ""},
      // Line breaks.
      {"CR LF kept", "a\r\nb", "a\r\nb"},
      {"CR LF alone", "\r\n", "\r\n"},
      {"leading lone CR dropped", "\rab", "ab"},
      {"only the first CR", "\r\r\nab", "\r\nab"},
      {"stand-in becomes CR LF", "{$}", "\r\n"},
      {"stand-in amid text", "a{$}b\\n", "a\r\nb\n"},
      // Quotes.
      {"apostrophe", "it's", "it's"},
      {"right single quotation mark", cp("’"), "'"},
      {"escaped apostrophe", "\\u0027", "'"},
      {"escaped right single quotation mark", "\\u2019", "'"},
      {"JSON double quote", "\\\"", "\""},
      // Escapes of the literal and of unescape.
      {"percent escape", "%41", "A"},
      {"percent-u escape", "%u4e2d", "\xD6\xD0"},
      {"lone percent", "100%", "100%"},
      {"JSON slash", "\\/", "/"},
      {"JSON line feed", "\\n", "\n"},
      {"JSON tab", "\\t", "\t"},
      {"JSON backslash", "\\\\", "\\"},
      {"escaped backslash before u", "\\\\u4e2d", "\xD6\xD0"},
      {"hex and octal escapes", "\\x41\\101", "AA"},
      {"short escape kept", "\\u4e2", "%u4e2"},
      {"upper-case U is no escape", "\\U4e2d", "U4e2d"},
      {"line feed made by an escape", "\\u000a", "\n"},
      // A lead byte followed by a backslash byte is one character, not an escape.
      {"trail byte 0x5C", "\x81\x5Cu4e2d", "\x81\x5Cu4e2d"},
      // Characters the code page cannot hold become "?".
      {"Hangul", "\\uac00", "?"},
      {"lone surrogate", "%uD800", "?"},
      {"reversed surrogates", "%uDFFF%uD800", "??"},
      {"invalid code page byte", "\xFF", "?"},
      {"lone lead byte at the end", "a\xD6", "a?"},
      // The text ends at its first zero byte.
      {"zero byte", "ab\0\\u4e2d"s, "ab"},
      {"leading zero byte", "\0ab"s, ""},
      // The script fails: the prepared text's bytes read as UTF-16LE.
      {"lone LF", "a\nb", cp(u"\u0a61")},
      {"lone CR after the start", "ab\rcd", cp(u"\u6261\u630d")},
      {"final lone backslash", "ab\\", cp(u"\u6261")},
      {"three final backslashes", "ab\\\\\\", cp(u"\u6261\u5c5c")},
      {"escape without its digits", "\\x4", cp(u"\u785c")},
      {"odd byte dropped", "a\n{$}", cp(u"\u0a61\u247b")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex(decode(c.text)), hex(c.decoded)) << c.what;
  }
}

TEST_F(Decode, InputIsLeftAlone) {
  const std::string text = "a'\\u4e2d\r\n";
  const std::string copy = text;
  decode(text);
  EXPECT_EQ(text, copy);
}

TEST_F(Decode, TenMegabytesOfBackslashes) {
  const size_t n = 10 * 1024 * 1024;
  // An even run: each pair is one backslash.
  EXPECT_EQ(decode(std::string(n, '\\')), std::string(n / 2, '\\'));
  // An odd run escapes the closing quote: the pairs read as U+5C5C instead.
  std::string expected;
  const std::string unit = cp(u"\u5c5c");
  expected.reserve(n);
  for (size_t i = 0; i < n / 2; ++i) {
    expected += unit;
  }
  EXPECT_EQ(decode(std::string(n + 1, '\\')), expected);
}

TEST_F(Decode, WorkersDecodeAtTheSameTime) {
  const std::string text = R"({"cat_name":"\u670d\u88c5 it's"})";
  const std::string expected = cp(R"({"cat_name":"服装 it's"})");
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> workers;
  for (int& count : wrong) {
    workers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (textops::decode_unicode_escapes(text) != expected) ++count;
        if (platform::apartment_depth() != 0) ++count;
      }
    });
  }
  for (auto& worker : workers) {
    worker.join();
  }
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

struct Utf16Case {
  Bytes bytes;
  std::string text;
};

TEST_F(Decode, Utf16BytesToText) {
  const Utf16Case cases[] = {
      {{}, ""},
      {{'a', 0, 'b', 0}, "ab"},
      {{0x2D, 0x4E, 0x87, 0x65}, cp("中文")},
      {{0xFF, 0xFE, 0x2D, 0x4E}, "\xD6\xD0"},
      {{0xFF, 0xFE}, ""},
      {{'a', 0, 'b'}, "a"},
      {{'a'}, ""},
      {{0, 0, 'a', 0}, "\0a"s},
      {{0x00, 0xAC}, "?"},
      {{0x00, 0xD8, 0x00, 0xDC}, "??"},
      {{0xAC, 0x20}, "\x80"},  // the euro sign
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex(read_utf16(c.bytes)), hex(c.text)) << testing::PrintToString(c.bytes);
  }
}

// Wraps a real server and notes every member call made on it, in order.
class RecordingServer final : public automation::Server {
 public:
  RecordingServer(std::shared_ptr<automation::Server> real, std::vector<std::string>& log)
      : real_(std::move(real)), log_(log) {}

  bool invoke(std::string_view member, automation::Access access,
              std::span<const automation::Variant> args, automation::Variant& result) override {
    static constexpr const char* kinds[] = {"call", "get", "put"};
    std::string entry = std::string(kinds[static_cast<int>(access)]) + " " + std::string(member);
    for (const auto& arg : args) {
      entry += " " + describe(arg);
    }
    log_.push_back(entry);
    return real_->invoke(member, access, args, result);
  }

 private:
  static std::string describe(const automation::Variant& v) {
    if (v.is_bytes()) return "bytes[" + hex(bytes_to_text(v.to_bytes())) + "]";
    if (v.is_text()) return "'" + v.to_text() + "'";
    return v.to_text();
  }

  std::shared_ptr<automation::Server> real_;
  std::vector<std::string>& log_;
};

// Records the calls made on one server under `progid` while it lives.
struct Recorder {
  explicit Recorder(const std::string& progid, automation::Factory real)
      : registration(progid,
                     [this, real] { return std::make_shared<RecordingServer>(real(), calls); }) {}

  std::vector<std::string> calls;
  automation::ScopedRegistration registration;
};

TEST_F(Decode, CallsEachServerInOrder) {
  Recorder script("ScriptControl", automation::make_script_control);
  Recorder stream("Adodb.Stream", automation::make_adodb_stream);

  EXPECT_EQ(decode("\\u4e2d'"), "\xD6\xD0'");
  const std::vector<std::string> script_calls = {
      "put language 'JScript'",
      "call executestatement 'function xx(){var x='%u4e2d\xA1\xAF';return unescape(x);}'",
      "call run 'xx'",
  };
  EXPECT_EQ(script.calls, script_calls);
  // The fallback is made even though the script gave a result.
  const std::vector<std::string> stream_calls = {
      "put type 1",
      "put mode 3",
      "call open",
      "call write bytes[25 75 34 65 32 64 A1 AF ]",
      "put position 0",
      "put type 2",
      "put charset 'unicode'",
      "call readtext",
      "call close",
  };
  EXPECT_EQ(stream.calls, stream_calls);
}

TEST_F(Decode, MissingServers) {
  const automation::Factory none = [] { return std::shared_ptr<automation::Server>(); };
  {
    // Without the script engine every result comes from the UTF-16LE reading.
    automation::ScopedRegistration no_script("ScriptControl", none);
    EXPECT_EQ(decode("AB"), cp(u"\u4241"));
    EXPECT_EQ(decode("{$}AB"), cp(u"\u247b\u417d"));
    EXPECT_EQ(decode(""), "");
  }
  {
    // Without the stream the script's result still counts; the stream's own
    // apartment is started and ended all the same.
    automation::ScopedRegistration no_stream("Adodb.Stream", none);
    EXPECT_EQ(read_utf16({'a', 0}), "");
    EXPECT_EQ(decode("\\u4e2d"), "\xD6\xD0");
    EXPECT_EQ(decode("a\nb"), "");
  }
  EXPECT_EQ(decode("\\u4e2d"), "\xD6\xD0") << "the servers are back";
}

}  // namespace
