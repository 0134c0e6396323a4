#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

struct WideCase {
  char16_t unit;
  std::string bytes;
};

TEST(CodePage, WideCharToMultiByte) {
  const WideCase cases[] = {
      {u'A', "A"},
      {u'\0', std::string(1, '\0')},
      {u'\x7f', "\x7f"},
      {u'\u4e2d', "\xD6\xD0"},  // 中
      {u'\u3000', "\xA1\xA1"},  // full-width space
      {u'\u2019', "\xA1\xAF"},  // right single quotation mark
      {u'\u201c', "\xA1\xB0"},  // left corner quote
      {u'\u20ac', "\x80"},      // the euro sign is the one single byte above 0x7F
      {u'\u00e9', "\xA8\xA6"},  // GBK holds the pinyin letters
      {u'\uac00', "?"},         // Hangul is not in the code page
      {u'\xd800', "?"},         // a lone surrogate
      {u'\xffff', "?"},
  };
  for (const auto& c : cases) {
    char out[2] = {};
    const int n = platform::wide_char_to_multi_byte(c.unit, out);
    EXPECT_EQ(std::string(out, n), c.bytes) << "U+" << std::hex << int(c.unit);
  }
}

struct NarrowCase {
  std::string bytes;
  char16_t unit;
};

TEST(CodePage, MultiByteToWideChar) {
  const NarrowCase cases[] = {
      {"A", u'A'},         {"\xD6\xD0", u'\u4e2d'}, {"\xA1\xA1", u'\u3000'},
      {"\x80", u'\u20ac'}, {"\xFF", u'?'},  // not a character
      {"\xD6", u'?'},                       // a lead byte alone
      {"\xAA\xA1", u'?'},                   // a pair the code page leaves undefined
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::multi_byte_to_wide_char(c.bytes.data(), static_cast<int>(c.bytes.size())),
              c.unit)
        << c.bytes;
  }
}

TEST(CodePage, EveryDefinedPairRoundTrips) {
  int defined = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      const char16_t u = platform::multi_byte_to_wide_char(in, 2);
      if (u == u'?') continue;
      ++defined;
      char out[2];
      ASSERT_EQ(platform::wide_char_to_multi_byte(u, out), 2);
      EXPECT_EQ(std::string(out, 2), std::string(in, 2));
    }
  }
  EXPECT_GT(defined, 21000);  // GBK defines 21886 double-byte characters
}

TEST(CodePage, WholeTexts) {
  struct Case {
    std::string cp936;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"\xD6\xD0\xCE\xC4", u"中文"},
      {"a\xD6", u"a?"},  // a trailing lead byte
      {"\xFF"
       "a",
       u"?a"},                // FF is no character
      {"\xD6\x20x", u"? x"},  // a lead byte before a byte that cannot trail
      {std::string("a\0b", 3), u"a\0b"s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::cp936_to_utf16(c.cp936), c.utf16) << c.cp936;
  }
  EXPECT_EQ(platform::utf16_to_cp936(u"中?가"), "\xD6\xD0??");
}

TEST(CodePage, Utf8) {
  EXPECT_EQ(platform::utf8_to_cp936("商品类目："), "\xC9\xCC\xC6\xB7\xC0\xE0\xC4\xBF\xA3\xBA");
  EXPECT_EQ(platform::cp936_to_utf8("\xC9\xCC\xC6\xB7"), "商品");
  EXPECT_EQ(platform::utf8_to_cp936("\xC3"), "?");            // truncated sequence
  EXPECT_EQ(platform::utf8_to_cp936("\xED\xA0\x80"), "???");  // an encoded surrogate
  EXPECT_EQ(platform::utf16_to_utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(platform::utf8_to_utf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(platform::utf16_to_utf8(std::u16string(1, u'\xdc00')), "\xEF\xBF\xBD");
  EXPECT_EQ(platform::program_text("查询"), "\xB2\xE9\xD1\xAF");
}

TEST(CodePage, TablesAreBuiltOnceUnderConcurrentFirstUse) {
  std::vector<std::thread> threads;
  std::vector<std::string> results(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&results, i] { results[i] = platform::utf8_to_cp936("中"); });
  }
  for (auto& t : threads)
    t.join();
  for (const auto& r : results)
    EXPECT_EQ(r, "\xD6\xD0");
}

}  // namespace
