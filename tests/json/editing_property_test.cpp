// Random sequences of edits on random documents: after every edit the store is
// well formed, an edit that reports failure changed nothing, and the document
// written out and parsed back gives the same store.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/node_array.h"
#include "json_test_support.h"
#include "store_validator.h"

namespace {

using json::JsonDocument;
using json::JsonNode;
using json_test::all_nodes;
using json_test::cp;
using json_test::store_fault;

template <typename T>
const T& pick(std::mt19937& rng, const std::vector<T>& pool) {
  return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
}

int below(std::mt19937& rng, int n) {
  return std::uniform_int_distribution<int>(0, n - 1)(rng);
}

// Member names the parser reads back as written (a backslash means nothing in a
// name, and the first quote ends it, so no quotes).
const std::vector<std::string>& member_names() {
  static const std::vector<std::string> names = {"a",   "b", "k",   "x1",     cp("名字"), "0",
                                                 "[1]", "",  "a/b", "sp ace", "a\\b"};
  return names;
}

// A random JSON text of about `budget` values at most, nested up to `depth`.
class DocumentMaker {
 public:
  explicit DocumentMaker(std::mt19937& rng) : rng_(rng) {}

  std::string make(int budget) {
    budget_ = budget;
    return container(0);
  }

 private:
  std::string container(int depth) {
    const bool object = below(rng_, 2) == 0;
    std::string out(1, object ? '{' : '[');
    const int count = below(rng_, 7);
    for (int k = 0; k < count && budget_ > 0; ++k) {
      if (k) out += ',';
      if (object) out += '"' + pick(rng_, member_names()) + "\":";
      out += value(depth + 1);
    }
    out += object ? '}' : ']';
    return out;
  }

  std::string value(int depth) {
    --budget_;
    if (depth < 5 && below(rng_, 5) < 2) return container(depth);
    static const std::vector<std::string> scalars = {
        "0",           "-1",       "12.5",        "1.5e+3",
        "007",         "true",     "false",       "null",
        R"("")",       R"("x")",   R"("a\"b")",   R"("tab\t")",
        R"("\u4E2D")", R"("a/b")", R"("sp ace")", '"' + cp("中文") + '"'};
    return pick(rng_, scalars);
  }

  std::mt19937& rng_;
  int budget_ = 0;
};

JsonDocument parse(std::string_view text, bool top_level_naming) {
  JsonDocument d;
  d.parse_text(text, false, top_level_naming);
  d.close_open_containers();
  return d;
}

std::string json_of(const JsonDocument& d, int node) {
  std::string text;
  d.to_json_text("", node, text);
  return text;
}

bool root_at_top(const JsonDocument& d) {
  return d.node_count() > 0 && d.get_node("", 1).container == json::kRoot;
}

// The store written out and parsed back: a document with a root as itself, a
// store of top-level members as those members joined by commas in top-level
// naming mode. Returns the parsed store's fault or difference, "" when the
// same.
std::string round_trip_fault(const JsonDocument& d) {
  if (d.node_count() == 0) return "";
  std::string text;
  const bool top_level = !root_at_top(d);
  if (top_level) {
    for (int n = 1; n <= d.node_count(); ++n) {
      if (d.get_node("", n).depth != 1) continue;
      std::string one = json_of(d, n);
      if (one.ends_with("\r\n")) one.resize(one.size() - 2);
      if (!text.empty()) text += ',';
      text += one;
    }
  } else {
    text = json_of(d, 1);
  }
  JsonDocument back;
  if (const int error = back.parse_text(text, false, top_level); error != 0) {
    return "written text " + text + " does not parse: error " + std::to_string(error);
  }
  back.close_open_containers();
  const std::vector<JsonNode> mine = all_nodes(d);
  const std::vector<JsonNode> theirs = all_nodes(back);
  if (mine == theirs) return "";
  std::string diff = "written text " + text + " reads back differently";
  for (std::size_t i = 0; i < std::max(mine.size(), theirs.size()); ++i) {
    if (i < mine.size() && i < theirs.size() && mine[i] == theirs[i]) continue;
    diff += "; first at node " + std::to_string(i + 1);
    if (i < mine.size()) diff += " stored " + mine[i].name + "=" + mine[i].value;
    if (i < theirs.size()) diff += " read " + theirs[i].name + "=" + theirs[i].value;
    break;
  }
  return diff;
}

// One random edit; `what` describes it. Returns whether it reported a change.
struct Editor {
  std::mt19937& rng;
  DocumentMaker& maker;
  std::string what;

  bool edit(JsonDocument& d) {
    const int count = d.node_count();
    const int node = count > 0 ? 1 + below(rng, count) : 0;
    const bool is_root = node == 1 && root_at_top(d);
    what = "node " + std::to_string(node) + ": ";
    // An empty store can only grow by a member at the top; a whole document is
    // removed now and then only, so that most edits work on something.
    if (count == 0) return add(d, node);
    int kind = below(rng, 7);
    if (kind == 3 && is_root && below(rng, 10) != 0) kind = 2;
    switch (kind) {
      case 0:
        return set_value(d, node, is_root);
      case 1:
        return rename(d, node, is_root);
      case 2:
        return add(d, node);
      case 3:
        what += "remove_node";
        return d.remove_node("", node);
      case 4:
        return replace_with_text(d, node, is_root);
      case 5:
        return replace_with_document(d, node, is_root);
      default:
        return copy_out(d, node);
    }
  }

  bool set_value(JsonDocument& d, int node, bool is_root) {
    // The root stays a container, so that the document can be written out.
    if (is_root) return false;
    static const std::vector<std::string> any = {
        "TRUE",      "false", "1 000", "Hello World", "null",        "",    "-",  "1.5E+3",    "12",
        cp("中 文"), "a\"b",  "x/y",   "tab\there",   "back\\slash", "007", "  ", cp("全　角")};
    static const std::vector<std::string> plain = {"Hello World", "12", "TRUE", "null", "", "x"};
    static const std::vector<std::string> numbers = {"12", "-3.5", "0", "1.5e+3"};
    static const std::vector<std::string> booleans = {"true", "false"};
    int type = pick(rng, std::vector<int>{0, 0, 0, 1, 2, 3, 7});
    int escape = pick(rng, std::vector<int>{1, 3, 5, 7, 0});
    const std::string& value = type == 1     ? pick(rng, numbers)
                               : type == 3   ? pick(rng, booleans)
                               : escape == 0 ? pick(rng, plain)
                                             : pick(rng, any);
    what += "set_value \"" + value + "\" type " + std::to_string(type) + " escape " +
            std::to_string(escape);
    return d.set_value("", node, value, type, escape);
  }

  bool rename(JsonDocument& d, int node, bool is_root) {
    if (is_root) return false;  // a root's name is never written out
    if (node > 0 && d.get_node("", node).container == json::kElement) {
      static const std::vector<std::string> indexes = {"0",   "1",   "2", "3",  "5",
                                                       "[1]", "(2)", "x", "-1", "05"};
      const std::string& name = pick(rng, indexes);
      what += "rename_node element to " + name;
      return d.rename_node("", node, name);
    }
    const int escape = pick(rng, std::vector<int>{1, 3, 5, 7, 0});
    const std::string name = escape == 0 ? "plain" : pick(rng, member_names());
    what += "rename_node member to " + name + " escape " + std::to_string(escape);
    return d.rename_node("", node, name, escape);
  }

  bool add(JsonDocument& d, int node) {
    const std::optional<int> position =
        pick(rng, std::vector<std::optional<int>>{std::nullopt, -1, 0, 1, 2, 4});
    static const std::vector<std::optional<std::string>> names = {std::nullopt, "k",      "0", "2",
                                                                  "[1]",        cp("键"), ""};
    const std::optional<std::string>& name = pick(rng, names);
    const std::optional<std::string_view> name_view =
        name ? std::optional<std::string_view>(*name) : std::nullopt;
    what += "add_member at " + (position ? std::to_string(*position) : "omitted") + " name " +
            name.value_or("omitted");
    // With nothing selected a member joins the top level, which a document with
    // a root could not be written out with.
    if (!root_at_top(d) && below(rng, 3) == 0) {
      what += " at the top";
      return d.add_member("zz", 0, position, name_view) != 0;
    }
    return d.add_member("", node, position, name_view) != 0;
  }

  bool replace_with_text(JsonDocument& d, int node, bool is_root) {
    static const std::vector<std::string> containers = {R"({"x":[1,{"y":null}]})", "[]", "{}",
                                                        "[1,[2,[3]]]", "[1,2"};
    static const std::vector<std::string> others = {R"("b":[1,2])", R"("m":{"n":true})",
                                                    R"("v":"s")",   R"("w":-2)",
                                                    R"({"a":})",    "5",
                                                    "'x'",          ""};
    const std::string& text =
        is_root || below(rng, 2) == 0 ? pick(rng, containers) : pick(rng, others);
    const bool keep = !is_root && below(rng, 2) == 0;
    what += "replace_with_json_text " + text + (keep ? " keeping its name" : "");
    return d.replace_with_json_text("", node, text, keep);
  }

  bool replace_with_document(JsonDocument& d, int node, bool is_root) {
    const bool keep = !is_root && below(rng, 2) == 0;
    if (!is_root && d.node_count() < 400 && below(rng, 3) == 0) {
      what += "replace_with_document itself";
      return d.replace_with_document("", node, d, keep);
    }
    const std::string text = maker.make(8);
    what += "replace_with_document " + text + (keep ? " keeping its name" : "");
    return d.replace_with_document("", node, parse(text, false), keep);
  }

  bool copy_out(JsonDocument& d, int node) {
    what += "copy_to_document";
    JsonDocument target = parse("[1,2]", false);
    const int copied = d.copy_to_document("", node, target);
    if (copied == 0) return false;
    // The copy is well formed, as long as the subtree, and writes out alike.
    EXPECT_EQ(store_fault(target), "") << what;
    EXPECT_EQ(copied, d.descendant_count("", node) + 1) << what;
    EXPECT_EQ(json_of(target, 1), json_of(d, node)) << what;
    return false;  // this document is unchanged
  }
};

TEST(EditingProperties, RandomEditsKeepTheStoreWellFormedAndWritable) {
  constexpr int kDocuments = 300;
  constexpr int kEdits = 40;
  int changes = 0;
  for (int seed = 1; seed <= kDocuments; ++seed) {
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    DocumentMaker maker(rng);
    const std::string text = maker.make(40);
    JsonDocument d = parse(text, false);
    ASSERT_EQ(store_fault(d), "") << text;
    Editor editor{rng, maker, ""};
    for (int step = 0; step < kEdits; ++step) {
      const std::vector<JsonNode> before = all_nodes(d);
      const bool changed = editor.edit(d);
      SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step) + ", " +
                   editor.what + ", document was " + text);
      const std::string fault = store_fault(d);
      ASSERT_EQ(fault, "");
      if (changed) {
        ++changes;
      } else {
        ASSERT_EQ(all_nodes(d), before) << "an edit that reports nothing done changed the store";
      }
      ASSERT_EQ(round_trip_fault(d), "");
    }
  }
  // The sequences did edit: most calls change something.
  EXPECT_GT(changes, kDocuments * kEdits / 3);
}

}  // namespace
