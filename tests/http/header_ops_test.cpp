#include "http/header_ops.h"

#include <gtest/gtest.h>

#include "http/base64.h"
#include "platform/codepage.h"

namespace {

using textops::Case;
using namespace std::string_literals;

// One double-byte character whose trail byte is "@" (0x40).
const std::string kTrailAt = "\xB0\x40";
const std::string kWideSpace = "\xA1\xA1";

TEST(HeaderLine, NameAndValue) {
  struct Row {
    std::string line, name, value;
  };
  const Row rows[] = {
      {"X-Token: a:b", "X-Token", "a:b"},
      {"no colon here", "", ""},
      {"  Accept :  */*  ", "Accept", "*/*"},
      {"Referer: http://h:8/p", "Referer", "http://h:8/p"},
      {":", "", ""},
      {"Name:", "Name", ""},
      {": value", "", "value"},
      {"", "", ""},
      // Only spaces are trimmed: a tab stays.
      {"A:\tb", "A", "\tb"},
      // Full-width spaces are spaces too.
      {kWideSpace + "A" + kWideSpace + ":" + kWideSpace + "b" + kWideSpace, "A", "b"},
      // The text ends at its first zero byte.
      {"A: b\0c"s, "A", "b"},
      {"A\0: b"s, "", ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(http::header_line_name(r.line), r.name) << r.line;
    EXPECT_EQ(http::header_line_value(r.line), r.value) << r.line;
  }
}

TEST(TextLeftOf, Table) {
  struct Row {
    std::string text, marker;
    int start;
    Case c;
    std::string expected;
  };
  const Row rows[] = {
      {"Set-Cookie: a=1", ": ", 1, Case::exact, "Set-Cookie"},
      {"Set-Cookie: a=1", "; ", 1, Case::exact, ""},
      {"a;b;c", ";", 3, Case::exact, "a;b"},  // counted from the text's start
      {"a;b;c", ";", -4, Case::exact, "a"},
      {"a;b;c", ";", 9, Case::exact, ""},
      {"abcABC", "C", 1, Case::exact, "abcAB"},
      {"abcABC", "C", 1, Case::ignore, "ab"},
      {";x", ";", 1, Case::exact, ""},
      {"", "", 1, Case::exact, ""},
      // No match on the trail byte of a double-byte character.
      {"x" + kTrailAt + "@y", "@", 1, Case::exact, "x" + kTrailAt},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(http::text_left_of(r.text, r.marker, r.start, r.c), r.expected)
        << "'" << r.text << "' marker '" << r.marker << "' from " << r.start;
  }
}

TEST(TextBetween, Table) {
  const std::string quote_word = platform::program_text("#引号");
  struct Row {
    std::string text, left, right;
    int start;
    Case c;
    std::string expected;
  };
  const Row rows[] = {
      {"Set-Cookie: a=1; path=/", "Set-Cookie:", ";", 1, Case::exact, " a=1"},
      {"say \"hi\" now", quote_word, quote_word, 1, Case::exact, "hi"},
      {"k=\"v\"", "k=" + quote_word, quote_word, 1, Case::exact, "v"},
      {"[a][b]", "[", "]", 1, Case::exact, "a"},
      {"[a][b]", "[", "]", 2, Case::exact, "b"},
      {"[a][b]", "[", "]", 5, Case::exact, ""},
      {"[a", "[", "]", 1, Case::exact, ""},
      {"a]", "[", "]", 1, Case::exact, ""},
      {"[]", "[", "]", 1, Case::exact, ""},
      {"<X>v</x>", "<x>", "</X>", 1, Case::exact, ""},
      {"<X>v</x>", "<x>", "</X>", 1, Case::ignore, "v"},
      // The right marker is searched after the left one, not inside it.
      {"aXa", "a", "a", 1, Case::exact, "X"},
      {"x" + kTrailAt + "@v;", "@", ";", 1, Case::exact, "v"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(http::text_between(r.text, r.left, r.right, r.start, r.c), r.expected)
        << "'" << r.text << "' between '" << r.left << "' and '" << r.right << "'";
  }
}

TEST(MergeCookies, Table) {
  struct Row {
    std::string old_cookies, new_cookies;
    std::string merged, new_after;
  };
  const Row rows[] = {
      {"a=1; b=2", "b=3;c=4;a=deleted;", "b=3; c=4", "b=3;c=4;a=deleted;"},
      {"a=1; a=2", "", "a=1", ""},
      {"x=1; x=1; y", "y=2;", "y=2; x=1", "y=2;"},
      {"a = 1", "", "a=1", ""},
      {"a=1;;b=2", "", "a=1; ; b=2", ""},
      {"", "", "", ""},
      {"", "s=1; t=2;", "s=1; t=2", "s=1;t=2;"},
      // A cookie deleted by the response goes, its old value too.
      {"s=1; t=2", "s=deleted;", "t=2", "s=deleted;"},
      // Identical entries are joined once.
      {"", "a=1;a=1;", "a=1", "a=1;a=1;"},
      {"a=1" + kWideSpace + "; b=2", "", "a=1; b=2", ""},
  };
  for (const auto& r : rows) {
    std::string old_cookies = r.old_cookies;
    std::string new_cookies = r.new_cookies;
    const std::string merged = http::merge_cookies(old_cookies, new_cookies);
    EXPECT_EQ(merged, r.merged) << "old '" << r.old_cookies << "' new '" << r.new_cookies << "'";
    EXPECT_EQ(old_cookies, r.merged) << "old '" << r.old_cookies << "' is updated";
    EXPECT_EQ(new_cookies, r.new_after) << "new '" << r.new_cookies << "' loses its spaces";
  }
}

TEST(CookieName, Table) {
  const std::pair<std::string, std::string> rows[] = {
      {"a=1", "a"}, {" a =1", "a"}, {"flag", "flag"}, {" flag ", "flag"},
      {"=v", ""},   {"", ""},       {"a=b=c", "a"},
  };
  for (const auto& [entry, name] : rows)
    EXPECT_EQ(http::cookie_name(entry), name) << entry;
}

TEST(CookieList, HasNameComparesNamesExactly) {
  const std::vector<std::string> list = {"a=1", " B = 2", "flag"};
  EXPECT_TRUE(http::cookie_list_has_name(list, "a"));
  EXPECT_TRUE(http::cookie_list_has_name(list, "B"));
  EXPECT_TRUE(http::cookie_list_has_name(list, "flag"));
  EXPECT_FALSE(http::cookie_list_has_name(list, "b"));
  EXPECT_FALSE(http::cookie_list_has_name(list, "a=1"));
  EXPECT_FALSE(http::cookie_list_has_name({}, ""));
  EXPECT_TRUE(http::cookie_list_has_name({""}, ""));
}

TEST(ListIndexOf, FirstExactMatch) {
  const std::vector<std::string> list = {"a", "b", "a", ""};
  EXPECT_EQ(http::list_index_of(list, "a"), 1);
  EXPECT_EQ(http::list_index_of(list, "b"), 2);
  EXPECT_EQ(http::list_index_of(list, ""), 4);
  EXPECT_EQ(http::list_index_of(list, "A"), -1);
  EXPECT_EQ(http::list_index_of({}, "a"), -1);
}

TEST(JoinUnique, Table) {
  struct Row {
    std::string text, separator, expected;
  };
  const Row rows[] = {
      {"a; b; a", "; ", "a; b"},
      {"a; b; c", "; ", "a; b; c"},
      {"a;a;a", ";", "a"},
      {"a; ; b; ", "; ", "a; ; b"},
      {"", "; ", ""},
      {"; a", "; ", "; a"},  // the leading empty piece is a piece
      {"abc", "; ", "abc"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(http::join_unique(r.text, r.separator), r.expected) << "'" << r.text << "'";
  }
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"abc", "YWJj"},
      {"ab", "YWI="},
      {"a", "YQ=="},
      {"user:pass", "dXNlcjpwYXNz"},
  };
  for (const auto& [plain, encoded] : rows) {
    EXPECT_EQ(http::base64_encode(text_to_bytes(plain)), encoded) << plain;
  }
}

TEST(Base64, EveryByteValueAndNoLineBreaks) {
  Bytes all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<std::uint8_t>(i));
  // Three bytes 0xFB 0xFF 0xBF use the last two alphabet letters.
  EXPECT_EQ(http::base64_encode(Bytes{0xFB, 0xFF, 0xBF}), "+/+/");
  EXPECT_EQ(http::base64_encode(Bytes{0, 0, 0}), "AAAA");
  const std::string encoded = http::base64_encode(all);
  EXPECT_EQ(encoded.size(), 344u);
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
  EXPECT_EQ(encoded.substr(0, 8), "AAECAwQF");
  EXPECT_EQ(encoded.substr(encoded.size() - 8), "/P3+/w==");
}

}  // namespace
