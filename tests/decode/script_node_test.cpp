// The script control against a real script engine: Node.js evaluates the same
// statements, generated from a fixed seed, in one run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "script_run.h"

namespace {

namespace fs = std::filesystem;
using decode_test::decoder_statement;
using decode_test::hex_units;
using namespace std::string_view_literals;

// Literal contents made of pieces of every kind the literal and unescape know,
// the broken ones included.
class LiteralMaker {
 public:
  explicit LiteralMaker(std::uint32_t seed) : rng_(seed) {}

  std::u16string make() {
    std::u16string out;
    const int pieces = below(13);
    for (int i = 0; i < pieces; ++i) {
      out += piece();
    }
    return out;
  }

 private:
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  char16_t unit_between(int low, int high) {
    return static_cast<char16_t>(std::uniform_int_distribution<int>(low, high)(rng_));
  }
  char16_t one_of(std::u16string_view units) {
    return units[below(static_cast<int>(units.size()))];
  }
  char16_t hex_digit() { return one_of(u"0123456789abcdefABCDEF"); }
  std::u16string hex_digits(int n) {
    std::u16string out;
    for (int i = 0; i < n; ++i) {
      out += hex_digit();
    }
    return out;
  }
  // Printable ASCII but the apostrophe, which would end the literal, and the
  // backslash, which has pieces of its own.
  char16_t ascii() {
    char16_t c;
    do {
      c = unit_between(0x20, 0x7E);
    } while (c == u'\'' || c == u'\\');
    return c;
  }

  std::u16string piece() {
    switch (below(20)) {
      case 0:
      case 1:
      case 2:
      case 17: {
        std::u16string run;
        for (int n = 1 + below(8); n > 0; --n) {
          run += ascii();
        }
        return run;
      }
      case 3:
      case 4: {
        std::u16string run;
        for (int n = 1 + below(4); n > 0; --n) {
          run += unit_between(0x4E00, 0x9FA5);
        }
        return run;
      }
      case 5:  // characters that are neither ASCII nor CJK, zero and lone surrogates too
        return std::u16string(
            1, below(2) ? unit_between(0xD800, 0xDFFF)
                        : one_of(u"\u0000\u0001\u0009\u000b\u000c\u001f\u007f\u0080\u00a0"
                                 u"\u00ff\u2019\u3000\ufeff\uffff"sv));
      case 6:
        return std::u16string(u"\\") + one_of(u"'\"\\bfnrtv");
      case 7:  // any other character after a backslash, digits, x and u included
        return std::u16string(u"\\") + (below(4) ? ascii() : unit_between(0x4E00, 0x9FA5));
      case 8:
        return below(3) ? u"\\x" + hex_digits(2) : u"\\x" + hex_digits(below(2)) + ascii();
      case 9:
        switch (below(4)) {
          case 0:
            return u"\\u" + hex_digits(below(4)) + ascii();
          case 1:
            return u"\\u{" + hex_digits(1 + below(6)) + (below(4) ? u"}" : u"");
          default:
            return u"\\u" + hex_digits(4);
        }
      case 10: {  // octal, sometimes followed by more digits
        std::u16string out = u"\\";
        for (int n = 1 + below(3); n > 0; --n) {
          out += unit_between(u'0', u'7');
        }
        if (below(3) == 0) out += unit_between(u'0', u'9');
        return out;
      }
      case 11:
        return std::u16string(u"\\") + one_of(u"89");
      case 12:
      case 13:
        switch (below(6)) {
          case 0:
            return u"%u" + hex_digits(below(4)) + ascii();
          case 1:  // a surrogate
            return std::u16string(u"%u") + one_of(u"dD") + one_of(u"89abAB") + hex_digits(2);
          case 2:
            return std::u16string(below(3) + 1, u'%');
          case 3:
            return u"%" + std::u16string(1, ascii()) + ascii();
          case 4:
            return u"%u" + hex_digits(4);
          default:
            return u"%" + hex_digits(2);
        }
      case 14:
      case 15:
        return std::u16string(1 + below(5), u'\\');  // stray backslashes
      case 16: {                                     // a line break, raw or after a backslash
        if (below(3) == 0) return u"";
        static constexpr std::u16string_view breaks[] = {u"\n", u"\r", u"\r\n", u"\u2028",
                                                         u"\u2029"};
        return (below(2) ? u"\\" : u"") + std::u16string(breaks[below(5)]);
      }
      default:
        return u"{$}";
    }
  }

  std::mt19937 rng_;
};

// Node's grammar is newer than ours in three places, on purpose: it continues a
// literal across a line break after a backslash, reads \u{...} escapes, and
// allows U+2028 and U+2029 inside literals. Where a case uses one of them, our
// compile error is expected; whatever does compile here must still agree.
bool uses_newer_grammar(std::u16string_view literal) {
  const auto is_line_terminator = [](char16_t c) {
    return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029;
  };
  for (size_t i = 0; i < literal.size(); ++i) {
    if (literal[i] == 0x2028 || literal[i] == 0x2029) return true;
    if (literal[i] != u'\\' || i + 1 == literal.size()) continue;
    const char16_t escaped = literal[++i];
    if (is_line_terminator(escaped)) return true;
    if (escaped == u'u' && i + 1 < literal.size() && literal[i + 1] == u'{') return true;
  }
  return false;
}

// A JSON string for the code units, every unit outside printable ASCII escaped.
std::string json_string(std::u16string_view text) {
  std::string out = "\"";
  char escape[7];
  for (const char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'"' && c != u'\\') {
      out += static_cast<char>(c);
    } else {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

std::string our_result(std::u16string_view statement) {
  const auto result = decode_test::run_script(statement);
  return result ? "V" + hex_units(*result) : "E";
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "decode-node-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(ScriptControlAgainstNode, GeneratedLiterals) {
  const fs::path node = NODE_PROGRAM;
  ASSERT_TRUE(fs::exists(node)) << "Node.js is needed: scripts/setup installs it";
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());

  constexpr int kCases = 4000;
  LiteralMaker maker(20240611);
  std::vector<std::u16string> literals;
  std::ofstream input(dir.path() / "in.txt", std::ios::binary);
  for (int i = 0; i < kCases; ++i) {
    literals.push_back(maker.make());
    input << "[" << json_string(decoder_statement(literals.back())) << ",\"xx\"]\n";
  }
  input.close();
  ASSERT_TRUE(input);

  const std::string command = "'" + node.string() + "' '" NODE_EVAL_SCRIPT "' '" +
                              (dir.path() / "in.txt").string() + "' '" +
                              (dir.path() / "out.txt").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream output(dir.path() / "out.txt");
  std::vector<std::string> expected;
  for (std::string line; std::getline(output, line);) {
    expected.push_back(line);
  }
  ASSERT_EQ(expected.size(), literals.size());

  int compiled = 0;
  int rejected = 0;
  int skipped = 0;
  std::ostringstream mismatches;
  int mismatch_count = 0;
  for (size_t i = 0; i < literals.size(); ++i) {
    const std::string ours = our_result(decoder_statement(literals[i]));
    const std::string& theirs = expected[i];
    if (ours == "E" && theirs != "E" && uses_newer_grammar(literals[i])) {
      ++skipped;
      continue;
    }
    ours == "E" ? ++rejected : ++compiled;
    if (ours != theirs && ++mismatch_count <= 10) {
      mismatches << "\n literal " << hex_units(literals[i]) << "\n   ours " << ours << "\n   node "
                 << theirs;
    }
  }
  EXPECT_EQ(mismatch_count, 0) << mismatches.str();
  // The generator must reach both outcomes often enough to say something.
  EXPECT_GT(compiled, kCases / 4);
  EXPECT_GT(rejected, kCases / 10);
  std::printf("compared %d (compiled %d, rejected %d), skipped %d\n", compiled + rejected, compiled,
              rejected, skipped);
}

}  // namespace
