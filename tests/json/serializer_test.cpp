#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/json_module.h"
#include "json/node_array.h"
#include "json_test_support.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json::NodeArray;
using json_test::cp;

JsonDocument parsed(std::string_view text) {
  JsonDocument d;
  d.parse_text(text);
  return d;
}

// A document whose store is exactly `records`, for texts and types the parser
// would not store.
JsonDocument from_records(const std::vector<JsonNode>& records) {
  NodeArray array;
  for (const JsonNode& r : records)
    array.push_back(r);
  JsonDocument d;
  d.取全部节点_交换变量(array);
  return d;
}

std::string lines(const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += "\r\n";
    out += parts[i];
  }
  return out;
}

constexpr bool kCompact = false;
constexpr bool kPretty = true;

TEST(ToJsonText, LayoutsByteForByte) {
  struct Case {
    std::string input;
    std::string path;
    bool pretty;
    std::string expected;
    int written;
  };
  const Case cases[] = {
      {R"({"a":{"b":1},"c":[1,"x",null,true]})", "", kCompact,
       R"({"a":{"b":1},"c":[1,"x",null,true]})", 8},
      {R"({"a":{"b":1},"c":[1,2]})", "", kPretty,
       lines({"{", "\t\"a\":\t", "\t{", "\t\t\"b\":\t1", "\t},", "\t\"c\":\t", "\t[", "\t\t1,",
              "\t\t2", "\t]", "}"}),
       6},
      {R"([{"a":1},2])", "", kCompact, R"([{"a":1},2])", 4},
      {R"([{"a":1},2])", "", kPretty,
       lines({"[", "\t", "\t{", "\t\t\"a\":\t1", "\t},", "\t2", "]"}), 4},
      // Whitespace of the input is not kept.
      {" [ { \"a\" : 1 } ,\n 2 ] ", "", kCompact, R"([{"a":1},2])", 4},
      // A member begins with its name, and a subtree's layout starts at no indentation.
      {R"({"a":{"b":1},"c":[1,2]})", "c", kPretty, lines({"\"c\":\t", "[", "\t1,", "\t2", "]"}), 3},
      {R"({"a":{"b":1},"c":[1,2]})", "a", kCompact, R"("a":{"b":1})", 2},
      {R"([[1],[]])", "", kPretty,
       lines({"[", "\t", "\t[", "\t\t1", "\t],", "\t", "\t[", "", "\t]", "]"}), 4},
      // One node written: a final CR LF in both layouts.
      {R"({"a":[]})", "a", kCompact, "\"a\":[]\r\n", 1},
      {R"({"a":5})", "a", kCompact, "\"a\":5\r\n", 1},
      {R"({"a":5})", "a", kPretty, "\"a\":\t5\r\n", 1},
      {R"(["x"])", "[0]", kCompact, "\"x\"\r\n", 1},
      {"{}", "", kCompact, "{}\r\n", 1},
      {"{}", "", kPretty, "{\r\n\r\n}\r\n", 1},
      // Stored as written: escapes stay escaped, numbers keep their spelling,
      // bare words are quoted, empty values are null.
      {R"(["a\"b\u4e2D",1.50,-0,1e+5,nope,TRUE,,"\/"])", "", kCompact,
       R"(["a\"b\u4e2D",1.50,-0,1e+5,"nope",true,null,"\/"])", 9},
      {R"({"a\\b\u4e2d":{"":[]}})", "", kCompact, R"({"a\\b\u4e2d":{"":[]}})", 3},
      // Cut short: what was read is written, closed; a member whose value never
      // began is unclassified with no text.
      {R"({"a":[1,{"b":)", "", kCompact, R"({"a":[1,{"b":""}]})", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " at \"" + c.path + "\"" + (c.pretty ? " pretty" : ""));
    const JsonDocument d = parsed(c.input);
    std::string text = "previous content";
    EXPECT_EQ(d.to_json_text(c.path, 0, text, c.pretty), c.written);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(ToJsonText, WritesStoredTextsAsTheyAre) {
  // name, value, depth, type, container
  const JsonDocument d = from_records({
      {"", "{ 99 }", 1, json::kObject, json::kRoot},         // a summary is never written
      {"q\"n", "1", 2, json::kNumber, json::kMember},        // a raw quote: invalid JSON, as stored
      {"t", "TRUE", 2, json::kBoolean, json::kMember},       // booleans lowered
      {"n1", "", 2, json::kNull, json::kMember},             // type 6 is null whatever its text
      {"n2", "nil", 2, json::kNull, json::kMember},          //
      {"w", "Word", 2, json::kUnclassified, json::kMember},  // quoted like a string
      {"s", cp("中\\t"), 2, json::kString, json::kMember},   // double-byte text passes through
      {"x", "raw", 2, 9, json::kMember},                     // an unknown type: its value as is
      {"[7]", "2", 2, json::kNumber, json::kElement},        // an element's name is not written
  });
  std::string text;
  EXPECT_EQ(d.to_json_text("", 1, text), 9);
  EXPECT_EQ(text, "{\"q\"n\":1,\"t\":true,\"n1\":null,\"n2\":null,\"w\":\"Word\",\"s\":\"" +
                      cp("中") + "\\t\",\"x\":raw,2}");
}

TEST(ToJsonText, Selection) {
  const JsonDocument d = parsed(R"({"a":[1,2],"b":"x"})");
  struct Case {
    std::string path;
    int node_number;
    int found;
    std::string expected;  // "" for untouched
  };
  const Case cases[] = {
      {"", 0, 1, R"({"a":[1,2],"b":"x"})"},
      {"b", 0, 5, "\"b\":\"x\"\r\n"},
      {"b", 2, 2, "\"a\":[1,2]"},  // the number first
      {"a[1]", 99, 4, "2\r\n"},    // out of range: the path
      {"zz", 0, 0, ""},
      {"", -1, 1, R"({"a":[1,2],"b":"x"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.node_number));
    std::string text = "untouched";
    int found = -1;
    const int written = d.to_json_text(c.path, c.node_number, text, false, &found);
    EXPECT_EQ(found, c.found);
    if (c.found == 0) {
      EXPECT_EQ(written, 0);
      EXPECT_EQ(text, "untouched");
    } else {
      EXPECT_GT(written, 0);
      EXPECT_EQ(text, c.expected);
    }
  }
  std::string text = "untouched";
  EXPECT_EQ(JsonDocument().to_json_text("", 0, text, true), 0);
  EXPECT_EQ(text, "untouched");
}

TEST(ToJsonText, DeepNestingWithoutRecursion) {
  for (const int depth : {200000, 1000}) {
    const bool pretty = depth == 1000;  // pretty output grows with the square of the depth
    SCOPED_TRACE(depth);
    const std::string input = std::string(depth, '[') + "1" + std::string(depth, ']');
    const JsonDocument d = parsed(input);
    std::string text;
    EXPECT_EQ(d.to_json_text("", 0, text, pretty), depth + 1);
    if (!pretty) {
      EXPECT_EQ(text, input);
      continue;
    }
    // The innermost value sits behind `depth` tabs; the brackets close back out.
    EXPECT_NE(text.find("\r\n" + std::string(depth, '\t') + "1\r\n" + std::string(depth - 1, '\t') +
                        "]\r\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 5), "\t]\r\n]");
  }
}

TEST(EncodeJsonEscapes, Table) {
  const std::string zhong = cp("中");  // U+4E2D
  const std::string space = cp("　");  // U+3000, the full-width space
  struct Case {
    std::string source;
    bool unicode, escape_slash;
    std::string expected;
  };
  const Case cases[] = {
      {"a\"/b", false, false, "a\\\"/b"},
      {"a\"/b", false, true, "a\\\"\\/b"},
      {"a\"/b", true, true, "a\\\"\\/b"},
      {"\t\r\n\b\f\\", false, false, "\\t\\r\\n\\b\\f\\\\"},
      {std::string("\x01\x1f\x7f", 3), false, false, std::string("\x01\x1f\x7f", 3)},
      {std::string("a\0b", 3), false, false, std::string("a\0b", 3)},
      {"", true, true, ""},
      {zhong, false, false, zhong},
      {zhong, true, false, "\\u4E2D"},
      {space + "x" + zhong, true, false, "\\u3000x\\u4E2D"},
      // ASCII between the two halves is handled on its own, before the pair.
      {zhong.substr(0, 1) + "\"/" + zhong.substr(1), true, true, "\\\"\\/\\u4E2D"},
      // A first half left at the end is dropped.
      {"x" + zhong + zhong.substr(0, 1), true, false, "x\\u4E2D"},
      // A pair the code page does not define converts to "?".
      {"\xff\xff", true, false, "\\u003F"},
      {"\xff\xff", false, false, "\xff\xff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.source) + (c.unicode ? " unicode" : "") +
                 (c.escape_slash ? " slash" : ""));
    const std::string out = json::encode_json_escapes(c.source, c.unicode, c.escape_slash);
    EXPECT_EQ(out, c.expected);
    EXPECT_LE(out.size(), 3 * c.source.size());
  }
}

TEST(EncodeJsonEscapes, DecodingUndoesIt) {
  const std::string source = cp("名称\"a/b\\c\td中") + "\r\n\b\f";
  for (bool unicode : {false, true})
    for (bool slash : {false, true})
      EXPECT_EQ(json::decode_json_escapes(json::encode_json_escapes(source, unicode, slash)),
                source)
          << unicode << slash;
}

}  // namespace
