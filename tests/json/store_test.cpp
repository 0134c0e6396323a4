#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/node_array.h"
#include "json_test_support.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json::NodeArray;

TEST(Store, NewAndResetDocumentsAnswerAlike) {
  const JsonDocument fresh;
  EXPECT_EQ(fresh.node_count(), 0);
  std::string message = "old";
  int position = -1, line = -1, column = -1;
  EXPECT_EQ(fresh.get_parse_status(&message, &position, &line, &column), 0);
  EXPECT_EQ(message, "");
  EXPECT_EQ(position, 0);
  EXPECT_EQ(line, 0);
  EXPECT_EQ(column, 0);

  struct Previous {
    std::string input;
    bool strict, top_level_naming;
  };
  const Previous previous[] = {
      {"[1,{\"a\":", false, false},      {"{\"a\":\"x\" \"b\"}", true, false},
      {"\"a\":1,\"b\":[2", false, true}, {"{a", false, false},
      {"[\"x\\", false, false},          {"[1] z", false, false},
  };
  for (const Previous& p : previous) {
    JsonDocument used;
    used.parse_text(p.input, p.strict, p.top_level_naming);
    used.reset();
    EXPECT_EQ(used.debug_dump(), fresh.debug_dump()) << p.input;
  }
}

TEST(Store, ReusedDocumentParsesLikeANewOne) {
  const std::string earlier[] = {"[", "{\"a\":1", "\"a\":{", "{b", "[\"x\\"};
  struct Next {
    std::string input;
    bool strict, top_level_naming;
  };
  const Next next[] = {
      {"\"a\",,\"b\":1", false, true}, {"\"a\":1,,\"b\":2", false, true},
      {"\"a\":[1,]", true, true},      {"[1,,2]", false, false},
      {"{\"k\":tRue}", false, false},  {",\"a\":1", false, true},
  };
  for (const std::string& e : earlier) {
    for (bool earlier_top : {false, true}) {
      for (const Next& n : next) {
        SCOPED_TRACE(e + " then " + n.input);
        JsonDocument used;
        used.parse_text(e, false, earlier_top);
        JsonDocument fresh;
        EXPECT_EQ(used.parse_text(n.input, n.strict, n.top_level_naming),
                  fresh.parse_text(n.input, n.strict, n.top_level_naming));
        EXPECT_EQ(used.debug_dump(), fresh.debug_dump());
      }
    }
  }
  // A comma that reaches the invisible top object: it only marks the separator.
  JsonDocument used;
  used.parse_text("[");
  used.parse_text("\"a\",,\"b\":1,", false, true);
  EXPECT_EQ(json_test::all_nodes(used),
            (std::vector<JsonNode>{{"a", "", 1, 6, 4}, {"b", "1", 1, 1, 4}}));
}

TEST(Store, CopyTakenMidParseGoesOnAlike) {
  const std::string input = "{\"a\":[1,\"x\\\"y\",{\"b\":null}],\"c\":tr";
  const std::string rest = "ue,\"d\":[]}";
  for (std::size_t cut = 0; cut <= input.size(); ++cut) {
    auto source = std::make_unique<JsonDocument>();
    source->add_json_text(input.substr(0, cut));
    std::unique_ptr<JsonDocument> by_copy = source->copy();
    JsonDocument by_ctor = *source;
    JsonDocument by_assign;
    by_assign.parse_text("[9]");
    by_assign = *source;
    source->add_json_text(input.substr(cut) + rest);
    const std::string expected = source->debug_dump();
    source.reset();  // releasing the source leaves the copies intact
    for (JsonDocument* copy : {by_copy.get(), &by_ctor, &by_assign}) {
      copy->add_json_text(input.substr(cut) + rest);
      EXPECT_EQ(copy->debug_dump(), expected) << cut;
    }
  }
}

TEST(Store, CopyAndSourceAreIndependent) {
  JsonDocument a;
  a.parse_text("[\"x\",{\"k\":1}]");
  JsonDocument b = a;
  a.reset();
  EXPECT_EQ(a.node_count(), 0);
  EXPECT_EQ(b.node_count(), 4);
  EXPECT_EQ(b.get_node("", 4).value, "1");
}

TEST(Store, MoveLeavesTheSourceNew) {
  JsonDocument a;
  a.parse_text("[1,2", true);
  const std::string dump = a.debug_dump();
  JsonDocument b = std::move(a);
  EXPECT_EQ(b.debug_dump(), dump);
  EXPECT_EQ(a.debug_dump(), JsonDocument().debug_dump());  // NOLINT(bugprone-use-after-move)
  JsonDocument c;
  c.parse_text("{}");
  c = std::move(b);
  EXPECT_EQ(c.debug_dump(), dump);
}

TEST(Store, ResolveNode) {
  JsonDocument d;
  d.parse_text("[{\"a\":1},2]");
  struct Case {
    std::string path;
    int number;
    int expected;
  };
  const Case cases[] = {
      {"a", 0, 0},                   // "a" is not at level 1
      {"[0].a", 0, 3},               // number 0: the path decides
      {"[0].a", -2, 3},              // a negative number too
      {"[0].a", 5, 3},               // node count + 1 too
      {"[0].a", 4, 4},               // exactly the node count: the number, path unread
      {"[9]", 1, 1},    {"", 0, 1},  // the empty path names node 1
      {"[1]", 0, 4},    {"nothing", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d.resolve_node(c.path, c.number), c.expected) << c.path << " " << c.number;
  }
  EXPECT_EQ(JsonDocument().resolve_node("", 1), 0);
}

TEST(Store, DebugDumpListsNodesAndMembers) {
  JsonDocument d;
  d.parse_text("{\"a\":[1,\"q\\\"\"]");
  const std::string dump = d.debug_dump();
  EXPECT_EQ(dump.substr(0, dump.find("集_节点索引组")),
            "nodes 4\n"
            "  1 depth 1 type 4 container 0 name \"\" value \"\"\n"
            "  2 depth 2 type 5 container 4 name \"a\" value \"[ 2 ]\"\n"
            "  3 depth 3 type 1 container 5 name \"[0]\" value \"1\"\n"
            "  4 depth 3 type 2 container 5 name \"[1]\" value \"q\\\\\\\"\"\n");
  EXPECT_NE(dump.find("集_节点索引组 [1]\nstate_stack [1]\n"), std::string::npos);
}

TEST(NodeArray, RecordsReadBackAsWritten) {
  NodeArray a;
  const std::vector<JsonNode> records = {
      {"", "", 1, 5, 0},
      {"[0]", "{ 3 }", 2, 4, 5},
      {"name with \"quote\"", std::string(300, 'v'), 3, -7, 4},
      {"\xD6\xD0", "[ 0 ]", 3, 5, 4},
  };
  for (const JsonNode& r : records)
    a.push_back(r);
  ASSERT_EQ(a.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(a.get(i), records[i]);

  // Element names and summaries made when read look like stored texts.
  a.set_element_name(0, 12);
  a.set_summary(0, json::Summary::array, 40);
  EXPECT_EQ(a.name(0), "[12]");
  EXPECT_EQ(a.value(0), "[ 40 ]");
  EXPECT_TRUE(a.name_equals(0, "[12]"));
  EXPECT_FALSE(a.name_equals(0, "[012]"));
  a.set_summary(1, json::Summary::object, 0);
  EXPECT_EQ(a.value(1), "{ 0 }");
  EXPECT_TRUE(a.name_equals(2, "name with \"quote\""));
  a.set(3, {"x", "", 9, 6, 4});
  EXPECT_EQ(a.get(3), (JsonNode{"x", "", 9, 6, 4}));
  EXPECT_TRUE(a.value_is_empty(3));

  NodeArray b;
  b.push_back({"only", "1", 1, 1, 4});
  const NodeArray a_before = a;
  a.swap(b);
  EXPECT_EQ(a.size(), 1u);
  EXPECT_EQ(a.get(0).name, "only");
  ASSERT_EQ(b.size(), a_before.size());
  for (std::size_t i = 0; i < b.size(); ++i)
    EXPECT_EQ(b.get(i), a_before.get(i));
  b.clear();
  EXPECT_TRUE(b.empty());
}

TEST(NodeArray, ManyBlocksAndChunksSurviveCopyInsertAndErase) {
  // Enough records for several record blocks, and texts that fill many text
  // chunks, some longer than a chunk.
  std::vector<JsonNode> expected;
  for (int i = 0; i < 5000; ++i) {
    const std::size_t len = i % 997 == 0 ? 70000 + i : static_cast<std::size_t>(i % 300);
    expected.push_back({"n" + std::to_string(i), std::string(len, static_cast<char>('a' + i % 26)),
                        i % 9, i % 7, static_cast<std::uint8_t>(i % 2 ? 4 : 5)});
  }
  NodeArray a;
  for (const JsonNode& r : expected)
    a.push_back(r);
  const NodeArray copy = a;
  a.clear();
  ASSERT_EQ(copy.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(copy.get(i), expected[i]) << i;

  NodeArray b = copy;
  b.insert_empty(2047, 3);  // across a block boundary
  expected.insert(expected.begin() + 2047, 3, JsonNode{});
  b.erase(10, 2);
  expected.erase(expected.begin() + 10, expected.begin() + 12);
  b.erase(b.size() - 1, 5);  // a count past the end stops at the end
  expected.pop_back();
  ASSERT_EQ(b.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(b.get(i), expected[i]) << i;

  NodeArray c;
  c.push_back({"x", "1", 1, 1, 4});
  b.swap_record(0, c, 0);
  EXPECT_EQ(c.get(0), expected[0]);
  EXPECT_EQ(b.get(0), (JsonNode{"x", "1", 1, 1, 4}));
}

TEST(NodeArray, NumberTextsReadBackExactly) {
  // Texts of digits, signs and points, plain decimals or not, each as written.
  const std::string texts[] = {"0",
                               "-0",
                               "7",
                               "-65.613616999999977",
                               "43.420273000000009",
                               "007",
                               "-0.0",
                               "1.5",
                               "00.000",
                               "123456789012345678",
                               "-12345678.12345678",
                               "1.2.3",
                               "1234567890123456789",
                               "-1234567890.123456789",
                               "99999999999999999.9",
                               "-",
                               "1.",
                               ".5",
                               "-.5",
                               "1e+5",
                               "1E-05",
                               "+1",
                               "--1",
                               "12a",
                               "1 2",
                               "0x10",
                               "1.5.",
                               "",
                               "9.99999999999999999",
                               "0.00000000000000001",
                               "12345678",
                               "1234567.8"};
  NodeArray a;
  for (const std::string& t : texts)
    a.push_back({"n", t, 2, 1, 5});
  ASSERT_EQ(a.size(), std::size(texts));
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a.value(i), texts[i]);
    EXPECT_EQ(a.value_is_empty(i), texts[i].empty()) << texts[i];
  }
  // A number replaced by another text, and the reverse.
  a.set_value(3, "abc");
  a.set_value(0, "-98.76");
  EXPECT_EQ(a.value(3), "abc");
  EXPECT_EQ(a.value(0), "-98.76");
  EXPECT_FALSE(a.set_plain_number(1, "1e+5"));
  EXPECT_EQ(a.value(1), "-0");
  EXPECT_TRUE(a.set_plain_number(1, "10.25"));
  EXPECT_EQ(a.value(1), "10.25");
  const NodeArray copy = a;
  for (std::size_t i = 0; i < a.size(); ++i)
    EXPECT_EQ(copy.get(i), a.get(i));
}

TEST(NodeArray, FieldsOfAnySizeReadBackExactly) {
  // Depths, types and containers beyond what a record holds in itself.
  const JsonNode records[] = {
      {"a", "1", 254, 6, 5},           {"b", "2", 255, 0, 4},       {"c", "3", 256, 7, 0},
      {"d", "4", -1, -1, 1},           {"e", "5", INT_MAX, 3, 255}, {"f", "6", INT_MIN, INT_MAX, 4},
      {"g", "7", 1000001, INT_MIN, 5}, {"h", "8", 0, 0, 0},
  };
  NodeArray a;
  for (int round = 0; round < 600; ++round) {  // enough for several blocks
    for (const JsonNode& r : records)
      a.push_back(r);
  }
  const auto expect_all = [&](const NodeArray& x, std::size_t shift) {
    for (std::size_t i = 0; i < x.size(); ++i)
      ASSERT_EQ(x.get(i), records[(i + shift) % std::size(records)]) << i;
  };
  expect_all(a, 0);
  // Inserting and erasing move the records, wide fields included, across blocks.
  a.insert_empty(0, 3);
  EXPECT_EQ(a.get(1), JsonNode{});
  a.erase(0, 4);
  expect_all(a, 1);
  expect_all(NodeArray(a), 1);
  // Each field set alone, both ways across the record's own limits.
  a.set_depth(0, 300);
  a.set_type(0, 2);
  EXPECT_EQ(a.get(0), (JsonNode{"b", "2", 300, 2, 4}));
  a.set_depth(0, 3);
  a.set_container(0, 9);
  EXPECT_EQ(a.get(0), (JsonNode{"b", "2", 3, 2, 9}));
  a.set_container(1, 0);
  a.set_type(1, 12);
  EXPECT_EQ(a.get(1), (JsonNode{"c", "3", 256, 12, 0}));
  a.set_type(7, 5);
  a.set_depth(7, 2);
  a.set_container(7, 4);
  EXPECT_EQ(a.get(7), (JsonNode{"a", "1", 2, 5, 4}));
}

}  // namespace
