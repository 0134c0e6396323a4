// Node editing: setting values and names, moving array elements, inserting,
// removing and replacing nodes, copying a subtree out.
//
// Every edit keeps the store well formed: document order (a subtree is the run
// of following nodes deeper than its node), array elements named [0]..[n-1] in
// order, and container summaries counting the direct children. Runs of records
// move with one insert_empty, erase or rotate of the node array, each linear in
// the records after the place, and every walk below visits each node at most
// once, so no edit costs more than time linear in the document's size. An edit
// that cannot be done returns before it changes anything.
#include <optional>
#include <string>
#include <string_view>

#include "json/json_document.h"
#include "json/json_module.h"
#include "text/text_rules.h"

namespace json {

namespace {

// First position after the subtree of record i.
std::size_t subtree_end(const NodeArray& a, std::size_t i) {
  const int d = a.depth(i);
  std::size_t end = i + 1;
  while (end < a.size() && a.depth(end) > d)
    ++end;
  return end;
}

// Position of record i's parent: the nearest record before it that is
// shallower; none for a node at the top.
std::optional<std::size_t> parent_of(const NodeArray& a, std::size_t i) {
  const int d = a.depth(i);
  for (std::size_t j = i; j-- > 0;) {
    if (a.depth(j) < d) return j;
  }
  return std::nullopt;
}

// The run of records that holds a node and its siblings: the parent's subtree
// without the parent, or, for a node at the top, the whole store (the top-level
// nodes then count as the children of an invisible container).
struct Siblings {
  std::optional<std::size_t> parent;
  std::size_t first = 0;  // first record of the run
  std::size_t end = 0;    // first record after it
  int depth = 1;          // depth of the siblings themselves
};

Siblings siblings_of(const NodeArray& a, std::size_t i) {
  Siblings s;
  s.parent = parent_of(a, i);
  s.depth = a.depth(i);
  if (s.parent) {
    s.first = *s.parent + 1;
    s.end = subtree_end(a, *s.parent);
  } else {
    s.first = 0;
    s.end = a.size();
  }
  return s;
}

Siblings children_of(const NodeArray& a, std::size_t p) {
  return Siblings{p, p + 1, subtree_end(a, p), a.depth(p) + 1};
}

int count_at_depth(const NodeArray& a, std::size_t first, std::size_t end, int depth) {
  int count = 0;
  for (std::size_t j = first; j < end; ++j) {
    if (a.depth(j) == depth) ++count;
  }
  return count;
}

// Position of the sibling at 0-based `ordinal` in the run; `s.end` when there
// are fewer.
std::size_t sibling_at(const NodeArray& a, const Siblings& s, int ordinal) {
  int counter = 0;
  for (std::size_t j = s.first; j < s.end; ++j) {
    if (a.depth(j) != s.depth) continue;
    if (counter == ordinal) return j;
    ++counter;
  }
  return s.end;
}

// Names the siblings in [first, end) [k], [k+1], ... in order.
void renumber(NodeArray& a, std::size_t first, std::size_t end, int depth, int k) {
  for (std::size_t j = first; j < end; ++j) {
    if (a.depth(j) == depth) a.set_element_name(j, k++);
  }
}

// Rewrites the summary of container p with `count` children; a scalar has none.
void write_summary(NodeArray& a, std::size_t p, int count) {
  const int type = a.type(p);
  if (type == kObject) a.set_summary(p, Summary::object, count);
  if (type == kArray) a.set_summary(p, Summary::array, count);
}

// Makes record i a null member or element: value "null", type 6.
void make_null(NodeArray& a, std::size_t i, int depth, std::uint8_t container) {
  a.set_depth(i, depth);
  a.set_type(i, kNull);
  a.set_container(i, container);
  a.set_value(i, "null");
}

void make_null_element(NodeArray& a, std::size_t i, int depth, int k) {
  make_null(a, i, depth, kElement);
  a.set_element_name(i, k);
}

// The stored form of a name or string value for the given `escape` options.
std::string escaped(std::string_view text, int escape) {
  return encode_json_escapes(text, (escape & 2) != 0, (escape & 4) != 0);
}

// Where add_member inserts among `c` children: the position asked for, else
// the index the name spells, else the end.
int insert_place(std::optional<int> insert_position, std::optional<std::string_view> name, int c) {
  if (insert_position) return *insert_position;
  if (name) {
    const int named = parse_index_text(*name);
    if (named != -1) return named;
  }
  return c;
}

}  // namespace

bool JsonDocument::set_value(std::string_view path, int node_number, std::string_view value,
                             int type, int escape, int* found_number) {
  // 1. The node.
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return false;
  const std::size_t i = static_cast<std::size_t>(n) - 1;
  value = textops::until_zero(value);
  // 2. Types beyond boolean count as "detect".
  if (type > kBoolean) type = 0;
  // 3. The node becomes a leaf; its name, place and the parent's summary stay.
  const std::size_t end = subtree_end(nodes, i);
  if (end > i + 1) nodes.erase(i + 1, end - i - 1);
  // 4. The type: given, kept for a string, or detected on the normalised text.
  int new_type = type;
  std::optional<std::string> normalised;
  if (type == 0) {
    if (nodes.type(i) == kString) {
      new_type = kString;
    } else {
      normalised = textops::lower_ascii(textops::remove_spaces(value));
      new_type = is_json_number(*normalised)                       ? kNumber
                 : *normalised == "true" || *normalised == "false" ? kBoolean
                                                                   : kString;
    }
  }
  // 5. The text: an escaped string, the normalised text of a detected type, or
  // the value as given.
  nodes.set_type(i, new_type);
  if (new_type == kString && escape > 0) {
    nodes.set_value(i, escaped(value, escape));
  } else if (normalised) {
    nodes.set_value(i, *normalised);
  } else {
    nodes.set_value(i, value);
  }
  return true;
}

bool JsonDocument::rename_node(std::string_view path, int node_number, std::string_view new_name,
                               int escape, int* found_number) {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return false;
  const std::size_t i = static_cast<std::size_t>(n) - 1;
  new_name = textops::until_zero(new_name);

  // A member or the root: a new name.
  if (nodes.container(i) != kElement) {
    nodes.set_name(i, escape == 0 ? std::string(new_name) : escaped(new_name, escape));
    return true;
  }

  // An array element: moved to the index its new name spells.
  const int e = parse_index_text(new_name);
  if (e < 0) return false;
  const Siblings s = siblings_of(nodes, i);
  const std::size_t i_end = subtree_end(nodes, i);
  const std::size_t run = i_end - i;
  // k: the element's present position (its name [k] in a well-formed store);
  // c: the number of elements.
  int k = 0;
  const int c = count_at_depth(nodes, s.first, s.end, s.depth);
  for (std::size_t j = s.first; j < i; ++j) {
    if (nodes.depth(j) == s.depth) ++k;
  }
  std::size_t moved = i;
  if (e == k) {
    // Already there.
  } else if (e < k) {
    // Before the element now at e; those from e to k-1 move one place later.
    const std::size_t target = sibling_at(nodes, s, e);
    nodes.rotate(target, i, i_end);
    renumber(nodes, target, i_end, s.depth, e);
    moved = target;
  } else if (e < c) {
    // After the element now at e; those from k+1 to e move one place earlier.
    const std::size_t target_end = subtree_end(nodes, sibling_at(nodes, s, e));
    nodes.rotate(i, i_end, target_end);
    renumber(nodes, i, target_end, s.depth, k);
    moved = target_end - run;
  } else {
    // Beyond the end: nulls for positions c-1 .. e-1 after the last element,
    // then the element itself at e; those after k move one place earlier.
    const std::size_t nulls = static_cast<std::size_t>(e) - static_cast<std::size_t>(c) + 1;
    nodes.insert_empty(s.end, nulls);
    for (std::size_t q = 0; q < nulls; ++q)
      make_null_element(nodes, s.end + q, s.depth, c - 1 + static_cast<int>(q));
    nodes.rotate(i, i_end, s.end + nulls);
    renumber(nodes, i, s.end + nulls, s.depth, k);
    moved = s.end + nulls - run;
    if (s.parent) write_summary(nodes, *s.parent, e + 1);
  }
  if (found_number) *found_number = static_cast<int>(moved) + 1;
  return true;
}

int JsonDocument::add_member(std::string_view path, std::optional<int> node_number,
                             std::optional<int> insert_position,
                             std::optional<std::string_view> name) {
  if (name) name = textops::until_zero(*name);
  const std::string_view member_name = name.value_or("");
  const int p = resolve_node(path, node_number.value_or(0));

  if (p == 0) {
    if (!node_number) return 0;
    // No node selected but a number given: a null member at depth 1, the shape
    // of a top-level member in top-level naming mode. An empty store gets it as
    // node 1. Otherwise the top-level nodes are taken as the members of an
    // invisible object holding the document, and the member is placed among
    // them as in any object: before the top-level node at the position asked
    // for (or spelled by the name), else after the last node of the store;
    // nothing for a negative position. There is no summary to rewrite.
    if (nodes.empty()) {
      nodes.add(1, kNull, kMember);
      nodes.set_name(0, member_name);
      nodes.set_value(0, "null");
      return 1;
    }
    const Siblings top{std::nullopt, 0, nodes.size(), 1};
    const int c = count_at_depth(nodes, top.first, top.end, top.depth);
    const int m = insert_place(insert_position, name, c);
    if (m < 0) return 0;
    const std::size_t at = m < c ? sibling_at(nodes, top, m) : nodes.size();
    nodes.insert_empty(at, 1);
    make_null(nodes, at, 1, kMember);
    nodes.set_name(at, member_name);
    return static_cast<int>(at) + 1;
  }

  // 1. The parent must be a container.
  const std::size_t pi = static_cast<std::size_t>(p) - 1;
  const int type = nodes.type(pi);
  if (type != kObject && type != kArray) return 0;
  const bool array = type == kArray;
  // 2. Its children.
  const Siblings s = children_of(nodes, pi);
  const int c = count_at_depth(nodes, s.first, s.end, s.depth);
  // 3. The position.
  const int m = insert_place(insert_position, name, c);
  if (m < 0) return 0;
  // 4, 5. The new record, placed before child m or after the last child; an
  // array is padded with nulls up to position m.
  std::size_t at;
  int count;
  if (m < c) {
    at = sibling_at(nodes, s, m);
    nodes.insert_empty(at, 1);
    if (array) renumber(nodes, at + 1, s.end + 1, s.depth, m + 1);
    count = c + 1;
  } else if (!array || m == c) {
    at = s.end;
    nodes.insert_empty(at, 1);
    count = c + 1;
  } else {
    const std::size_t nulls = static_cast<std::size_t>(m) - static_cast<std::size_t>(c);
    nodes.insert_empty(s.end, nulls + 1);
    for (std::size_t q = 0; q < nulls; ++q)
      make_null_element(nodes, s.end + q, s.depth, c + static_cast<int>(q));
    at = s.end + nulls;
    count = m + 1;
  }
  if (array) {
    make_null_element(nodes, at, s.depth, m);
  } else {
    make_null(nodes, at, s.depth, kMember);
    nodes.set_name(at, member_name);
  }
  // 6. The parent's summary.
  write_summary(nodes, pi, count);
  return static_cast<int>(at) + 1;
}

bool JsonDocument::remove_node(std::string_view path, int node_number) {
  const int n = resolve_node(path, node_number);
  if (n == 0) return false;
  const std::size_t i = static_cast<std::size_t>(n) - 1;
  const std::optional<std::size_t> parent = parent_of(nodes, i);
  nodes.erase(i, subtree_end(nodes, i) - i);
  if (parent) {
    // The parent's summary, and in an array the elements after the removed
    // one numbered anew from its position.
    const Siblings s = children_of(nodes, *parent);
    const int k = count_at_depth(nodes, s.first, i, s.depth);
    if (nodes.type(*parent) == kArray) renumber(nodes, i, s.end, s.depth, k);
    write_summary(nodes, *parent, count_at_depth(nodes, s.first, s.end, s.depth));
  }
  return true;
}

bool JsonDocument::replace_with_json_text(std::string_view path, int node_number,
                                          std::string_view json, bool keep_source_name,
                                          int* found_number) {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return false;
  JsonDocument parsed;
  if (parsed.parse_text(json, true, true) != 0) return false;
  // A text cut short is completed. One that stops where a member awaits its
  // value cannot be: that member and the containers holding it would stay
  // open, without values or summaries, so such a text counts as not parsing.
  parsed.close_open_containers();
  if (!parsed.is_complete()) return false;
  return replace_with_document("", n, parsed, keep_source_name);
}

bool JsonDocument::replace_with_document(std::string_view path, int node_number,
                                         const JsonDocument& source, bool keep_source_name,
                                         int* found_number) {
  // 1. The node, and something to put in its place.
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0 || source.nodes.empty()) return false;
  const std::size_t i = static_cast<std::size_t>(n) - 1;
  // 2. A copy of the source's first node and its subtree (taken before this
  // store changes, so the source may be this document).
  NodeArray copy;
  const std::size_t m = static_cast<std::size_t>(source.copy_subtree("", 1, copy));
  const std::size_t l = subtree_end(nodes, i) - i;
  // 4. The copy's top takes the node's name, container and depth; a member's
  // own name is remembered when it is to be kept.
  std::optional<std::string> source_name;
  if (keep_source_name && copy.container(0) == kMember) source_name = copy.name(0);
  const int shift = nodes.depth(i) - copy.depth(0);
  for (std::size_t k = 0; k < m; ++k)
    copy.set_depth(k, copy.depth(k) + shift);
  copy.set_container(0, nodes.container(i));
  const std::string own_name = nodes.name(i);
  const int own_index = nodes.container(i) == kElement ? parse_index_text(own_name) : -1;
  if (own_index >= 0 && own_name == "[" + std::to_string(own_index) + "]") {
    copy.set_element_name(0, own_index);
  } else {
    copy.set_name(0, own_name);
  }
  // 3. Room for the copy in the node's place.
  if (m > l) nodes.insert_empty(i + l, m - l);
  if (m < l) nodes.erase(i + m, l - m);
  // 5. The copy goes in; the records it replaces go out with `copy`.
  nodes.exchange_records(i, copy, 0, m);
  // 6. The kept name, stored as it is.
  if (source_name) rename_node("", n, *source_name, 0);
  // 7. One node replaced one node: the parent's summary stands.
  return true;
}

int JsonDocument::copy_to_document(std::string_view path, int node_number,
                                   JsonDocument& target) const {
  NodeArray copy;
  const int count = copy_subtree(path, node_number, copy);
  if (count == 0) return 0;
  // The copy's top at depth 1; names and containers stay as they were.
  const int shift = 1 - copy.depth(0);
  for (std::size_t k = 0; k < copy.size(); ++k)
    copy.set_depth(k, copy.depth(k) + shift);
  target.reset();
  target.取全部节点_交换变量(copy);
  return count;
}

}  // namespace json
