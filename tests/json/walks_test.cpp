#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/node_array.h"
#include "json_test_support.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json::NodeArray;
using json_test::all_nodes;

JsonDocument parsed(std::string_view text, bool top_level_naming = false) {
  JsonDocument d;
  d.parse_text(text, false, top_level_naming);
  return d;
}

std::vector<JsonNode> records_of(const NodeArray& a) {
  std::vector<JsonNode> out;
  for (std::size_t i = 0; i < a.size(); ++i)
    out.push_back(a.get(i));
  return out;
}

NodeArray array_of(const std::vector<JsonNode>& records) {
  NodeArray a;
  for (const JsonNode& r : records)
    a.push_back(r);
  return a;
}

// Nodes: 1 root, 2 a, 3 a[0], 4 a[1], 5 a[2], 6 c, 7 b, 8 d, 9 e, 10 f.
constexpr const char* kSample = R"({"a":[10,20,{"c":"x"}],"b":{"d":true,"e":[]},"f":"s"})";

TEST(Walks, EveryNodeOfASample) {
  const JsonDocument d = parsed(kSample);
  ASSERT_EQ(d.node_count(), 10);
  struct Case {
    int node;
    int children, descendants, parent, position;
    std::string path;
  };
  const Case cases[] = {
      {1, 3, 9, 0, 0, ""},     {2, 3, 4, 1, 0, "a"},    {3, 0, 0, 2, 0, "a[0]"},
      {4, 0, 0, 2, 1, "a[1]"}, {5, 1, 1, 2, 2, "a[2]"}, {6, 0, 0, 5, 0, "a[2].c"},
      {7, 2, 2, 1, 1, "b"},    {8, 0, 0, 7, 0, "b.d"},  {9, 0, 0, 7, 1, "b.e"},
      {10, 0, 0, 1, 2, "f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.node);
    EXPECT_EQ(d.child_count("", c.node), c.children);
    EXPECT_EQ(d.descendant_count("", c.node), c.descendants);
    EXPECT_EQ(d.get_parent("", c.node), c.parent);
    EXPECT_EQ(d.sibling_position("", c.node), c.position);
    EXPECT_EQ(d.node_path(c.node), c.path);
    if (c.node >= 2) {
      EXPECT_EQ(d.find_node(c.path), c.node);
    }
  }
  EXPECT_EQ(d.node_path(0), "");
  EXPECT_EQ(d.node_path(11), "");
  EXPECT_EQ(d.node_path(-3), "");
}

TEST(Walks, ExamplesOfTheLookupShapes) {
  const JsonDocument answer = parsed(R"([{"cat_name":"x"}])");
  EXPECT_EQ(answer.node_path(answer.find_node("[0].cat_name")), "[0].cat_name");
  EXPECT_EQ(answer.node_path(1), "");

  const JsonDocument d = parsed(R"([{"a":1},2])");
  EXPECT_EQ(d.descendant_count("", 1), 3);
  EXPECT_EQ(d.get_child("", 1, 0), 2);
  EXPECT_EQ(d.get_child("", 1, 1), 4);
  EXPECT_EQ(d.get_child("", 1, 2), 0);
  EXPECT_EQ(d.node_path(3), "[0].a");
  EXPECT_EQ(parsed("[1,2,3]").sibling_position("[2]"), 2);
}

TEST(Walks, GetParentLevelsAndGetChildOrdinals) {
  const JsonDocument d = parsed(kSample);
  struct Parent {
    std::string path;
    int node, levels, expected;
  };
  const Parent parents[] = {
      {"", 6, 1, 5},
      {"", 6, 2, 2},
      {"", 6, 3, 1},
      {"", 6, 4, 0},
      {"", 6, 0, 6},
      {"", 6, -1, 0},
      {"", 1, 1, 0},
      {"", 1, 0, 1},
      {"zz", 0, 0, 0},  // levels 0 gives the
                        // selection, none
                        // included
      {"zz", 0, 1, 0},
      {"b.e", 0, 1, 7},
      {"b.e", 0, 2, 1},
  };
  for (const Parent& p : parents) {
    SCOPED_TRACE(p.path + " " + std::to_string(p.node) + " up " + std::to_string(p.levels));
    EXPECT_EQ(d.get_parent(p.path, p.node, p.levels), p.expected);
  }
  struct Child {
    std::string path;
    int node, ordinal, expected;
  };
  const Child children[] = {
      {"", 1, 0, 2},    {"", 1, 1, 7},  {"", 1, 2, 10}, {"", 1, 3, 0},
      {"", 1, -1, 0},   {"a", 0, 2, 5}, {"a", 0, 0, 3}, {"", 3, 0, 0},  // a scalar has no children
      {"b.e", 0, 0, 0},                                                 // nor has an empty array
      {"a", -1, 0, 0},                                                  // a negative number: none
      {"zz", 0, 0, 0},
  };
  for (const Child& c : children) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.node) + " child " + std::to_string(c.ordinal));
    EXPECT_EQ(d.get_child(c.path, c.node, c.ordinal), c.expected);
  }
}

TEST(Walks, NothingSelected) {
  const JsonDocument d = parsed(kSample);
  const JsonDocument empty;
  EXPECT_EQ(d.child_count("zz"), 1);  // the depth-1 nodes: the root
  EXPECT_EQ(empty.child_count("zz"), 0);
  EXPECT_EQ(parsed(R"("a":1,"b":{"c":2},"d":3)", true).child_count("zz"), 3);

  // descendant_count tells an omitted node number from a supplied one.
  EXPECT_EQ(d.descendant_count("zz"), 0);
  EXPECT_EQ(d.descendant_count("zz", 0), 9);
  EXPECT_EQ(d.descendant_count("zz", 99), 9);
  EXPECT_EQ(empty.descendant_count("", 0), 0);
  EXPECT_EQ(d.descendant_count(), 9);     // the empty path selects the root
  EXPECT_EQ(d.descendant_count("f"), 0);  // a string has no descendants

  EXPECT_EQ(d.sibling_position("zz"), 0);
  EXPECT_EQ(empty.sibling_position(""), -1);
  EXPECT_EQ(empty.get_parent("", 0, 0), 0);
  EXPECT_EQ(empty.node_path(1), "");
}

TEST(Walks, DeliverTheSelectedNumber) {
  const JsonDocument d = parsed(kSample);
  for (const auto& [path, expected] :
       std::vector<std::pair<std::string, int>>{{"b.e", 9}, {"zz", 0}, {"", 1}}) {
    SCOPED_TRACE(path);
    int found[6] = {-1, -1, -1, -1, -1, -1};
    d.child_count(path, 0, &found[0]);
    d.descendant_count(path, 0, &found[1]);
    d.get_parent(path, 0, 1, &found[2]);
    d.get_child(path, 0, 0, &found[3]);
    d.sibling_position(path, 0, &found[4]);
    d.get_parent(path, 0, 0, &found[5]);
    for (int f : found)
      EXPECT_EQ(f, expected);
  }
}

TEST(Walks, TopLevelNamingMode) {
  // Nodes: 1 a (depth 1), 2 b (depth 1), 3 c, 4 d (depth 1).
  const JsonDocument d = parsed(R"("a":1,"b":{"c":2},"d":3)", true);
  ASSERT_EQ(d.node_count(), 4);
  EXPECT_EQ(d.get_parent("", 2), 0);
  EXPECT_EQ(d.get_parent("", 3), 2);
  EXPECT_EQ(d.sibling_position("", 4), 2);
  EXPECT_EQ(d.child_count("", 2), 1);
  EXPECT_EQ(d.node_path(3), "c");
  EXPECT_EQ(d.find_node(d.node_path(3)), 3);
}

TEST(Walks, DeepChainsAreWalkedInOnePass) {
  constexpr int kDepth = 100000;
  const JsonDocument d = parsed(std::string(kDepth, '[') + std::string(kDepth, ']'));
  ASSERT_EQ(d.node_count(), kDepth);
  std::string expected;
  for (int i = 1; i < kDepth; ++i)
    expected += "[0]";
  EXPECT_EQ(d.node_path(kDepth), expected);
  EXPECT_EQ(d.get_parent("", kDepth, kDepth - 1), 1);
  EXPECT_EQ(d.get_parent("", kDepth, kDepth), 0);
  EXPECT_EQ(d.descendant_count("", 1), kDepth - 1);
  EXPECT_EQ(d.child_count("", 1), 1);
  EXPECT_EQ(d.find_node(expected), kDepth);
}

// ---- record transfers ----

TEST(Transfers, CopyAllNodesReplacesTheCallersRecords) {
  const JsonDocument d = parsed(kSample);
  NodeArray target = array_of({{"old", "junk", 1, 2, 0}});
  EXPECT_EQ(d.copy_all_nodes(target), 10);
  EXPECT_EQ(records_of(target), all_nodes(d));
  target.set_name(1, "changed");
  EXPECT_EQ(d.get_node("", 2).name, "a");  // a deep copy
}

TEST(Transfers, ExchangeTwiceRestoresBoth) {
  JsonDocument d = parsed(kSample);
  const std::string document_before = d.debug_dump();
  const std::vector<JsonNode> document_nodes = all_nodes(d);
  const std::vector<JsonNode> mine = {{"", "[ 1 ]", 1, json::kArray, json::kRoot},
                                      {"[0]", "7", 2, json::kNumber, json::kElement}};
  NodeArray held = array_of(mine);

  EXPECT_EQ(d.取全部节点_交换变量(held), 10);
  EXPECT_EQ(records_of(held), document_nodes);
  EXPECT_EQ(all_nodes(d), mine);
  std::string text;
  d.to_json_text("", 0, text);
  EXPECT_EQ(text, "[7]");  // the document works on the records it was given

  EXPECT_EQ(d.取全部节点_交换变量(held), 2);
  EXPECT_EQ(d.debug_dump(), document_before);
  EXPECT_EQ(records_of(held), mine);
}

TEST(Transfers, ExchangeDuringAParseIsCaughtByTheParser) {
  // Strict: the open-node stack names nodes the exchanged-in array lacks.
  JsonDocument d;
  ASSERT_EQ(d.parse_text(R"({"a":[1,)", true), 0);
  NodeArray held;
  d.取全部节点_交换变量(held);
  EXPECT_EQ(d.add_json_text("2]}"), 82);
  std::string message;
  EXPECT_EQ(d.get_parse_status(&message), 82);
  EXPECT_NE(message.find(json_test::cp("取全部节点_交换变量")), std::string::npos);

  // Exchanged back before the parse goes on, nothing is amiss.
  JsonDocument e;
  e.parse_text(R"({"a":[1,)", true);
  e.取全部节点_交换变量(held);
  e.取全部节点_交换变量(held);
  EXPECT_EQ(e.add_json_text("2]}"), 0);
  EXPECT_EQ(all_nodes(e), all_nodes(parsed(R"({"a":[1,2]})")));
}

TEST(Transfers, CopySubtree) {
  const JsonDocument d = parsed(kSample);
  const std::vector<JsonNode> nodes = all_nodes(d);
  auto run = [&](int from, int to) {
    return std::vector<JsonNode>(nodes.begin() + from - 1, nodes.begin() + to);
  };
  struct Case {
    std::string path;
    int node;
    bool include_self;
    std::vector<JsonNode> expected;
  };
  const Case cases[] = {
      {"a", 0, true, run(2, 6)},   {"a", 0, false, run(3, 6)}, {"", 7, true, run(7, 9)},
      {"f", 0, true, run(10, 10)}, {"f", 0, false, {}},  // a scalar has no descendants
      {"", 1, true, nodes},        {"zz", 0, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.node) + (c.include_self ? " self" : ""));
    NodeArray target = array_of({{"old", "x", 1, 1, 0}, {"old2", "y", 2, 1, 4}});
    EXPECT_EQ(d.copy_subtree(c.path, c.node, target, c.include_self),
              static_cast<int>(c.expected.size()));
    EXPECT_EQ(records_of(target), c.expected);
  }
  EXPECT_EQ(all_nodes(d), nodes);  // the store is untouched
}

TEST(Transfers, TakeSubtreeLeavesDepthCarryingRecords) {
  const std::vector<JsonNode> taken_b = all_nodes(parsed(kSample));
  struct Case {
    std::string name;
    std::vector<JsonNode> callers;  // the caller's array before
    bool include_self;
    int count;
  };
  const std::vector<JsonNode> five = {{"p", "1", 9, 1, 4},
                                      {"q", "2", 9, 2, 5},
                                      {"r", "3", 9, 3, 4},
                                      {"s", "4", 9, 6, 4},
                                      {"t", "5", 9, 1, 4}};
  const Case cases[] = {
      {"into an empty array", {}, true, 3},
      {"into a longer array", five, true, 3},
      {"into a shorter array", {five[0]}, true, 3},
      {"without the node itself", {}, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JsonDocument d = parsed(kSample);
    const std::vector<JsonNode> before = all_nodes(d);
    NodeArray target = array_of(c.callers);
    const int first = c.include_self ? 7 : 8;  // b is node 7, d and e follow
    EXPECT_EQ(d.take_subtree("b", 0, target, c.include_self), c.count);

    // The caller holds the document's records, then its own extra tail.
    std::vector<JsonNode> expected_target(before.begin() + first - 1,
                                          before.begin() + first - 1 + c.count);
    for (std::size_t i = static_cast<std::size_t>(c.count); i < c.callers.size(); ++i)
      expected_target.push_back(c.callers[i]);
    EXPECT_EQ(records_of(target), expected_target);

    // The store holds the caller's former records, all-zero ones where the caller
    // had none, each with the depth of the node it replaced.
    std::vector<JsonNode> expected_store = before;
    for (int i = 0; i < c.count; ++i) {
      JsonNode r = i < static_cast<int>(c.callers.size()) ? c.callers[static_cast<std::size_t>(i)]
                                                          : JsonNode{};
      r.depth = before[static_cast<std::size_t>(first - 1 + i)].depth;
      expected_store[static_cast<std::size_t>(first - 1 + i)] = r;
    }
    EXPECT_EQ(all_nodes(d), expected_store);
  }
}

TEST(Transfers, TakeSubtreeSelectingNothing) {
  JsonDocument d = parsed(kSample);
  const std::vector<JsonNode> before = all_nodes(d);
  NodeArray target = array_of({{"p", "1", 9, 1, 4}});
  EXPECT_EQ(d.take_subtree("zz", 0, target), 0);
  EXPECT_EQ(target.size(), 0u);
  EXPECT_EQ(all_nodes(d), before);

  // A scalar without itself: nothing to move, the caller's array kept.
  target = array_of({{"p", "1", 9, 1, 4}});
  EXPECT_EQ(d.take_subtree("f", 0, target, false), 0);
  EXPECT_EQ(records_of(target), (std::vector<JsonNode>{{"p", "1", 9, 1, 4}}));
  EXPECT_EQ(all_nodes(d), before);
}

TEST(Transfers, MovedRecordsOutliveTheirFormerOwner) {
  NodeArray target;
  std::vector<JsonNode> expected;
  {
    JsonDocument d = parsed(R"({"long name of a member":"a value long enough to matter","n":1})");
    expected = all_nodes(d);
    EXPECT_EQ(d.take_subtree("", 1, target), 3);
  }
  EXPECT_EQ(records_of(target), expected);

  // And the other way: records exchanged into a document live on with it.
  JsonDocument d = parsed("[1,2]");
  {
    NodeArray mine = array_of({{"k", "a text of the caller's own", 2, 2, 4}});
    d.take_subtree("", 2, mine);
  }
  EXPECT_EQ(d.get_node("", 2), (JsonNode{"k", "a text of the caller's own", 2, 2, 4}));
  std::string text;
  d.to_json_text("", 1, text);
  EXPECT_EQ(text, R"(["k":"a text of the caller's own",2])");
}

TEST(Transfers, NodeArrayExchangesAndCopiesRuns) {
  const std::vector<JsonNode> records = {
      {"a", "1", 1, 1, 4}, {"[3]", "{ 2 }", 2, 4, 5}, {"c", "", 3, 6, 4}, {"d", "text", 4, 2, 4}};
  NodeArray one = array_of(records);
  one.exchange_records(0, one, 2, 2);  // within one array: records trade places
  EXPECT_EQ(records_of(one),
            (std::vector<JsonNode>{records[2], records[3], records[0], records[1]}));

  NodeArray other = array_of({{"x", "9", 7, 1, 4}});
  other.append_copies(one, 1, 2);  // a run, texts carried into the other arena
  other.append_copies(other, 0, 1);
  EXPECT_EQ(
      records_of(other),
      (std::vector<JsonNode>{{"x", "9", 7, 1, 4}, records[3], records[0], {"x", "9", 7, 1, 4}}));
}

}  // namespace
