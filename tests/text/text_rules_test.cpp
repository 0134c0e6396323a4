#include "text/text_rules.h"

#include <gtest/gtest.h>

#include "text/bytes.h"

namespace {

using textops::Case;
using namespace std::string_literals;

// "\xB0\x69" is one double-byte character whose trail byte is the letter i.
const std::string kTrailI = "\xB0\x69";
const std::string kWideSpace = "\xA1\xA1";

TEST(TextRules, Find) {
  struct Row {
    std::string text, needle;
    int start;
    Case c;
    int expected;
  };
  const Row rows[] = {
      {"abcabc", "bc", 1, Case::exact, 2},
      {"abcabc", "bc", 3, Case::exact, 5},
      {"abcabc", "bc", -7, Case::exact, 2},
      {"abcabc", "BC", 1, Case::exact, -1},
      {"abcabc", "BC", 1, Case::ignore, 2},
      {"abc", "", 1, Case::exact, 1},
      {"", "", 1, Case::exact, -1},
      {"", "a", 1, Case::exact, -1},
      {"abc", "abcd", 1, Case::exact, -1},
      {"abc", "c", 9, Case::exact, -1},
      // The trail byte 0x69 ("i") of a double-byte character is never a match start.
      {kTrailI + "d=", "id=", 1, Case::exact, -1},
      {kTrailI + "id=", "id=", 1, Case::exact, 3},
      {"x" + kTrailI, "i", 1, Case::exact, -1},
      // Case folding touches ASCII letters only, never a double-byte character.
      {"\xB0\x49", "\xB0\x69", 1, Case::ignore, -1},
      {"a\xB0\x49", "A\xB0\x49", 1, Case::ignore, 1},
      // A lead byte that ends the text is no character.
      {"a\xD6", "\xD6", 1, Case::exact, -1},
      // A text ends at its first zero byte.
      {"ab\0cd"s, "cd", 1, Case::exact, -1},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(textops::find(r.text, r.needle, r.start, r.c), r.expected)
        << "find '" << r.needle << "' in '" << r.text << "' from " << r.start;
  }
}

TEST(TextRules, FindLast) {
  EXPECT_EQ(textops::find_last("?id=7&skuid=5", "id="), 10);
  EXPECT_EQ(textops::find_last("?skuId=5&id=7", "id="), 10);
  EXPECT_EQ(textops::find_last("aaaa", "aa"), 3);
  EXPECT_EQ(textops::find_last("abab", "ab", Case::exact, 3), 1);  // only the first 3 bytes
  EXPECT_EQ(textops::find_last("abab", "ab", Case::exact, 0), -1);
  EXPECT_EQ(textops::find_last("x", "", Case::exact), 1);
  EXPECT_EQ(textops::find_last(kTrailI + "d=1", "id="), -1);
  EXPECT_EQ(textops::find_last("ID=1", "id=", Case::ignore), 1);
  // A region that ends inside a double-byte character still sees that character start.
  EXPECT_EQ(textops::find_last("a\xB0\xA1", "\xB0", Case::exact, 2), 2);
  EXPECT_EQ(textops::find_last("a\xB0", "\xB0", Case::exact), -1);  // a lone lead byte at the end
  EXPECT_EQ(textops::find(std::string_view{}, "a"), -1);
}

TEST(TextRules, ReplaceAll) {
  struct Row {
    std::string text, from, to;
    Case c;
    std::string expected;
  };
  const Row rows[] = {
      {"a\r\nb\r\n", "\r\n", "{$}", Case::exact, "a{$}b{$}"},
      {"aaa", "aa", "b", Case::exact, "ba"},  // no overlaps
      {"ab", "a", "aa", Case::exact, "aab"},  // the replacement is not rescanned
      {"xSet-Cookie:y", "set-cookie:", "", Case::ignore, "xy"},
      {"abc", "", "z", Case::exact, "abc"},
      {"", "a", "b", Case::exact, ""},
      {kTrailI + "i", "i", "I", Case::exact, kTrailI + "I"},
      {"\\u4e2d", "\\u", "%u", Case::exact, "%u4e2d"},
      {"a\xA1", "\xA1", "x", Case::exact, "a\xA1"},  // a lone lead byte at the end is no character
  };
  for (const auto& r : rows) {
    EXPECT_EQ(textops::replace_all(r.text, r.from, r.to, r.c), r.expected) << r.text;
  }
}

TEST(TextRules, TrimAndRemoveSpaces) {
  struct Row {
    std::string text, trimmed, without_spaces;
  };
  const Row rows[] = {
      {"  a b  ", "a b", "ab"},
      {kWideSpace + "a" + kWideSpace + "b" + kWideSpace, "a" + kWideSpace + "b", "ab"},
      {"\ta\r\n", "\ta\r\n", "\ta\r\n"},  // tabs, CR and LF are not spaces
      {"   ", "", ""},
      {"", "", ""},
      // B0 A1 is a character; the A1 after it pairs with the next A1 as a space.
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
      {"a\xA1", "a\xA1", "a\xA1"},  // a lone A1 is no space
  };
  for (const auto& r : rows) {
    EXPECT_EQ(textops::trim(r.text), r.trimmed) << r.text;
    EXPECT_EQ(textops::remove_spaces(r.text), r.without_spaces) << r.text;
  }
}

TEST(TextRules, Split) {
  using V = std::vector<std::string>;
  struct Row {
    std::string text, separator;
    V pieces;
  };
  const Row rows[] = {
      {"a;b;c", ";", V{"a", "b", "c"}},
      {"a;;b", ";", V{"a", "", "b"}},
      {";a", ";", V{"", "a"}},
      {"a;", ";", V{"a"}},
      {"a;;", ";", V{"a", ""}},
      {"", ";", V{}},
      {";", ";", V{""}},
      {"a\r\nb", "\r\n", V{"a", "b"}},
      {"abc", "", V{"abc"}},
      {"x" + kTrailI + "y", "i", V{"x" + kTrailI + "y"}},
      {"a\xA1", "\xA1", V{"a\xA1"}},
  };
  for (const auto& r : rows)
    EXPECT_EQ(textops::split(r.text, r.separator), r.pieces) << r.text;
}

TEST(TextRules, LeftRightAndLower) {
  EXPECT_EQ(textops::left("abc", 2), "ab");
  EXPECT_EQ(textops::left("abc", 0), "");
  EXPECT_EQ(textops::left("abc", -1), "");
  EXPECT_EQ(textops::left("abc", 9), "abc");
  EXPECT_EQ(textops::right("abc", 2), "bc");
  EXPECT_EQ(textops::right("abc", -3), "");
  EXPECT_EQ(textops::right("abc", 9), "abc");
  EXPECT_EQ(textops::lower_ascii("TRUE"), "true");
  EXPECT_EQ(textops::lower_ascii("A\xB0\x49Z"), "a\xB0\x49z");
}

TEST(TextRules, Bytes) {
  EXPECT_EQ(bytes_to_text(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(bytes_to_text(Bytes{}), "");
  EXPECT_EQ(text_to_bytes("ab"), (Bytes{'a', 'b'}));
}

TEST(TextRules, LargeInputs) {
  const std::string big(1 << 20, 'a');
  EXPECT_EQ(textops::find(big + "id=", "id="), (1 << 20) + 1);
  EXPECT_EQ(textops::replace_all(big, "a", "").size(), 0u);
  EXPECT_EQ(textops::split(big, ";").size(), 1u);
  const std::string leads(1 << 20, '\xB0');  // every byte a lead byte: pairs B0 B0
  EXPECT_EQ(textops::find(leads, "\xB0\xB0"), 1);
  EXPECT_EQ(textops::find_last(leads, "\xB0\xB0"), (1 << 20) - 1);
}

}  // namespace
