#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/json_module.h"
#include "json/node_array.h"
#include "json_test_support.h"
#include "store_validator.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json::NodeArray;
using json_test::cp;
using json_test::store_fault;

JsonDocument parsed(std::string_view text, bool top_level_naming = false) {
  JsonDocument d;
  EXPECT_EQ(d.parse_text(text, false, top_level_naming), 0) << text;
  d.close_open_containers();  // a last top-level member's bare value ends with the text
  EXPECT_EQ(store_fault(d), "") << text;
  return d;
}

// Compact output of one node and its subtree.
std::string json_of(const JsonDocument& d, int node = 1) {
  std::string text;
  d.to_json_text("", node, text);
  return text;
}

// Compact output of every top-level node, joined by commas: the text a store
// in top-level naming shape was read from.
std::string top_level_text(const JsonDocument& d) {
  std::string out;
  for (int n = 1; n <= d.node_count(); ++n) {
    if (d.get_node("", n).depth != 1) continue;
    std::string one = json_of(d, n);
    if (one.ends_with("\r\n")) one.resize(one.size() - 2);
    if (!out.empty()) out += ',';
    out += one;
  }
  return out;
}

std::vector<JsonNode> records_of(const NodeArray& a) {
  std::vector<JsonNode> out;
  for (std::size_t i = 0; i < a.size(); ++i)
    out.push_back(a.get(i));
  return out;
}

// Everything a failed edit must leave as it was: every record, and every
// member of the document as the debug dump shows them.
struct Snapshot {
  std::vector<JsonNode> records;
  std::string dump;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const JsonDocument& d) {
  NodeArray a;
  d.copy_all_nodes(a);
  return {records_of(a), d.debug_dump()};
}

// The members beside the node store, as the debug dump shows them.
std::string parser_part(const JsonDocument& d) {
  const std::string dump = d.debug_dump();
  return dump.substr(dump.find("集_节点索引组"));
}

#define EXPECT_WELL_FORMED(d) EXPECT_EQ(store_fault(d), "")

// ---- parse_index_text ----

TEST(ParseIndexText, WholeTextOrTextWithinTwoBytes) {
  const struct {
    std::string text;
    int expected;
  } cases[] = {
      {"0", 0},
      {"5", 5},
      {"12", 12},
      {"[5]", 5},
      {"(5)", 5},
      {"a5b", 5},  // any first and last byte are dropped
      {"[10", 1},
      {"[0]", 0},
      {"2147483647", INT_MAX},
      {"[2147483647]", INT_MAX},
      {"2147483648", 14748364},  // too large whole, so read within its ends
      {"99999999999", 999999999},
      {"[2147483648]", -1},
      {"123456789012", -1},
      {"05", -1},
      {"[05]", -1},
      {"-1", -1},
      {"[-1]", -1},
      {"+5", -1},
      {"[ 5 ]", -1},
      {" 5", -1},
      {"", -1},
      {"[]", -1},
      {"x", -1},
      {"5.0", -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(json::parse_index_text(c.text), c.expected) << '"' << c.text << '"';
}

// ---- the validator itself ----

TEST(StoreValidator, FindsEachKindOfFault) {
  // A well-formed store made by hand, then spoiled one field at a time.
  const std::vector<JsonNode> good = {
      {"", "{ 2 }", 1, json::kObject, json::kRoot},
      {"a", "[ 2 ]", 2, json::kArray, json::kMember},
      {"[0]", "1", 3, json::kNumber, json::kElement},
      {"[1]", "x", 3, json::kString, json::kElement},
      {"b", "null", 2, json::kNull, json::kMember},
  };
  auto fault_of = [](std::vector<JsonNode> records) {
    NodeArray a;
    for (const JsonNode& r : records)
      a.push_back(r);
    JsonDocument d;
    d.取全部节点_交换变量(a);
    return store_fault(d);
  };
  EXPECT_EQ(fault_of(good), "");
  const struct {
    const char* what;
    std::function<void(std::vector<JsonNode>&)> spoil;
  } cases[] = {
      {"first node deeper", [](auto& r) { r[0].depth = 2; }},
      {"depth jumps by two", [](auto& r) { r[3].depth = 5; }},
      {"scalar with a child", [](auto& r) { r[1].type = json::kNumber; }},
      {"element names out of order", [](auto& r) { r[3].name = "[2]"; }},
      {"element named like a member", [](auto& r) { r[2].name = "x"; }},
      {"element with member container", [](auto& r) { r[2].container = json::kMember; }},
      {"member with element container", [](auto& r) { r[4].container = json::kElement; }},
      {"object summary off", [](auto& r) { r[0].value = "{ 3 }"; }},
      {"array summary off", [](auto& r) { r[1].value = "[ 1 ]"; }},
      {"summary of the other kind", [](auto& r) { r[1].value = "{ 2 }"; }},
      {"summary left empty",
       [](auto& r) {
         r.pop_back();
         r[0].value = "";
       }},
  };
  for (const auto& c : cases) {
    std::vector<JsonNode> records = good;
    c.spoil(records);
    EXPECT_NE(fault_of(records), "") << c.what;
  }
}

// ---- NodeArray::rotate ----

TEST(NodeArrayRotate, MovesRunsWithTheirTextsAndWideFields) {
  // Names A..F; record C is deep enough to keep its fields in the side array,
  // and D holds a summary, E a packed number, F an element name.
  auto make = [] {
    NodeArray a;
    a.push_back({"A", "alpha", 1, json::kString, json::kMember});
    a.push_back({"B", "", 2, json::kNull, json::kMember});
    a.push_back({"C", "gamma", 300, 9, json::kMember});
    a.push_back({"D", "", 2, json::kArray, json::kMember});
    a.push_back({"E", "-12.5", 3, json::kNumber, json::kMember});
    a.push_back({"[7]", "z", 3, json::kString, json::kElement});
    a.set_summary(3, json::Summary::array, 4);
    a.set_element_name(5, 7);
    return a;
  };
  const std::vector<JsonNode> before = records_of(make());
  const struct {
    std::size_t first, middle, last;
    std::vector<int> order;  // positions of `before` in the result
  } cases[] = {
      {0, 1, 6, {1, 2, 3, 4, 5, 0}},  // left run shorter
      {0, 5, 6, {5, 0, 1, 2, 3, 4}},  // right run shorter
      {1, 3, 5, {0, 3, 4, 1, 2, 5}},  // equal runs
      {2, 3, 4, {0, 1, 3, 2, 4, 5}},
      {0, 0, 6, {0, 1, 2, 3, 4, 5}},  // empty run: nothing moves
      {0, 6, 6, {0, 1, 2, 3, 4, 5}},
      {2, 4, 7, {0, 1, 2, 3, 4, 5}},  // beyond the end: nothing moves
  };
  for (const auto& c : cases) {
    NodeArray a = make();
    const std::size_t arena = a.text_bytes();
    a.rotate(c.first, c.middle, c.last);
    std::vector<JsonNode> expected;
    for (int k : c.order)
      expected.push_back(before[static_cast<std::size_t>(k)]);
    EXPECT_EQ(records_of(a), expected) << c.first << ' ' << c.middle << ' ' << c.last;
    EXPECT_EQ(a.text_bytes(), arena) << "texts are not copied";
  }
}

// ---- set_value ----

constexpr const char* kScalars = R"({"n":null,"s":"x","num":5,"t":true})";

TEST(SetValue, TypeAndStoredText) {
  const struct {
    std::string path, value;
    int type, escape;
    int want_type;
    std::string want_value, want_member;  // stored value; the member written out
  } cases[] = {
      // Detection on the text without spaces, lowered.
      {"n", "TRUE", 0, 1, json::kBoolean, "true", R"("n":true)"},
      {"n", "FALSE", 0, 1, json::kBoolean, "false", R"("n":false)"},
      {"n", "1 000", 0, 1, json::kNumber, "1000", R"("n":1000)"},
      {"n", cp("1　000"), 0, 1, json::kNumber, "1000", R"("n":1000)"},
      {"n", "-1.5E+3", 0, 1, json::kNumber, "-1.5e+3", R"("n":-1.5e+3)"},
      {"n", "1e5", 0, 1, json::kString, "1e5", R"("n":"1e5")"},  // no sign: not a number
      {"n", "Hello World", 0, 1, json::kString, "Hello World", R"("n":"Hello World")"},
      {"n", "null", 0, 1, json::kString, "null", R"("n":"null")"},
      {"n", " ", 0, 1, json::kString, " ", R"("n":" ")"},
      {"num", "Hello World", 0, 0, json::kString, "helloworld", R"("num":"helloworld")"},
      {"t", "Yes", 0, 0, json::kString, "yes", R"("t":"yes")"},
      {"num", "7", 0, 0, json::kNumber, "7", R"("num":7)"},
      // A string stays a string.
      {"s", "12", 0, 1, json::kString, "12", R"("s":"12")"},
      {"s", "TRUE", 0, 0, json::kString, "TRUE", R"("s":"TRUE")"},
      {"s", "a\"b", 7, 0, json::kString, "a\"b", R"("s":"a"b")"},  // 7 counts as 0
      // A given type is stored as given, with the text unchanged.
      {"n", "12", 1, 1, json::kNumber, "12", R"("n":12)"},
      {"n", "TRUE", 3, 1, json::kBoolean, "TRUE", R"("n":true)"},
      {"s", "7", 3, 1, json::kBoolean, "7", R"("s":7)"},
      {"n", "x", -3, 1, -3, "x", R"("n":x)"},
      {"n", "x", 7, 1, json::kString, "x", R"("n":"x")"},
      // Escape options for strings.
      {"n", "a\"b", 2, 0, json::kString, "a\"b", R"("n":"a"b")"},
      {"n", "a\"b/c", 2, 1, json::kString, R"(a\"b/c)", R"("n":"a\"b/c")"},
      {"n", "a/b", 2, 5, json::kString, R"(a\/b)", R"("n":"a\/b")"},
      {"n", cp("中/"), 2, 3, json::kString, R"(\u4E2D/)", R"("n":"\u4E2D/")"},
      {"n", cp("中/"), 2, 7, json::kString, R"(\u4E2D\/)", R"("n":"\u4E2D\/")"},
      {"n", cp("中"), 2, 1, json::kString, cp("中"), cp(R"("n":"中")")},
      {"n", "tab\there\n", 0, 1, json::kString, R"(tab\there\n)", R"("n":"tab\there\n")"},
      {"n", "a\"b", 2, -1, json::kString, "a\"b", R"("n":"a"b")"},  // not above 0
      {"s", "a\"b", 0, 1, json::kString, R"(a\"b)", R"("s":"a\"b")"},
      // A text ends at its first zero byte.
      {"s", std::string("ab\0cd", 5), 0, 1, json::kString, "ab", R"("s":"ab")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " <- \"" + c.value + "\" type " + std::to_string(c.type) + " escape " +
                 std::to_string(c.escape));
    JsonDocument d = parsed(kScalars);
    const int node = d.find_node(c.path);
    int found = -1;
    EXPECT_TRUE(d.set_value(c.path, 0, c.value, c.type, c.escape, &found));
    EXPECT_EQ(found, node);
    int type = -99;
    EXPECT_EQ(d.get_value("", node, &type), c.want_value);
    EXPECT_EQ(type, c.want_type);
    EXPECT_EQ(json_of(d, node), c.want_member + "\r\n");
    EXPECT_EQ(d.node_count(), 5);
    EXPECT_EQ(d.get_value("", 1), "{ 4 }");
    EXPECT_WELL_FORMED(d);
  }
}

TEST(SetValue, DefaultsDetectAndEscapeSpecials) {
  JsonDocument d = parsed(kScalars);
  EXPECT_TRUE(d.set_value("n", 0, "say \"hi\""));
  EXPECT_TRUE(d.set_value("num", 0, " 42 "));
  EXPECT_EQ(json_of(d), R"({"n":"say \"hi\"","s":"x","num":42,"t":true})");
}

TEST(SetValue, OnAContainerRemovesItsDescendants) {
  const struct {
    std::string doc, path, value;
    std::string want;
  } cases[] = {
      {R"({"o":{"a":1,"b":2,"c":3},"z":0})", "o", "x", R"({"o":"x","z":0})"},
      {R"({"o":{"a":{"b":[1,[2]]}},"z":0})", "o", "5", R"({"o":5,"z":0})"},
      {R"([[1,[2,3]],4])", "[0]", "true", R"([true,4])"},
      {R"({"a":[],"b":{}})", "a", "x", R"({"a":"x","b":{}})"},
      {R"([1,{"k":[1,2]}])", "", "7", "7\r\n"},  // the root itself becomes a scalar
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc + " " + c.path);
    JsonDocument d = parsed(c.doc);
    const int node = d.find_node(c.path);
    const std::string name = d.get_node("", node).name;
    const std::string parent_summary = node > 1 ? d.get_value("", d.get_parent("", node)) : "";
    EXPECT_TRUE(d.set_value(c.path, 0, c.value));
    EXPECT_EQ(d.child_count("", node), 0);
    EXPECT_EQ(d.descendant_count("", node), 0);
    EXPECT_EQ(d.get_node("", node).name, name);
    if (node > 1) {
      EXPECT_EQ(d.get_value("", d.get_parent("", node)), parent_summary);
    }
    EXPECT_EQ(json_of(d), c.want);
    EXPECT_WELL_FORMED(d);
  }
}

// ---- rename_node ----

TEST(RenameNode, MembersAreRenamedWithEscaping) {
  const struct {
    std::string new_name;
    std::optional<int> escape;
    std::string want;
  } cases[] = {
      {"x\"y", std::nullopt, R"(x\"y)"},
      {"x\"y", 1, R"(x\"y)"},
      {"x\"y", 0, "x\"y"},
      {"a/b", std::nullopt, "a/b"},  // omitted: neither option
      {"a/b", 5, R"(a\/b)"},
      {cp("名"), 3, R"(\u540D)"},
      {cp("名"), std::nullopt, cp("名")},
      {"x\"y", -1, R"(x\"y)"},  // only 0 stores the text unchanged
      {"[3]", std::nullopt, "[3]"},
      {"", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.new_name + " escape " + (c.escape ? std::to_string(*c.escape) : "omitted"));
    JsonDocument d = parsed(R"({"a":{"b":1},"c":2})");
    if (c.escape) {
      int found = -1;
      EXPECT_TRUE(d.rename_node("a", 0, c.new_name, *c.escape, &found));
      EXPECT_EQ(found, 2);
    } else {
      EXPECT_TRUE(d.rename_node("a", 0, c.new_name));
    }
    EXPECT_EQ(d.get_node("", 2).name, c.want);
    EXPECT_EQ(json_of(d), "{\"" + c.want + R"(":{"b":1},"c":2})");
    EXPECT_WELL_FORMED(d);
  }
}

TEST(RenameNode, RootAndTopLevelMembersTakeNames) {
  JsonDocument d = parsed("[1]");
  EXPECT_TRUE(d.rename_node("", 1, "r"));
  EXPECT_EQ(d.get_node("", 1).name, "r");
  EXPECT_EQ(json_of(d), "[1]");  // the root's name is never written
  JsonDocument t = parsed(R"("a":1,"b":2)", true);
  EXPECT_TRUE(t.rename_node("", 2, "q\""));
  EXPECT_EQ(top_level_text(t), R"("a":1,"q\"":2)");
  EXPECT_WELL_FORMED(t);
}

TEST(RenameNode, ElementsMoveToTheIndexTheNameSpells) {
  const struct {
    std::string path, new_name;
    bool ok;
    std::string want;
    int want_found;
  } cases[] = {
      {"[3]", "1", true, "[10,13,11,12]", 3},
      {"[0]", "[2]", true, "[11,12,10,13]", 4},
      {"[0]", "3", true, "[11,12,13,10]", 5},
      {"[3]", "0", true, "[13,10,11,12]", 2},
      {"[2]", "(1)", true, "[10,12,11,13]", 3},
      {"[2]", "2", true, "[10,11,12,13]", 4},  // already there
      {"[1]", "6", true, "[10,12,13,null,null,null,11]", 8},
      {"[3]", "4", true, "[10,11,12,null,13]", 6},
      {"[3]", "5", true, "[10,11,12,null,null,13]", 7},
      {"[1]", "a", false, "[10,11,12,13]", 3},
      {"[1]", "-1", false, "[10,11,12,13]", 3},
      {"[1]", "01", false, "[10,11,12,13]", 3},
      {"[1]", "", false, "[10,11,12,13]", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " -> " + c.new_name);
    JsonDocument d = parsed("[10,11,12,13]");
    const Snapshot before = snapshot(d);
    const std::string value = d.get_value(c.path);
    int found = -1;
    EXPECT_EQ(d.rename_node(c.path, 0, c.new_name, 0, &found), c.ok);
    EXPECT_EQ(found, c.want_found);
    EXPECT_EQ(json_of(d), c.want);
    if (!c.ok) {
      EXPECT_EQ(snapshot(d), before);
    }
    EXPECT_EQ(d.get_value("", found), value);
    EXPECT_WELL_FORMED(d);
  }
}

TEST(RenameNode, ElementsMoveWithTheirSubtrees) {
  constexpr const char* kDoc = R"({"x":[[1,2],{"a":{"b":3}},"s"],"y":5})";
  const struct {
    std::string path, new_name;
    std::string want;
    std::string want_moved;  // the moved element written out
  } cases[] = {
      {"x[0]", "2", R"({"x":[{"a":{"b":3}},"s",[1,2]],"y":5})", "[1,2]"},
      {"x[1]", "0", R"({"x":[{"a":{"b":3}},[1,2],"s"],"y":5})", R"({"a":{"b":3}})"},
      {"x[1]", "2", R"({"x":[[1,2],"s",{"a":{"b":3}}],"y":5})", R"({"a":{"b":3}})"},
      {"x[2]", "0", R"({"x":["s",[1,2],{"a":{"b":3}}],"y":5})", "\"s\"\r\n"},
      {"x[1]", "4", R"({"x":[[1,2],"s",null,null,{"a":{"b":3}}],"y":5})", R"({"a":{"b":3}})"},
      {"x[0]", "3", R"({"x":[{"a":{"b":3}},"s",null,[1,2]],"y":5})", "[1,2]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " -> " + c.new_name);
    JsonDocument d = parsed(kDoc);
    int found = 0;
    EXPECT_TRUE(d.rename_node(c.path, 0, c.new_name, 1, &found));
    EXPECT_EQ(json_of(d), c.want);
    EXPECT_EQ(json_of(d, found), c.want_moved);
    EXPECT_EQ(d.get_node("", found).name,
              "[" + std::to_string(json::parse_index_text(c.new_name)) + "]");
    EXPECT_WELL_FORMED(d);
  }
}

TEST(RenameNode, ElementsDeeperThanTheCompactDepthField) {
  // 300 nested arrays, the innermost holding [1,2,3]: its records keep their
  // depths in the side array.
  const std::string doc = std::string(300, '[') + "1,2,3" + std::string(300, ']');
  JsonDocument d = parsed(doc);
  const int first = 301;
  ASSERT_EQ(d.get_node("", first).depth, 301);
  int found = 0;
  EXPECT_TRUE(d.rename_node("", first, "4", 1, &found));
  EXPECT_EQ(found, 305);
  EXPECT_EQ(json_of(d, 300), "[2,3,null,null,1]");
  EXPECT_EQ(d.get_node("", found).depth, 301);
  EXPECT_WELL_FORMED(d);
}

TEST(RenameNode, ElementCopiedToTheTopMovesAmongTheTopLevelNodes) {
  // A document holding only a copied element: the top-level nodes count as its
  // siblings and there is no summary to rewrite.
  JsonDocument source = parsed("[10,[11,12]]");
  JsonDocument d;
  ASSERT_EQ(source.copy_to_document("[1]", 0, d), 3);
  int found = 0;
  EXPECT_TRUE(d.rename_node("", 1, "2", 1, &found));
  EXPECT_EQ(found, 3);
  EXPECT_EQ(d.get_node("", 1).name, "[0]");
  EXPECT_EQ(d.get_node("", 2).name, "[1]");
  EXPECT_EQ(json_of(d, 3), "[11,12]");
  EXPECT_WELL_FORMED(d);
}

// ---- add_member ----

TEST(AddMember, IntoAnArray) {
  const struct {
    std::optional<int> position;
    std::optional<std::string> name;
    int want_number;
    std::string want;
  } cases[] = {
      {5, std::nullopt, 7, "[1,2,null,null,null,null]"},
      {3, std::nullopt, 5, "[1,2,null,null]"},
      {2, std::nullopt, 4, "[1,2,null]"},
      {1, std::nullopt, 3, "[1,null,2]"},
      {0, std::nullopt, 2, "[null,1,2]"},
      {std::nullopt, std::nullopt, 4, "[1,2,null]"},
      {std::nullopt, "0", 2, "[null,1,2]"},
      {std::nullopt, "[1]", 3, "[1,null,2]"},
      {std::nullopt, "4", 6, "[1,2,null,null,null]"},
      {std::nullopt, "x", 4, "[1,2,null]"},
      {std::nullopt, "-1", 4, "[1,2,null]"},  // not an index: the end
      {1, "x", 3, "[1,null,2]"},              // a given position wins
      {-1, std::nullopt, 0, "[1,2]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.position ? std::to_string(*c.position) : "omitted") + " name " +
                 c.name.value_or("omitted"));
    JsonDocument d = parsed("[1,2]");
    const std::optional<std::string_view> name =
        c.name ? std::optional<std::string_view>(*c.name) : std::nullopt;
    EXPECT_EQ(d.add_member("", 1, c.position, name), c.want_number);
    EXPECT_EQ(json_of(d), c.want);
    if (c.want_number != 0) {
      const JsonNode added = d.get_node("", c.want_number);
      EXPECT_EQ(added.value, "null");
      EXPECT_EQ(added.type, json::kNull);
      EXPECT_EQ(added.container, json::kElement);
      EXPECT_EQ(added.depth, 2);
    }
    EXPECT_WELL_FORMED(d);
  }
}

TEST(AddMember, IntoAnObject) {
  const struct {
    std::optional<int> position;
    std::optional<std::string> name;
    int want_number;
    std::string want;
  } cases[] = {
      {std::nullopt, "b", 4, R"({"a":1,"c":2,"b":null})"},
      {std::nullopt, "0", 2, R"({"0":null,"a":1,"c":2})"},
      {std::nullopt, "[1]", 3, R"({"a":1,"[1]":null,"c":2})"},
      {std::nullopt, "7", 4, R"({"a":1,"c":2,"7":null})"},  // no padding in objects
      {std::nullopt, std::nullopt, 4, R"({"a":1,"c":2,"":null})"},
      {0, "z", 2, R"({"z":null,"a":1,"c":2})"},
      {9, "z", 4, R"({"a":1,"c":2,"z":null})"},
      {std::nullopt, "q\"/", 4, R"({"a":1,"c":2,"q"/":null})"},  // stored as given
      {-2, "z", 0, R"({"a":1,"c":2})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.position ? std::to_string(*c.position) : "omitted") + " name " +
                 c.name.value_or("omitted"));
    JsonDocument d = parsed(R"({"a":1,"c":2})");
    const std::optional<std::string_view> name =
        c.name ? std::optional<std::string_view>(*c.name) : std::nullopt;
    EXPECT_EQ(d.add_member("", std::nullopt, c.position, name), c.want_number);
    EXPECT_EQ(json_of(d), c.want);
    if (c.want_number != 0) {
      EXPECT_EQ(d.get_node("", c.want_number),
                (JsonNode{c.name.value_or(""), "null", 2, json::kNull, json::kMember}));
    }
    EXPECT_WELL_FORMED(d);
  }
}

TEST(AddMember, IntoNestedContainers) {
  const struct {
    std::string doc, path;
    std::optional<int> position;
    std::string name;
    std::string want;
  } cases[] = {
      {R"({"o":{"x":[1,{"y":2}]},"t":2})", "o", std::nullopt, "k",
       R"({"o":{"x":[1,{"y":2}],"k":null},"t":2})"},
      {R"({"o":{"x":[1,{"y":2}]},"t":2})", "o.x", std::nullopt, "",
       R"({"o":{"x":[1,{"y":2},null]},"t":2})"},
      {R"({"o":{"x":[1,{"y":2}]},"t":2})", "o.x", 0, "", R"({"o":{"x":[null,1,{"y":2}]},"t":2})"},
      {R"({"o":{"x":[1,{"y":2}]},"t":2})", "o.x[1]", 0, "k",
       R"({"o":{"x":[1,{"k":null,"y":2}]},"t":2})"},
      {R"([[],{}])", "[0]", 2, "", R"([[null,null,null],{}])"},
      {R"([[],{}])", "[1]", std::nullopt, "e", R"([[],{"e":null}])"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc + " " + c.path);
    JsonDocument d = parsed(c.doc);
    EXPECT_NE(d.add_member(c.path, std::nullopt, c.position, c.name), 0);
    EXPECT_EQ(json_of(d), c.want);
    EXPECT_WELL_FORMED(d);
  }
}

TEST(AddMember, NotIntoAScalar) {
  for (const char* path : {"s", "n", "z", "b"}) {
    JsonDocument d = parsed(R"({"s":"x","n":1,"z":null,"b":true})");
    const Snapshot before = snapshot(d);
    EXPECT_EQ(d.add_member(path, std::nullopt, 0, "k"), 0) << path;
    EXPECT_EQ(snapshot(d), before) << path;
  }
}

TEST(AddMember, NothingSelected) {
  // node_number omitted: nothing is added.
  {
    JsonDocument empty;
    EXPECT_EQ(empty.add_member(), 0);
    EXPECT_EQ(empty.node_count(), 0);
    JsonDocument d = parsed(R"({"a":1})");
    const Snapshot before = snapshot(d);
    EXPECT_EQ(d.add_member("zz", std::nullopt, std::nullopt, "k"), 0);
    EXPECT_EQ(snapshot(d), before);
  }
  // An empty store with node_number supplied: the member becomes node 1,
  // whatever the position.
  for (const std::optional<int> position :
       {std::optional<int>(), std::optional<int>(3), std::optional<int>(-1)}) {
    JsonDocument d;
    EXPECT_EQ(d.add_member("zz", 0, position, "k"), 1);
    EXPECT_EQ(d.get_node("", 1), (JsonNode{"k", "null", 1, json::kNull, json::kMember}));
    EXPECT_EQ(json_of(d), "\"k\":null\r\n");
    EXPECT_WELL_FORMED(d);
  }
  // A non-empty store with node_number supplied: a depth-1 member among the
  // top-level nodes, placed as in an object.
  const struct {
    std::string doc;
    bool top_level_naming;
    std::optional<int> position;
    std::optional<std::string> name;
    int want_number;
    std::string want;  // all top-level nodes written out
  } cases[] = {
      {R"({"a":1})", false, std::nullopt, "k", 3, R"({"a":1},"k":null)"},
      {R"({"a":1})", false, 0, "k", 1, R"("k":null,{"a":1})"},
      {R"("a":1,"b":{"c":2})", true, std::nullopt, "k", 4, R"("a":1,"b":{"c":2},"k":null)"},
      {R"("a":1,"b":{"c":2})", true, 1, "k", 2, R"("a":1,"k":null,"b":{"c":2})"},
      {R"("a":1,"b":{"c":2})", true, std::nullopt, "0", 1, R"("0":null,"a":1,"b":{"c":2})"},
      {R"("a":1,"b":{"c":2})", true, 2, std::nullopt, 4, R"("a":1,"b":{"c":2},"":null)"},
      {R"("a":1,"b":{"c":2})", true, 7, "k", 4, R"("a":1,"b":{"c":2},"k":null)"},
      {R"("a":1,"b":{"c":2})", true, -1, "k", 0, R"("a":1,"b":{"c":2})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc + " at " + (c.position ? std::to_string(*c.position) : "omitted"));
    JsonDocument d = parsed(c.doc, c.top_level_naming);
    const std::optional<std::string_view> name =
        c.name ? std::optional<std::string_view>(*c.name) : std::nullopt;
    EXPECT_EQ(d.add_member("zz", 99, c.position, name), c.want_number);
    EXPECT_EQ(top_level_text(d), c.want);
    if (c.want_number != 0) {
      EXPECT_EQ(d.get_node("", c.want_number),
                (JsonNode{c.name.value_or(""), "null", 1, json::kNull, json::kMember}));
    }
    EXPECT_WELL_FORMED(d);
  }
  // Written out, a store of top-level members reads back the same.
  JsonDocument d = parsed(R"("a":1,"b":{"c":2})", true);
  ASSERT_EQ(d.add_member("", 0, 1, "k"), 0);  // the empty path selects node 1, a scalar
  ASSERT_EQ(d.add_member("zz", 0, 1, "k"), 2);
  EXPECT_EQ(json_test::all_nodes(parsed(top_level_text(d), true)), json_test::all_nodes(d));
}

// ---- remove_node ----

TEST(RemoveNode, RemovesSubtreesAndRenumbers) {
  const struct {
    std::string doc;
    bool top_level_naming;
    std::string path;
    int node;
    std::string want;  // all top-level nodes written out; "" for an empty store
  } cases[] = {
      {"[1,2,3]", false, "[1]", 0, "[1,3]"},
      {"[1,2,3]", false, "[0]", 0, "[2,3]"},
      {"[1,2,3]", false, "[2]", 0, "[1,2]"},
      {"[1]", false, "[0]", 0, "[]"},
      {"[1,2,3]", false, "", 1, ""},
      {R"([[1,[2]],{"x":1},3])", false, "[0]", 0, R"([{"x":1},3])"},
      {R"({"a":{"b":[1,2]},"c":3})", false, "a", 0, R"({"c":3})"},
      {R"({"a":{"b":[1,2]},"c":3})", false, "a.b[0]", 0, R"({"a":{"b":[2]},"c":3})"},
      {R"({"a":{"b":[1,2]},"c":3})", false, "a.b", 0, R"({"a":{},"c":3})"},
      {R"({"a":[[1],[2],[3]]})", false, "a[1][0]", 0, R"({"a":[[1],[],[3]]})"},
      {R"("a":1,"b":[2],"c":3)", true, "", 2, R"("a":1,"c":3)"},
      {R"("a":1,"b":[2],"c":3)", true, "", 1, R"("b":[2],"c":3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc + " " + c.path + " " + std::to_string(c.node));
    JsonDocument d = parsed(c.doc, c.top_level_naming);
    EXPECT_TRUE(d.remove_node(c.path, c.node));
    EXPECT_EQ(top_level_text(d), c.want);
    EXPECT_WELL_FORMED(d);
  }
  JsonDocument d = parsed("[1,2,3]");
  ASSERT_TRUE(d.remove_node("[1]"));
  EXPECT_EQ(d.get_value("", 1), "[ 2 ]");
  EXPECT_EQ(d.get_node("", 3).name, "[1]");
}

// ---- replace_with_json_text ----

TEST(ReplaceWithJsonText, ReplacesTheNodeByTheParsedTree) {
  const struct {
    std::string doc, path, json;
    bool keep;
    std::string want;
  } cases[] = {
      {R"({"a":1})", "a", R"("b":[1,2])", true, R"({"b":[1,2]})"},
      {R"({"a":1})", "a", R"("b":[1,2])", false, R"({"a":[1,2]})"},
      {R"({"a":1})", "a", R"({"x":{"y":2}})", true, R"({"a":{"x":{"y":2}}})"},
      {R"({"a":1,"z":0})", "a", "[1,2", false, R"({"a":[1,2],"z":0})"},  // completed
      {R"({"a":1,"z":0})", "a", R"("m":1,"n":2)", true, R"({"m":1,"z":0})"},
      {R"({"a":{"b":{"c":1}},"z":0})", "a", "[]", false, R"({"a":[],"z":0})"},
      {R"({"a":{"b":{"c":1}},"z":0})", "a.b.c", R"({"d":[{"e":1}]})", false,
       R"({"a":{"b":{"c":{"d":[{"e":1}]}}},"z":0})"},
      {"[1,[2,3],4]", "[1]", R"("k":true)", false, "[1,true,4]"},
      {"[1,[2,3],4]", "[1]", R"("k":true)", true, "[1,true,4]"},  // [1] is no index name
      {"[10,11,12]", "[0]", R"("2":7)", true, "[11,12,7]"},       // an index name moves it
      {R"({"a":1})", "", "[1,2]", false, "[1,2]"},
      {R"({"a":1})", "", R"("r":{"s":1})", true, R"({"s":1})"},  // the root's name is not written
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc + " " + c.path + " <- " + c.json);
    JsonDocument d = parsed(c.doc);
    const int node = d.find_node(c.path);
    int found = -1;
    EXPECT_TRUE(d.replace_with_json_text(c.path, 0, c.json, c.keep, &found));
    EXPECT_EQ(found, node);
    EXPECT_EQ(json_of(d), c.want);
    EXPECT_WELL_FORMED(d);
  }
}

TEST(ReplaceWithJsonText, KeepsOrTakesTheName) {
  JsonDocument d = parsed(R"({"a":1})");
  ASSERT_TRUE(d.replace_with_json_text("", 1, R"("r":{"s":1})", true));
  EXPECT_EQ(d.get_node("", 1).name, "r");
  EXPECT_EQ(d.get_node("", 1).container, json::kRoot);
}

// ---- replace_with_document ----

TEST(ReplaceWithDocument, CopiesTheSourceTree) {
  const struct {
    std::string doc, path, source;
    bool source_top_level, keep;
    std::string want;
  } cases[] = {
      {"[1,2]", "[0]", R"({"k":[1]})", false, false, R"([{"k":[1]},2])"},
      {"[1,2]", "[1]", R"({"k":[1]})", false, true, R"([1,{"k":[1]}])"},
      {R"({"a":[1,2,3],"b":0})", "a", "[]", false, false, R"({"a":[],"b":0})"},
      {R"({"a":1})", "a", R"("m":3,"n":4)", true, true, R"({"m":3})"},
      {R"({"a":1})", "a", R"("m":3)", true, false, R"({"a":3})"},
      {R"({"a":1})", "a", R"("m/":{"x":[1]})", true, true, R"({"m/":{"x":[1]}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc + " " + c.path + " <- " + c.source);
    JsonDocument d = parsed(c.doc);
    const JsonDocument source = parsed(c.source, c.source_top_level);
    const Snapshot source_before = snapshot(source);
    const int node = d.find_node(c.path);
    int found = -1;
    EXPECT_TRUE(d.replace_with_document(c.path, 0, source, c.keep, &found));
    EXPECT_EQ(found, node);
    EXPECT_EQ(json_of(d), c.want);
    EXPECT_EQ(snapshot(source), source_before);
    EXPECT_WELL_FORMED(d);
  }
}

TEST(ReplaceWithDocument, TheSourceMayBeTheDocumentItself) {
  JsonDocument d = parsed(R"({"a":{"b":1},"c":[2]})");
  int found = 0;
  EXPECT_TRUE(d.replace_with_document("a.b", 0, d, false, &found));
  EXPECT_EQ(found, 3);
  EXPECT_EQ(json_of(d), R"({"a":{"b":{"a":{"b":1},"c":[2]}},"c":[2]})");
  EXPECT_WELL_FORMED(d);
  EXPECT_TRUE(d.replace_with_document("", 1, d));
  EXPECT_EQ(json_of(d), R"({"a":{"b":{"a":{"b":1},"c":[2]}},"c":[2]})");
}

// ---- copy_to_document ----

TEST(CopyToDocument, TheSubtreeStartsAtDepthOne) {
  const JsonDocument source = parsed(R"({"a":{"x":1},"b":[5,[6,7]]})");
  const Snapshot source_before = snapshot(source);
  const struct {
    std::string path;
    int want_count;
    std::vector<JsonNode> want;
  } cases[] = {
      {"a",
       2,
       {{"a", "{ 1 }", 1, json::kObject, json::kMember},
        {"x", "1", 2, json::kNumber, json::kMember}}},
      {"b[1]",
       3,
       {{"[1]", "[ 2 ]", 1, json::kArray, json::kElement},
        {"[0]", "6", 2, json::kNumber, json::kElement},
        {"[1]", "7", 2, json::kNumber, json::kElement}}},
      {"a.x", 1, {{"x", "1", 1, json::kNumber, json::kMember}}},
      {"", 8, json_test::all_nodes(source)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    JsonDocument target = parsed(R"(["old",{"o":1}])");
    target.parse_text("[1,", true);  // an unfinished parse, reset by the copy
    EXPECT_EQ(source.copy_to_document(c.path, 0, target), c.want_count);
    EXPECT_EQ(json_test::all_nodes(target), c.want);
    EXPECT_EQ(parser_part(target), parser_part(JsonDocument()));  // reset
    EXPECT_WELL_FORMED(target);
    EXPECT_EQ(snapshot(source), source_before);
  }
  // The copy of a member writes out as the member did.
  JsonDocument target;
  source.copy_to_document("b", 0, target);
  EXPECT_EQ(json_of(target), json_of(source, source.find_node("b")));
}

// ---- failures ----

TEST(Editing, FailuresLeaveTheStoreUnchanged) {
  constexpr const char* kDoc = R"({"a":[10,11,{"k":"v"}],"s":"x","o":{"p":null}})";
  JsonDocument other = parsed("[1]");
  const JsonDocument empty;
  const struct {
    const char* what;
    std::function<bool(JsonDocument&)> edit;  // true when it reports a change
  } cases[] = {
      {"set_value, no node", [](auto& d) { return d.set_value("zz", 0, "1"); }},
      {"set_value, number past the end", [](auto& d) { return d.set_value("zz", 99, "1"); }},
      {"rename_node, no node", [](auto& d) { return d.rename_node("a[9]", 0, "b"); }},
      {"rename_node, element to a word", [](auto& d) { return d.rename_node("a[1]", 0, "b"); }},
      {"rename_node, element to -1", [](auto& d) { return d.rename_node("a[1]", 0, "-1"); }},
      {"rename_node, element to [ 1 ]", [](auto& d) { return d.rename_node("a[1]", 0, "[ 1 ]"); }},
      {"add_member, no node, number omitted",
       [](auto& d) { return d.add_member("zz", std::nullopt, 0, "k") != 0; }},
      {"add_member, into a string", [](auto& d) { return d.add_member("s", std::nullopt) != 0; }},
      {"add_member, into null", [](auto& d) { return d.add_member("o.p", std::nullopt) != 0; }},
      {"add_member, negative position",
       [](auto& d) { return d.add_member("a", std::nullopt, -1) != 0; }},
      {"add_member, negative position at the top",
       [](auto& d) { return d.add_member("zz", 0, -5, "k") != 0; }},
      {"remove_node, no node", [](auto& d) { return d.remove_node("a.k"); }},
      {"replace_with_json_text, no node",
       [](auto& d) { return d.replace_with_json_text("zz", 0, "[1]"); }},
      {"replace_with_json_text, strict error",
       [](auto& d) { return d.replace_with_json_text("a", 0, R"({"x":})"); }},
      {"replace_with_json_text, single quotes",
       [](auto& d) { return d.replace_with_json_text("a", 0, "['x']"); }},
      {"replace_with_json_text, trailing text",
       [](auto& d) { return d.replace_with_json_text("a", 0, "[1] x"); }},
      {"replace_with_json_text, a bare scalar",
       [](auto& d) { return d.replace_with_json_text("a", 0, "5"); }},
      {"replace_with_json_text, empty text",
       [](auto& d) { return d.replace_with_json_text("a", 0, ""); }},
      {"replace_with_json_text, a member awaiting its value",
       [](auto& d) { return d.replace_with_json_text("a", 0, R"({"x":[1,{"y":)"); }},
      {"replace_with_json_text, a name alone",
       [](auto& d) { return d.replace_with_json_text("a", 0, R"("b")"); }},
      {"replace_with_json_text, an unfinished name",
       [](auto& d) { return d.replace_with_json_text("a", 0, R"({"d/:[]})"); }},
      {"replace_with_document, no node",
       [&](auto& d) { return d.replace_with_document("zz", 0, other); }},
      {"replace_with_document, empty source",
       [&](auto& d) { return d.replace_with_document("a", 0, empty, true); }},
      {"copy_to_document, no node",
       [&](auto& d) { return d.copy_to_document("zz", 0, other) != 0; }},
  };
  for (const auto& c : cases) {
    JsonDocument d = parsed(kDoc);
    const Snapshot before = snapshot(d);
    const Snapshot other_before = snapshot(other);
    EXPECT_FALSE(c.edit(d)) << c.what;
    EXPECT_EQ(snapshot(d), before) << c.what;
    EXPECT_EQ(snapshot(other), other_before) << c.what;
  }
}

TEST(Editing, ParserMembersAreLeftAsTheyWere) {
  JsonDocument d;
  d.parse_text(R"({"a":[1,2],"b":{"c":3},"d":)");  // unfinished: open containers remain
  const std::string before = parser_part(d);
  d.set_value("a[0]", 0, "7");
  d.rename_node("b", 0, "q");
  d.add_member("a", std::nullopt, 0);
  d.remove_node("a[2]");
  d.replace_with_json_text("q.c", 0, "[1]");
  EXPECT_EQ(parser_part(d), before);
}

}  // namespace
