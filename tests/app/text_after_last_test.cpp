#include "app/text_after_last.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/lookup.h"

namespace {

using namespace std::string_literals;

const std::string kItem = "https://item.example-market.com/item.htm";
// "\xB0\x69" is one double-byte character whose trail byte is the letter i.
const std::string kTrailI = "\xB0\x69";

// Links as the lookup meets them: the id it takes and the body it sends.
TEST(TextAfterLast, IdAndBodyOfLinks) {
  struct Row {
    std::string link, id;
  };
  const Row rows[] = {
      {kItem + "?id=616943008327", "616943008327"},
      // Nothing is cut at an ampersand or a number sign.
      {kItem + "?id=123&spm=abc", "123&spm=abc"},
      {kItem + "?id=123#reviews", "123#reviews"},
      // The last "id=" wins, also inside a longer field name; "Id=" is no match.
      {kItem + "?id=7&skuid=5", "5"},
      {kItem + "?skuId=5&id=7", "7"},
      {kItem + "?ID=616943008327", ""},
      {"", ""},
      {kItem + "?id=", ""},
      {"id=", ""},
      {"id=1", "1"},
      // An occurrence begins only where a character begins.
      {kItem + "?q=" + kTrailI + "d=5", ""},
      {kItem + "?q=" + kTrailI + "d=5&id=6", "6"},
      {kItem + "?q=\xD6id=5", ""},  // D6 69 is one character
      {kItem + "?q=\xD6\xD0&id=5", "5"},
      // The id is taken as it stands: percent escapes and double-byte text stay.
      {kItem + "?id=%31%32", "%31%32"},
      {kItem + "?id=\xC1\xAC\xD2\xC2\xC8\xB9", "\xC1\xAC\xD2\xC2\xC8\xB9"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(app::text_after_last(r.link, "id="), r.id) << r.link;
    EXPECT_EQ(app::request_body(r.link), "ids%5B%5D=" + r.id) << r.link;
  }
}

TEST(TextAfterLast, RegionCaseAndEmptyMarker) {
  struct Row {
    std::string text, marker;
    std::optional<int> start;
    bool ignore_case;
    std::string expected;
  };
  const Row rows[] = {
      // The region is the first start - 1 bytes; an occurrence must lie wholly inside.
      {"abcid=1id=2", "id=", std::nullopt, false, "2"},
      {"abcid=1id=2", "id=", 11, false, "2"},      // region "abcid=1id=" holds both
      {"abcid=1id=2", "id=", 10, false, "1id=2"},  // region ends before the second "="
      {"abcid=1id=2", "id=", 7, false, "1id=2"},
      {"abcid=1id=2", "id=", 6, false, ""},
      {"abcid=1id=2", "id=", 1, false, ""},
      {"abcid=1id=2", "id=", 0, false, ""},
      {"abcid=1id=2", "id=", -5, false, ""},
      {"abcid=1id=2", "id=", 1000, false, "2"},
      // Case folding of the ASCII letters only.
      {"?ID=9", "id=", std::nullopt, true, "9"},
      {"?Id=9&iD=8", "ID=", std::nullopt, true, "8"},
      {"?\xB0\x49"
       "D=9",
       "id=", std::nullopt, true, ""},
      // An empty marker is found at position 1 of a non-empty region.
      {"abc", "", std::nullopt, false, "abc"},
      {"abc", "", 2, false, "abc"},
      {"abc", "", 1, false, ""},
      {"", "", std::nullopt, false, ""},
      // A marker longer than the text, or a marker that ends the text.
      {"id", "id=", std::nullopt, false, ""},
      {"x=", "x=", std::nullopt, false, ""},
      // Double-byte markers match whole characters.
      {"a\xD6\xD0"
       "b\xD6\xD0"
       "c",
       "\xD6\xD0", std::nullopt, false, "c"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(app::text_after_last(r.text, r.marker, r.start, r.ignore_case), r.expected)
        << "'" << r.text << "' after '" << r.marker << "' start "
        << (r.start ? std::to_string(*r.start) : "none") << " ignore_case " << r.ignore_case;
  }
}

// Texts end at their first zero byte; a lead byte that ends the text is no
// character; long texts are handled whole.
TEST(TextAfterLast, BadInput) {
  const std::string mb(1 << 20, '7');
  std::string trail_i_run;
  for (int i = 0; i < (1 << 19); ++i)
    trail_i_run += kTrailI;
  std::string many_ids;
  for (int i = 0; i < (1 << 18); ++i)
    many_ids += "id=" + std::to_string(i % 10);

  struct Row {
    std::string name, link, id;
  };
  const Row rows[] = {
      {"zero byte ends the text", "?id=12\0id=34"s, "12"},
      {"zero byte before any id", "\0?id=5"s, ""},
      {"only zero bytes", std::string(64, '\0'), ""},
      {"trailing lead byte", "?id=12\xD6", "12\xD6"},
      {"lead byte right after the marker", "?id=\xB0", "\xB0"},
      {"only lead bytes", std::string(1001, '\xFF'), ""},
      {"1 MB id", kItem + "?id=" + mb, mb},
      {"1 MB before the id", mb + "?id=42", "42"},
      {"1 MB of trail-i characters", trail_i_run + "d=1", ""},
      {"1 MB of markers", many_ids, "3"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(app::text_after_last(r.link, "id="), r.id) << r.name;
    EXPECT_EQ(app::request_body(r.link), "ids%5B%5D=" + r.id) << r.name;
  }
}

}  // namespace
