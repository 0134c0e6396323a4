#include <gtest/gtest.h>

#include <string>

#include "json/json_document.h"
#include "json/json_module.h"
#include "json_test_support.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json_test::cp;

JsonDocument parsed(std::string_view text, bool top_level_naming = false) {
  JsonDocument d;
  d.parse_text(text, false, top_level_naming);
  return d;
}

TEST(GetValue, TheLookupPath) {
  const JsonDocument answer = parsed(R"([{"cat_name":"x"}])");
  struct Case {
    std::string path;
    std::string value;
    int type;  // 99: left untouched
  };
  const Case cases[] = {
      {"[0].cat_name", "x", 2},
      {"[1].cat_name", "", 99},
      {"cat_name", "", 99},
      {"[0].cat_name.", "", 99},
  };
  for (const Case& c : cases) {
    int type = 99;
    int found = -1;
    EXPECT_EQ(answer.get_value(c.path, 0, &type, false, &found), c.value) << c.path;
    EXPECT_EQ(type, c.type) << c.path;
    EXPECT_EQ(found, c.value.empty() ? 0 : 3) << c.path;
  }
  int type = 99;
  EXPECT_EQ(JsonDocument().get_value("[0].cat_name", 0, &type), "");
  EXPECT_EQ(type, 99);
  // Element names and member names compare alike.
  EXPECT_EQ(parsed(R"({"[0]":{"cat_name":"x"}})").get_value("[0].cat_name"), "x");
}

TEST(GetValue, DecodesByType) {
  const JsonDocument d = parsed(
      "{\"s\":\"a\\u4e2db\\\"c\",\"b\":TRUE,\"o\":{\"x\":1,\"y\":2,\"z\":3},\"e\":[],"
      "\"n\":1.50,\"u\":nULL,\"cut\":[1");
  struct Case {
    std::string path;
    std::string raw, decoded;
  };
  const Case cases[] = {
      {"s", R"(a\u4e2db\"c)", "a" + cp("中") + "b\"c"},
      {"b", "true", "true"},  // stored lowered without strict checking
      {"o", "{ 3 }", "3"},
      {"e", "[ 0 ]", "0"},
      {"n", "1.50", "1.50"},
      {"u", "null", "null"},
      {"cut", "", ""},  // never closed: no summary
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d.get_value(c.path), c.raw) << c.path;
    EXPECT_EQ(d.get_value(c.path, 0, nullptr, true), c.decoded) << c.path;
  }
  // The root of an input that ended before its closing bracket decodes to "".
  EXPECT_EQ(parsed("{\"a\":1").get_value("", 1, nullptr, true), "");
}

TEST(GetValue, NodeNumberBeforePath) {
  const JsonDocument d = parsed(R"({"a":"1","b":"2"})");
  int found = 0;
  EXPECT_EQ(d.get_value("b", 2, nullptr, false, &found), "1");
  EXPECT_EQ(found, 2);
  EXPECT_EQ(d.get_value("b", 3), "2");
  EXPECT_EQ(d.get_value("b", 4), "2");  // out of range: the path
  EXPECT_EQ(d.get_value("b", -1), "2");
}

TEST(FindNode, Paths) {
  const JsonDocument d =
      parsed(R"({"a":[0,1,{"c":"x"}],"":{"b":1},"p":{"":{"b":2},"":7},"q.r":1,"s[t":2})");
  // Nodes: 1 root, 2 a, 3 [0], 4 [1], 5 [2], 6 c, 7 "", 8 b, 9 p, 10 "", 11 b, 12 "", 13 q.r, 14
  // s[t
  struct Case {
    std::string path;
    int expected;
  };
  const Case cases[] = {
      {"", 1},         {"a", 2},       {".a", 2},  // a leading dot is ignored
      {"a[2]", 5},     {"a.[2]", 5},   {".a[2]", 5},
      {"a[2].c", 6},   {"a.[2].c", 6}, {"a.2", 0},  // an index needs its brackets
      {"a[02]", 0},    {"a[ 2 ]", 0},  {"A", 0},    // names compare case-sensitively
      {".b", 0},     // the leading dot dropped, b is not a member of the root
      {"p.", 10},    // a final dot: the member with an empty name inside p
      {"p..b", 11},  // b inside p's empty-named member
      {"..b", 8},    // the empty-named member of the root, then b
      {"q.r", 0},    // a name with a dot cannot be reached
      {"s[t", 0},    // nor one with a bracket
      {"a[2].c.d", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(d.find_node(c.path), c.expected) << c.path;
}

TEST(FindNode, BacktracksAndSkipsWithStart) {
  const JsonDocument d = parsed(R"({"a":{"x":1},"a":{"y":2},"a":{"y":3}})");
  // Nodes: 1 root, 2 a, 3 x, 4 a, 5 y, 6 a, 7 y.
  EXPECT_EQ(d.find_node("a.y"), 5);  // the first a has no y: the second is tried
  EXPECT_EQ(d.find_node("a"), 2);
  EXPECT_EQ(d.find_node("a", 3), 4);  // the next match after the first
  EXPECT_EQ(d.find_node("a", 5), 6);
  EXPECT_EQ(d.find_node("a", 7), 0);
  EXPECT_EQ(d.find_node("a.y", 6), 7);
  EXPECT_EQ(d.find_node("a", 8), 0);  // start beyond the node count
  EXPECT_EQ(d.find_node("", 2), 0);   // the empty path with a start finds no level-0 node
  // Relative: node `start` is examined first, the first part counted as matched.
  EXPECT_EQ(d.find_node("a.y", 5, true), 5);
  EXPECT_EQ(d.find_node("a.y", 3, true), 5);
  EXPECT_EQ(d.find_node("a.x", 4, true), 0);
}

TEST(FindNode, TopLevelNamingMode) {
  const JsonDocument d = parsed(R"("a":{"k":1},"b":{"k":2},"c":3)", true);
  // Nodes: 1 a, 2 k, 3 b, 4 k, 5 c; top-level members have depth 1 (level 0).
  EXPECT_EQ(d.find_node(""), 1);
  EXPECT_EQ(d.find_node("", 2), 3);  // the empty path with `start` steps through them
  EXPECT_EQ(d.find_node("", 4), 5);
  EXPECT_EQ(d.find_node("k"), 2);  // paths start below the top-level members
  EXPECT_EQ(d.find_node("k", 3), 4);
  EXPECT_EQ(d.find_node("b"), 0);
  EXPECT_EQ(d.get_value("k", 0, nullptr, false), "1");
}

TEST(GetNode, CopiesTheRecord) {
  const JsonDocument d = parsed(R"([{"a":1},2])");
  int found = -1;
  EXPECT_EQ(d.get_node("[0].a", 0, &found), (JsonNode{"a", "1", 3, 1, 4}));
  EXPECT_EQ(found, 3);
  EXPECT_EQ(d.get_node("", 1), (JsonNode{"", "[ 2 ]", 1, 5, 0}));
  EXPECT_EQ(d.get_node("zz", 0, &found), JsonNode{});
  EXPECT_EQ(found, 0);
}

TEST(DecodeJsonEscapes, Table) {
  struct Case {
    std::string source, decoded;
  };
  const Case cases[] = {
      {R"(a\u4e2db\"c)", "a" + cp("中") + "b\"c"},
      {R"(\u0041)", "A"},
      {R"(\U0041)", R"(\U0041)"},  // only a lower-case u begins a Unicode escape
      {R"(\u4E2D)", cp("中")},
      {R"(\u4e2x)", R"(\u4e2x)"},  // cut short by a non-digit: kept, read afresh
      {R"(\u\n)", "\\u\n"},
      {R"(\"\/\\\b\f\n\r\t)", "\"/\\\b\f\n\r\t"},
      {R"(\q)", R"(\q)"},
      {R"(ab\)", "ab"},       // a lone final backslash is dropped
      {R"(ab\u12)", "ab"},    // so is an unfinished Unicode escape
      {R"(\ud83d)", "?"},     // a lone surrogate has no code page 936 form
      {R"(\u0e01)", "?"},     // Thai: not in the code page
      {"\xB0\\n", "\xB0\n"},  // bytes are not grouped into characters
      {"", ""},
  };
  for (const Case& c : cases) {
    const std::string out = json::decode_json_escapes(c.source);
    EXPECT_EQ(out, c.decoded) << c.source;
    EXPECT_LE(out.size(), c.source.size()) << c.source;
  }
}

TEST(IsJsonNumber, Table) {
  struct Case {
    std::string text;
    bool number;
  };
  const Case cases[] = {
      {"0", true},       {"-", true},    {"-.5", true},  {"007", true},    {"1.5e+3", true},
      {"1E-10", true},   {"1e+5", true}, {"1e5", false}, {"1e+", false},   {"+1", false},
      {".5", false},     {"1.", false},  {"", false},    {"1.2.3", false}, {"1e+5e+5", false},
      {"1e+5.0", false}, {"1x", false},  {"1 2", false}, {"12", true},     {"-0.0e-0", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(json::is_json_number(c.text), c.number) << c.text;
}

}  // namespace
