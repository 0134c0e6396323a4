#include "answer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalog.h"

namespace {

using Ids = std::vector<std::string>;

TEST(ServiceForm, ParseIds) {
  struct Row {
    std::string body;
    std::optional<Ids> expected;
  };
  const Row rows[] = {
      {"ids%5B%5D=616943008327", Ids{"616943008327"}},
      {"ids[]=1&ids[]=2", Ids{"1", "2"}},
      {"ids%5b%5d=1&x=y&ids[]=3", Ids{"1", "3"}},  // lower-case hex, other fields ignored
      {"ids[]=", Ids{""}},                         // an empty id is an id
      {"ids[]", Ids{""}},
      {"&&ids[]=5&", Ids{"5"}},
      {"ids[]=a+b%26c", Ids{"a b&c"}},
      {"ids[]=%E8%BF%9E", Ids{"\xE8\xBF\x9E"}},
      {"ids[]=123&spm=abc", Ids{"123"}},
      // Malformed: no ids[] field, or a broken percent escape anywhere.
      {"", std::nullopt},
      {"ids=1", std::nullopt},
      {"id[]=1", std::nullopt},
      {"ids[]=%zz", std::nullopt},
      {"ids[]=%4", std::nullopt},
      {"ids[]=1%", std::nullopt},
      {"ids%5=1", std::nullopt},
      {"ids[]=1&x=%G0", std::nullopt},
  };
  for (const auto& r : rows)
    EXPECT_EQ(category_service::parse_ids(r.body), r.expected) << r.body;
}

TEST(ServiceForm, JsonStringEscapesAllButPrintableAscii) {
  struct Row {
    std::string utf8, expected;
  };
  const Row rows[] = {
      {"50010850", R"("50010850")"},
      {"连衣裙", R"("\u8fde\u8863\u88d9")"},
      {"T恤", R"("T\u6064")"},
      {"𠮷", R"("\ud842\udfb7")"},  // above U+FFFF: a surrogate pair
      {"a\"b\\c/", R"("a\"b\\c/")"},
      {"\t\n\x7f", R"("\u0009\u000a\u007f")"},
      {"", R"("")"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(category_service::json_string(r.utf8), r.expected) << r.utf8;
}

TEST(ServiceCatalog, Parse) {
  const auto good =
      category_service::Catalog::parse("# comment\n\n1\t10\t手机\r\n2\t20\t连衣裙\n3\t30\t茶叶");
  ASSERT_TRUE(good);
  EXPECT_EQ(good->size(), 3u);
  ASSERT_NE(good->find("1"), nullptr);
  EXPECT_EQ(good->find("1")->cat_name, "手机");  // the CR of CR LF is not kept
  EXPECT_EQ(good->find("3")->cat_id, "30");
  EXPECT_EQ(good->find("4"), nullptr);

  const char* bad[] = {
      "1\t10\n",               // too few fields
      "1\t10\tx\ty\n",         // too many
      "1\t\tx\n",              // an empty field
      "1\t10\ta\n1\t11\tb\n",  // a repeated id
  };
  for (const char* tsv : bad)
    EXPECT_FALSE(category_service::Catalog::parse(tsv)) << tsv;
}

TEST(ServiceCatalog, BundledCatalogAndAnswers) {
  const auto catalog = category_service::Catalog::load(CATEGORY_SERVICE_CATALOG);
  ASSERT_TRUE(catalog);
  EXPECT_GE(catalog->size(), 30u);
  EXPECT_FALSE(category_service::Catalog::load(CATEGORY_SERVICE_CATALOG ".missing"));

  struct Row {
    Ids ids;
    std::string expected;
  };
  const Row rows[] = {
      {{"616943008327"},
       R"([{"cat_id":"50010850","cat_name":"\u8fde\u8863\u88d9","id":"616943008327"}])"},
      {{"616943008327", "0", "520813250866"},
       R"([{"cat_id":"50010850","cat_name":"\u8fde\u8863\u88d9","id":"616943008327"},)"
       R"({"cat_id":"1512","cat_name":"\u624b\u673a","id":"520813250866"}])"},
      {{"0"}, "[]"},
      {{""}, "[]"},
      {{}, "[]"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(category_service::answer_json(*catalog, r.ids), r.expected) << r.ids.size();
  }
}

}  // namespace
