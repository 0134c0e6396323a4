#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json_test_support.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json::Scan;
using json_test::cp;
using json_test::Options;
using namespace std::string_literals;

constexpr Options kLenient{false, false};
constexpr Options kStrict{true, false};
constexpr Options kTopLenient{false, true};
constexpr Options kTopStrict{true, true};

// Parses `input` whole in both scans and byte by byte, checks that all three
// agree on everything, and returns the whole parse.
JsonDocument parse_checked(std::string_view input, Options o) {
  JsonDocument runs = json_test::parse_whole(input, o, Scan::in_runs);
  JsonDocument reference = json_test::parse_whole(input, o, Scan::byte_at_a_time);
  EXPECT_EQ(runs.debug_dump(), reference.debug_dump()) << "scans differ on " << input;
  if (runs.get_parse_status() == 0) {
    JsonDocument bytewise =
        json_test::parse_pieces(json_test::single_bytes(input), o, Scan::in_runs);
    EXPECT_EQ(bytewise.debug_dump(), runs.debug_dump()) << "byte by byte differs on " << input;
  }
  return runs;
}

// ---- the node store the parser builds ----

struct ShapeCase {
  std::string input;
  Options options;
  int code;
  bool complete;
  std::vector<JsonNode> nodes;
};

TEST(ParserStore, BuildsTheNodesOfEachInput) {
  const ShapeCase cases[] = {
      {"", kLenient, 0, false, {}},
      {" \r\n\t ", kStrict, 0, false, {}},
      {"{}", kStrict, 0, true, {{"", "{ 0 }", 1, 4, 0}}},
      {"[]", kStrict, 0, true, {{"", "[ 0 ]", 1, 5, 0}}},
      {R"([{"a":1},2])",
       kStrict,
       0,
       true,
       {{"", "[ 2 ]", 1, 5, 0},
        {"[0]", "{ 1 }", 2, 4, 5},
        {"a", "1", 3, 1, 4},
        {"[1]", "2", 2, 1, 5}}},
      {R"({"a":{"b":[1,{"c":null}]},"d":"x"})",
       kStrict,
       0,
       true,
       {{"", "{ 2 }", 1, 4, 0},
        {"a", "{ 1 }", 2, 4, 4},
        {"b", "[ 2 ]", 3, 5, 4},
        {"[0]", "1", 4, 1, 5},
        {"[1]", "{ 1 }", 4, 4, 5},
        {"c", "null", 5, 6, 4},
        {"d", "x", 2, 2, 4}}},
      // Text before the first bracket is skipped without strict checking.
      {"abc[1]", kLenient, 0, true, {{"", "[ 1 ]", 1, 5, 0}, {"[0]", "1", 2, 1, 5}}},
      // Unquoted names, any letter case in true, false and null.
      {"{a:1,b:tRuE}",
       kLenient,
       0,
       true,
       {{"", "{ 2 }", 1, 4, 0}, {"a", "1", 2, 1, 4}, {"b", "true", 2, 3, 4}}},
      {"[NULL,False,ABC]",
       kLenient,
       0,
       true,
       {{"", "[ 3 ]", 1, 5, 0},
        {"[0]", "null", 2, 6, 5},
        {"[1]", "false", 2, 3, 5},
        {"[2]", "abc", 2, 0, 5}}},
      // Empty elements.
      {"[1,,2]",
       kLenient,
       0,
       true,
       {{"", "[ 3 ]", 1, 5, 0},
        {"[0]", "1", 2, 1, 5},
        {"[1]", "", 2, 6, 5},
        {"[2]", "2", 2, 1, 5}}},
      {"[1,]",
       kLenient,
       0,
       true,
       {{"", "[ 2 ]", 1, 5, 0}, {"[0]", "1", 2, 1, 5}, {"[1]", "", 2, 6, 5}}},
      {"[,1]", kLenient, 0, true, {{"", "[ 1 ]", 1, 5, 0}, {"[0]", "1", 2, 1, 5}}},
      // Members without a value, with and without a colon.
      {"{a,b}",
       kLenient,
       0,
       true,
       {{"", "{ 2 }", 1, 4, 0}, {"a", "", 2, 6, 4}, {"b", "", 2, 6, 4}}},
      {R"({"a":,"b":})",
       kLenient,
       0,
       true,
       {{"", "{ 2 }", 1, 4, 0}, {"a", "", 2, 6, 4}, {"b", "", 2, 6, 4}}},
      // Missing commas between objects are accepted even with strict checking.
      {"[{} {}]",
       kStrict,
       0,
       true,
       {{"", "[ 2 ]", 1, 5, 0}, {"[0]", "{ 0 }", 2, 4, 5}, {"[1]", "{ 0 }", 2, 4, 5}}},
      // The number test: 1e5 is no number, 1e+5 is.
      {"[1e5]", kLenient, 0, true, {{"", "[ 1 ]", 1, 5, 0}, {"[0]", "1e5", 2, 0, 5}}},
      {"[1e+5,-0.5]",
       kStrict,
       0,
       true,
       {{"", "[ 2 ]", 1, 5, 0}, {"[0]", "1e+5", 2, 1, 5}, {"[1]", "-0.5", 2, 1, 5}}},
      // Spaces inside a bare value are dropped.
      {"[1 2]", kLenient, 0, true, {{"", "[ 1 ]", 1, 5, 0}, {"[0]", "12", 2, 1, 5}}},
      // An escaped quote stays in the value; a quote after two backslashes ends it.
      {R"(["a\"b","c\\"])",
       kStrict,
       0,
       true,
       {{"", "[ 2 ]", 1, 5, 0}, {"[0]", R"(a\"b)", 2, 2, 5}, {"[1]", R"(c\\)", 2, 2, 5}}},
      // TAB is stored as \t, CR and LF are dropped, in values and names.
      {"{\"a\tb\":\"x\ty\r\nz\"}",
       kLenient,
       0,
       true,
       {{"", "{ 1 }", 1, 4, 0}, {R"(a\tb)", R"(x\tyz)", 2, 2, 4}}},
      // Without strict checking "}" closes an array and the object stays open.
      {R"({"a":[1,2})",
       kLenient,
       0,
       false,
       {{"", "", 1, 4, 0}, {"a", "[ 2 ]", 2, 5, 4}, {"[0]", "1", 3, 1, 5}, {"[1]", "2", 3, 1, 5}}},
      // An object that is an element carries its summary from its creation.
      {R"([{"a":1)",
       kLenient,
       0,
       false,
       {{"", "", 1, 5, 0}, {"[0]", "{ 0 }", 2, 4, 5}, {"a", "", 3, 0, 4}}},
      // A byte after the finished document.
      {"[1] x", kLenient, 1, true, {{"", "[ 1 ]", 1, 5, 0}, {"[0]", "1", 2, 1, 5}}},
      // Top-level naming mode: members at depth 1.
      {R"("a":1,"b":[2])",
       kTopStrict,
       0,
       true,
       {{"a", "1", 1, 1, 4}, {"b", "[ 1 ]", 1, 5, 4}, {"[0]", "2", 2, 1, 5}}},
      {"\"a\":\"x\" , b:true\n",
       kTopLenient,
       0,
       true,
       {{"a", "x", 1, 2, 4}, {"b", "true", 1, 3, 4}}},
      // Zero bytes: a text ends at its first zero byte.
      {"[\"ab\0cd\",x\0y]"s,
       kLenient,
       0,
       true,
       {{"", "[ 2 ]", 1, 5, 0}, {"[0]", "ab", 2, 2, 5}, {"[1]", "x", 2, 0, 5}}},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.input);
    JsonDocument d = parse_checked(c.input, c.options);
    EXPECT_EQ(d.get_parse_status(), c.code);
    EXPECT_EQ(d.is_complete(), c.complete);
    EXPECT_EQ(json_test::all_nodes(d), c.nodes);
  }
}

TEST(ParserStore, ParseTextAndBytesAgreeWithFeeding) {
  const std::string input = R"({"k":[1,"two",{"x":null}],"z":false})";
  JsonDocument by_text;
  ASSERT_EQ(by_text.parse_text(input), 0);
  JsonDocument by_bytes;
  ASSERT_EQ(by_bytes.parse_bytes(text_to_bytes(input)), 0);
  JsonDocument by_pieces;
  by_pieces.add_json_text(input.substr(0, 9));
  by_pieces.加入json字节集(text_to_bytes(input.substr(9)));
  EXPECT_EQ(by_text.debug_dump(), by_bytes.debug_dump());
  EXPECT_EQ(by_text.debug_dump(), by_pieces.debug_dump());
  EXPECT_EQ(by_text.node_count(), 7);
  // parse_text stops at a zero byte; parse_bytes reads past it.
  JsonDocument cut;
  EXPECT_EQ(cut.parse_text("[1]\0 x"s), 0);
  EXPECT_EQ(cut.parse_bytes(text_to_bytes("[1]\0 x"s)), 1);
}

// ---- the sixteen errors ----

struct ErrorCase {
  std::string input;
  Options options;
  int code;
  std::string message_utf8;
  int position, line, column;
};

TEST(ParserErrors, RecordsCodeMessageAndPlace) {
  const ErrorCase cases[] = {
      {"[1]\n x", kLenient, 1,
       "JSON代码已经完毕，所有对象括号已匹配完毕，若要重新解析请先初始化。\r\n调用方法:"
       "加入json字节集()",
       6, 1, 2},
      {"abc[1]", kStrict, 2,
       "JSON代码起始文本应该以大括号“{”或者方括号“[”开头\r\n调用方法:加入json字节集()", 1, 0, 1},
      {R"({"a":"x" "b":1})", kStrict, 11, "对象间的成员需要以逗号“,”隔开。\r\n调用方法:大括号()",
       10, 0, 10},
      {R"({"a":"x"])", kStrict, 12,
       "对象结束符无法匹配，不应该为：],而应该为：}\r\n调用方法:大括号()", 9, 0, 9},
      {"{\r\n,,}", kStrict, 13,
       "对象“{ }”内定义了成员但该成员没有给定名称,或者是多给了逗号“,”\r\n调用方法:大括号()", 4, 1,
       1},
      {"{a:1}", kStrict, 14,
       "对象大括号内“{ }”后面仅仅可以出现空字符或者引号“\"”\r\n调用方法:大括号()", 2, 0, 2},
      {"{\"a\tb\":1}", kStrict, 21,
       R"(成员名中不允许出现换行、回车、制表符(请用 \r \n \t 代替))"
       "\r\n调用方法:对象名_获取()",
       4, 0, 4},
      {R"({"a" x:1})", kStrict, 31,
       "成员名后只允许出现空白字符或者冒号\r\n调用方法:对象值_等待冒号()", 6, 0, 6},
      {R"(["x"})", kStrict, 41, "数组结束符无法匹配，不应该为：},而应该为：]\r\n调用方法:方括号()",
       5, 0, 5},
      {R"(["a" "b"])", kStrict, 42, "数组成员间缺少逗号分隔\r\n调用方法：方括号()", 6, 0, 6},
      {"[1,,2]", kStrict, 51,
       "获取对象值时发现成员结束符“,”，不允许成员值全空(空类型请赋予“null”)\r\n调用方法：对象值_"
       "准备获取()",
       4, 0, 4},
      {"{\"a\":}", kStrict, 51,
       "获取对象值时发现成员结束符“}”，不允许成员值全空(空类型请赋予“null”)\r\n调用方法：对象值_"
       "准备获取()",
       6, 0, 6},
      {"[\n tRue]", kStrict, 61,
       R"(成员值类型无法确定，可能缺少引号或者大小写错误，(注意：逻辑型\空null类型只接受小写)，错误值：tRue)"
       "\r\n调用方法:对象值_获取其他()",
       8, 1, 6},
      {R"({"a":1])", kStrict, 62,
       "对象结束符无法匹配，不应该为：],而应该为：}\r\n调用方法:对象值_获取其他()", 7, 0, 7},
      {"[1}", kStrict, 62,
       "数组结束符无法匹配，不应该为：},而应该为：]\r\n调用方法:对象值_获取其他()", 3, 0, 3},
      {"[\"a\nb\"]", kStrict, 71,
       R"(文本中不允许包含回车、换行、制表符，应分别用\r \n \t 代替)"
       "\r\n调用方法：对象值_获取文本()",
       4, 1, 0},
      {R"("a":1})", kTopStrict, 81,
       "JSON顶级节点命名模式下,对象匹配结束后不应该出现字符:“}”\r\n调用方法：取当前节点索引()", 6,
       0, 6},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.input);
    JsonDocument d = parse_checked(c.input, c.options);
    std::string message;
    int position = -1, line = -1, column = -1;
    EXPECT_EQ(d.get_parse_status(&message, &position, &line, &column), c.code);
    EXPECT_EQ(message, cp(c.message_utf8));
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(column, c.column);
  }
}

TEST(ParserErrors, MessagesUseCornerQuoteBytes) {
  JsonDocument d;
  d.parse_text(R"({"a":"x" "b":1})", true);
  std::string message;
  d.get_parse_status(&message);
  EXPECT_NE(message.find("\xA1\xB0,\xA1\xB1"), std::string::npos);
  EXPECT_TRUE(message.ends_with("\r\n" + cp("调用方法:大括号()")));
}

TEST(ParserErrors, LaterCallsKeepTheFirstError) {
  JsonDocument d;
  ASSERT_EQ(d.parse_text(R"({"a":"x" "b":1})", true), 11);
  const std::string after_error = d.debug_dump();
  EXPECT_EQ(d.add_json_text(R"(,"c":2})"), 11);
  EXPECT_EQ(d.加入json字节集(text_to_bytes("]]]")), 11);
  int position = 0;
  d.get_parse_status(nullptr, &position);
  EXPECT_EQ(position, 10);
  EXPECT_EQ(d.debug_dump(), after_error);
}

TEST(ParserErrors, ErrorCompletesWhatIsOpen) {
  JsonDocument d;
  // The error stops the parse inside the array; the nodes read so far are closed.
  ASSERT_EQ(d.parse_text(R"({"a":["x" "y"]})", true), 42);
  EXPECT_TRUE(d.is_complete());
  EXPECT_EQ(json_test::all_nodes(d),
            (std::vector<JsonNode>{
                {"", "{ 1 }", 1, 4, 0}, {"a", "[ 1 ]", 2, 5, 4}, {"[0]", "x", 3, 2, 5}}));
}

// ---- top-level naming mode ----

TEST(TopLevelNaming, ClosingBraceAfterTheMembers) {
  const std::string members = R"("a":1,"b":[2])";
  struct Case {
    bool strict;
    int code;
  };
  for (const Case c : {Case{true, 81}, Case{false, 0}}) {
    JsonDocument d;
    ASSERT_EQ(d.parse_text(members, c.strict, true), 0);
    EXPECT_TRUE(d.is_complete());
    EXPECT_EQ(d.add_json_text("}"), c.code);
    EXPECT_EQ(d.node_count(), 3);
    EXPECT_TRUE(d.is_complete());
  }
}

TEST(TopLevelNaming, ModeIsTakenOnlyWhileTheStoreIsEmpty) {
  JsonDocument d;
  d.reset();
  EXPECT_EQ(d.add_json_text(R"("a":)", std::nullopt, true), 0);
  // Later pieces leave the mode as the first one set it.
  EXPECT_EQ(d.add_json_text("1", std::nullopt, false), 0);
  EXPECT_EQ(d.add_json_text(R"(,"b":2)"), 0);
  d.close_open_containers();
  EXPECT_TRUE(d.is_complete());
  EXPECT_EQ(json_test::all_nodes(d),
            (std::vector<JsonNode>{{"a", "1", 1, 1, 4}, {"b", "2", 1, 1, 4}}));
  // Without the mode a leading quote is text before the document.
  JsonDocument plain;
  EXPECT_EQ(plain.parse_text(R"("a":1)"), 0);
  EXPECT_EQ(plain.node_count(), 0);
}

// ---- completing and completeness ----

TEST(CloseOpenContainers, CompletesTruncatedInput) {
  struct Case {
    std::string input;
    Options options;
    bool had_open;
    bool complete_after;
    std::vector<JsonNode> nodes;
  };
  const Case cases[] = {
      {R"({"a":"xy)", kLenient, true, true, {{"", "{ 1 }", 1, 4, 0}, {"a", "xy", 2, 2, 4}}},
      // An escape cut in half: the backslash is completed before the quote.
      {R"({"a":"x\)", kLenient, true, true, {{"", "{ 1 }", 1, 4, 0}, {"a", R"(x\\)", 2, 2, 4}}},
      {R"([1,[2,tr)",
       kLenient,
       true,
       true,
       {{"", "[ 2 ]", 1, 5, 0},
        {"[0]", "1", 2, 1, 5},
        {"[1]", "[ 2 ]", 2, 5, 5},
        {"[0]", "2", 3, 1, 5},
        {"[1]", "tr", 3, 0, 5}}},
      {R"({"ab)", kLenient, true, false, {{"", "", 1, 4, 0}, {"ab", "", 2, 0, 4}}},
      // A member waiting for its value keeps its containers open.
      {R"({"a":)", kLenient, true, false, {{"", "", 1, 4, 0}, {"a", "", 2, 0, 4}}},
      {"[1]", kStrict, false, true, {{"", "[ 1 ]", 1, 5, 0}, {"[0]", "1", 2, 1, 5}}},
      {R"("a":"v)", kTopStrict, true, true, {{"a", "v", 1, 2, 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    JsonDocument d = parse_checked(c.input, c.options);
    ASSERT_EQ(d.get_parse_status(), 0);
    EXPECT_EQ(d.close_open_containers(), c.had_open);
    EXPECT_EQ(d.is_complete(), c.complete_after);
    EXPECT_EQ(json_test::all_nodes(d), c.nodes);
    // Strict checking is restored afterwards.
    std::string dump = d.debug_dump();
    EXPECT_NE(dump.find("strict " + std::to_string(c.options.strict)), std::string::npos);
  }
  JsonDocument empty;
  EXPECT_FALSE(empty.close_open_containers());
  EXPECT_FALSE(empty.is_complete());
}

TEST(CloseOpenContainers, LaterBraceCompletesLenientObject) {
  JsonDocument d;
  ASSERT_EQ(d.parse_text(R"({"a":[1,2})"), 0);
  EXPECT_FALSE(d.is_complete());
  EXPECT_EQ(d.add_json_text("}"), 0);
  EXPECT_TRUE(d.is_complete());
  EXPECT_EQ(d.get_node("", 1).value, "{ 1 }");
}

// ---- the second value-start handler ----

TEST(PrepareValueVariant, DiffersFromTheValueHandlerWhereDocumented) {
  // Drive both handlers from the same state: an element of an array awaits its value.
  for (std::uint8_t c : {'{', '[', '"', ',', ']', '}', 'x'}) {
    SCOPED_TRACE(std::string(1, static_cast<char>(c)));
    JsonDocument a, b;
    a.parse_text("{\"k\":");
    b.parse_text("{\"k\":");
    a.对象值_准备获取(c);
    b.prepare_value_variant(c);
    const JsonNode na = a.get_node("", 2), nb = b.get_node("", 2);
    if (c == '{' || c == '"') {
      EXPECT_EQ(nb.type, 0);  // the variant gives no type
      EXPECT_NE(na.type, 0);
    } else if (c == '[') {
      // The variant takes "[" as the first byte of a bare value.
      b.add_json_text("]");
      EXPECT_EQ(b.get_node("", 2).value, "[");
      EXPECT_EQ(na.type, 5);
    } else if (c == ',' || c == ']' || c == '}') {
      EXPECT_EQ(nb.type, 6);
      EXPECT_EQ(nb.type, na.type);
      EXPECT_EQ(b.debug_dump().find("separator_seen 1") != std::string::npos, c == ',');
    } else {
      EXPECT_EQ(a.debug_dump(), b.debug_dump());
    }
  }
}

// ---- input in pieces, and the two scans ----

// A random JSON-like text: valid documents, and some with the irregularities the
// lenient parser tolerates or the strict one rejects.
class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::string document() {
    std::string out;
    if (pick(8) == 0) out += "xx ";
    value(out, 0);
    if (pick(10) == 0) out += pick(2) ? " \r\n" : " z";
    return out;
  }
  std::string noise(std::size_t size) {
    static const char alphabet[] = "{}[],:\"\\ \t\r\nabtrue0123456789-+.eE\x80\xA1\xFF";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
      out += pick(20) == 0 ? static_cast<char>(pick(256)) : alphabet[pick(sizeof alphabet - 1)];
    }
    return out;
  }
  std::mt19937& rng() { return rng_; }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  void space(std::string& out) {
    static const char* spaces[] = {"", "", "", " ", "\n  ", "\r\n\t", "  "};
    out += spaces[pick(7)];
  }
  void scalar(std::string& out) {
    static const char* scalars[] = {
        "1",  "-2.5", "1e+5", "1e5",     "true",       "FALSE",    "null",   "word",
        "0",  "-",    "\"\"", "\"a b\"", "\"q\\\"x\"", "\"\\\\\"", "\"\t\"", "\"\xD6\xD0\\u4e2d\"",
        "1 2"};
    out += scalars[pick(sizeof scalars / sizeof *scalars)];
  }
  void value(std::string& out, int depth) {
    const int kind = depth > 4 ? 2 : pick(4);
    if (kind == 0) {
      out += '{';
      const int n = pick(4);
      for (int i = 0; i < n; ++i) {
        if (i && pick(12)) out += ',';
        space(out);
        if (pick(10) == 0) {
          out += "bare";
        } else {
          out += "\"m" + std::to_string(pick(5)) + "\"";
        }
        space(out);
        if (pick(12)) out += ':';
        space(out);
        if (pick(12)) value(out, depth + 1);
        space(out);
      }
      out += pick(15) ? '}' : ']';
    } else if (kind == 1) {
      out += '[';
      const int n = pick(5);
      for (int i = 0; i < n; ++i) {
        if (i && pick(10)) out += ',';
        space(out);
        if (pick(12)) value(out, depth + 1);
        space(out);
      }
      out += pick(15) ? ']' : '}';
    } else {
      scalar(out);
    }
  }

  std::mt19937 rng_;
};

TEST(Incremental, AnySplitGivesTheWholeParse) {
  Generator gen(20240611);
  int without_error = 0;
  for (int round = 0; round < 400; ++round) {
    const std::string input = gen.document();
    for (Options o : {kLenient, kStrict}) {
      JsonDocument whole = parse_checked(input, o);
      if (whole.get_parse_status() != 0) continue;
      ++without_error;
      for (int split = 0; split < 4; ++split) {
        const auto pieces = json_test::random_split(input, gen.rng(), 6);
        for (Scan scan : {Scan::in_runs, Scan::byte_at_a_time}) {
          JsonDocument fed = json_test::parse_pieces(pieces, o, scan);
          ASSERT_EQ(fed.debug_dump(), whole.debug_dump()) << input;
        }
      }
    }
  }
  // The generator must produce enough documents that parse cleanly to mean something.
  EXPECT_GT(without_error, 300);
}

TEST(Incremental, StringSplitBetweenCalls) {
  JsonDocument whole;
  whole.parse_text(R"({"k":"abc\"def"})");
  for (std::size_t cut = 1; cut < 16; ++cut) {
    JsonDocument d;
    const std::string input = R"({"k":"abc\"def"})";
    d.add_json_text(input.substr(0, cut));
    d.add_json_text(input.substr(cut));
    EXPECT_EQ(d.debug_dump(), whole.debug_dump()) << cut;
  }
}

TEST(Scans, RandomBytesGiveTheSameResultBothWays) {
  Generator gen(77);
  for (int round = 0; round < 600; ++round) {
    const std::string input = gen.noise(1 + round % 90);
    for (Options o : {kLenient, kStrict, kTopLenient, kTopStrict}) {
      JsonDocument runs = json_test::parse_whole(input, o, Scan::in_runs);
      JsonDocument reference = json_test::parse_whole(input, o, Scan::byte_at_a_time);
      ASSERT_EQ(runs.debug_dump(), reference.debug_dump());
      if (runs.get_parse_status() == 0) {
        const auto pieces = json_test::random_split(input, gen.rng(), 5);
        ASSERT_EQ(json_test::parse_pieces(pieces, o, Scan::in_runs).debug_dump(),
                  runs.debug_dump());
      }
      runs.close_open_containers();
      reference.close_open_containers();
      ASSERT_EQ(runs.debug_dump(), reference.debug_dump());
    }
  }
}

// Documents with every kind of token the scans read: quoted and unquoted names,
// names and strings holding TAB, CR, LF, backslashes and zero bytes, escapes at
// the end of a string, numbers, literals in any case, empty and nested
// containers, missing values and commas, closing brackets of the wrong kind,
// values ended by CR or LF, and text around the document.
const std::vector<std::string>& token_documents() {
  static const std::vector<std::string> documents = {
      "{\"id\":123,\"s\":\"x y\",\"e\":\"a\\\"b\\\\\",\"t\":true,\"f\":false,\"n\":null}",
      " \r\n\t[1,-2.5,1e+5,0,\"\",[],{},[[]],{\"a\":{}},\"\\\\\\\"\",tRuE,NULL]\n ",
      "{\"a\tb\":\"c\td\",\"x\r\ny\":\"z\r\nw\",\"q\\\":\"v\\\\\\\"\"}",
      "{\"k\0z\":\"v\0w\",\"m\":1\0 2,\"n\":[\0]}"s,
      "[1 , 2\t,\r\n3 ]",
      "{a:1,b:\"s\",c,d:,e:[1,2},f:{}}",
      "{\"a\" : \"b\"\n,\"c\"\r\n:\r\n[ 1e5, 12 34, word, -, 007 ]\n}",
      "[1,,2,]",
      "[{\"a\":1]}, 2}",
      "{\"x\":1\r\"y\":2\n\"z\":3}",
      "xx [\"\xD6\xD0\\u4e2d\",{\"\xA1\xB0\":\"\xA1\xB1\"}] z",
      "[\"a\"\"b\",{}{},1 \"c\"]",
      "\"a\":1,\"b\":[2,\"x\"],\"c\":{\"d\":null}",
  };
  return documents;
}

// Parses `pieces` in runs and compares everything with the byte-at-a-time parse
// of the whole input, before and after completing what is open.
void expect_scans_agree(std::string_view input, const std::vector<std::string_view>& pieces,
                        Options o) {
  JsonDocument runs = json_test::parse_pieces(pieces, o, Scan::in_runs);
  JsonDocument reference = json_test::parse_whole(input, o, Scan::byte_at_a_time);
  ASSERT_EQ(runs.debug_dump(), reference.debug_dump());
  runs.close_open_containers();
  reference.close_open_containers();
  ASSERT_EQ(runs.debug_dump(), reference.debug_dump());
}

TEST(Scans, EverySplitOfEveryTokenKind) {
  for (const std::string& input : token_documents()) {
    for (Options o : {kLenient, kStrict, kTopLenient, kTopStrict}) {
      for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << input << " cut at " << cut << " strict " << o.strict
                                        << " top " << o.top_level_naming);
        const std::string_view whole(input);
        expect_scans_agree(input, {whole.substr(0, cut), whole.substr(cut)}, o);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Every byte of each document replaced in turn by each byte that has an effect
// of its own somewhere: strict errors arise at every position, and lenient
// parses take every irregular path.
TEST(Scans, ReplacedByteAtEveryPosition) {
  const char replacements[] = {'\t', '\n', '\r', '}', ']', '{', '[', ',',
                               ':',  '"',  '\\', ' ', 'X', '1', '\0'};
  for (const std::string& document : token_documents()) {
    for (std::size_t at = 0; at < document.size(); ++at) {
      for (char r : replacements) {
        std::string input = document;
        input[at] = r;
        for (Options o : {kLenient, kStrict, kTopStrict}) {
          SCOPED_TRACE(testing::Message() << input << " strict " << o.strict);
          expect_scans_agree(input, {input}, o);
          if (HasFatalFailure()) return;
        }
      }
    }
  }
}

// Bare values of digits, signs and points in every arrangement, plain decimal
// numbers or not (too many digits, a point at either end or twice, an exponent,
// a trailing letter), ended by each byte that ends a value: each reads back as
// written, and both scans and any split agree.
TEST(Scans, NumbersOfEveryShapeReadBackAsWritten) {
  std::mt19937 rng(5150);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const auto digits = [&](int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
      out += static_cast<char>('0' + pick(10));
    return out;
  };
  const char* const endings[] = {",", ",", "\r,", "\n,", " ,"};
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> numbers;
    std::string input = round % 2 ? "{" : "[";
    for (int k = 0, count = 1 + pick(12); k < count; ++k) {
      std::string t = pick(3) == 0 ? "-" : "";
      t += digits(pick(4) == 0 ? pick(22) : pick(20));
      if (pick(2)) t += "." + digits(pick(4) == 0 ? pick(22) : pick(20));
      if (pick(8) == 0) t += pick(2) ? "e+5" : ".1";
      if (pick(12) == 0) t += "x";
      if (t.empty() || t == "-") t += "0";
      numbers.push_back(t);
      if (round % 2) input += "\"m" + std::to_string(k) + "\":";
      input += t;
      if (k + 1 < count) input += endings[pick(std::size(endings))];
    }
    input += round % 2 ? "}" : "]";
    for (Options o : {kLenient, kStrict}) {
      SCOPED_TRACE(testing::Message() << input << " strict " << o.strict);
      const JsonDocument runs = parse_checked(input, o);
      if (runs.get_parse_status() == 0) {
        const auto pieces = json_test::random_split(input, rng, 4);
        ASSERT_EQ(json_test::parse_pieces(pieces, o, Scan::in_runs).debug_dump(),
                  runs.debug_dump());
      }
      if (o.strict) continue;
      ASSERT_EQ(runs.node_count(), static_cast<int>(numbers.size()) + 1);
      for (std::size_t k = 0; k < numbers.size(); ++k)
        EXPECT_EQ(runs.get_node("", static_cast<int>(k) + 2).value, numbers[k]);
    }
  }
}

// ---- bad input ----

TEST(BadInput, TruncatedDocumentsAtEveryLength) {
  const std::string doc =
      "{\"user\":{\"name\":\"a\\\"b\",\"ids\":[1,2.5,-3e+2],\"ok\":true},\r\n"
      " \"list\":[{},[],[null,\"\xD6\xD0\"]],\"t\":\"x y\"}";
  for (Options o : {kLenient, kStrict}) {
    for (std::size_t len = 0; len <= doc.size(); ++len) {
      JsonDocument d = parse_checked(doc.substr(0, len), o);
      ASSERT_EQ(d.get_parse_status(), 0) << len;
      EXPECT_EQ(d.is_complete(), len == doc.size()) << len;
      d.close_open_containers();
    }
  }
}

TEST(BadInput, DeepNestingNeedsNoStack) {
  constexpr int kDepth = 1'000'000;
  struct Case {
    std::string open, close;
  };
  for (const Case& c : {Case{"[", "]"}, Case{"{\"a\":", "}"}}) {
    SCOPED_TRACE(c.open);
    std::string input;
    for (int i = 0; i < kDepth; ++i)
      input += c.open;
    input += "1";
    JsonDocument d;
    ASSERT_EQ(d.parse_text(input), 0);
    EXPECT_EQ(d.node_count(), kDepth + 1);
    EXPECT_FALSE(d.is_complete());
    JsonDocument copy = d;
    EXPECT_TRUE(copy.close_open_containers());
    EXPECT_TRUE(copy.is_complete());
    for (int i = 0; i < kDepth; ++i)
      input += c.close;
    ASSERT_EQ(d.parse_text(input, true), 0);
    EXPECT_TRUE(d.is_complete());
    EXPECT_EQ(d.get_node("", d.node_count()).depth, kDepth + 1);
    EXPECT_EQ(copy.get_node("", 1), d.get_node("", 1));
  }
}

TEST(BadInput, HundredMegabyteString) {
  std::string input = "[\"";
  input.append(100u << 20, 'x');
  input += "\",1]";
  JsonDocument d;
  ASSERT_EQ(d.parse_text(input, true), 0);
  const JsonNode n = d.get_node("", 2);
  EXPECT_EQ(n.value.size(), 100u << 20);
  EXPECT_EQ(n.type, 2);
  EXPECT_EQ(d.get_node("", 3).value, "1");
  int column = 0;
  d.get_parse_status(nullptr, nullptr, nullptr, &column);
  EXPECT_EQ(column, static_cast<int>(input.size()));
}

TEST(BadInput, ZeroBytesAreOrdinaryBytesOfTheLoop) {
  const std::string input = "\0[\0,{\"\0\":\0}]\0"s;
  for (Options o : {kLenient, kStrict}) {
    JsonDocument d = parse_checked(input, o);
    int position = 0;
    const int code = d.get_parse_status(nullptr, &position);
    if (o.strict) {
      EXPECT_EQ(code, 2);
      EXPECT_EQ(position, 1);
    } else {
      EXPECT_EQ(code, 1);  // the zero byte after the document
      EXPECT_EQ(position, 13);
    }
  }
}

}  // namespace
