// The tree walks and record transfers. Every walk reads only the nodes' depths
// and visits each node at most once, without recursion: a node's subtree is the
// run of following nodes deeper than it.
#include <string>
#include <vector>

#include "json/json_document.h"

namespace json {

// ---- counting ----

int JsonDocument::child_count(std::string_view path, int node_number, int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  // With no node selected, the depth-1 nodes from node 1 on are counted.
  const std::size_t size = nodes.size();
  const std::size_t from = n == 0 ? 0 : static_cast<std::size_t>(n);
  const int d = n == 0 ? 1 : nodes.depth(static_cast<std::size_t>(n) - 1) + 1;
  int count = 0;
  for (std::size_t i = from; i < size; ++i) {
    const int depth = nodes.depth(i);
    if (depth < d) break;
    if (depth == d) ++count;
  }
  return count;
}

int JsonDocument::descendant_count(std::string_view path, std::optional<int> node_number,
                                   int* found_number) const {
  const int n = resolve_node(path, node_number.value_or(0));
  if (found_number) *found_number = n;
  if (n == 0) return node_number.has_value() && !nodes.empty() ? node_count() - 1 : 0;
  const std::size_t i = static_cast<std::size_t>(n) - 1;
  const int type = nodes.type(i);
  if (type != kObject && type != kArray) return 0;
  const int d = nodes.depth(i);
  std::size_t end = i + 1;
  while (end < nodes.size() && nodes.depth(end) > d)
    ++end;
  return static_cast<int>(end - i - 1);
}

// ---- moving about ----

int JsonDocument::get_parent(std::string_view path, int node_number, int levels,
                             int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (levels == 0) return n;
  if (n < 2) return 0;
  // Backwards from the node: each shallower node is the next ancestor.
  int d = nodes.depth(static_cast<std::size_t>(n) - 1);
  for (std::size_t i = static_cast<std::size_t>(n) - 1; i-- > 0;) {
    const int depth = nodes.depth(i);
    if (depth >= d) continue;
    if (--levels == 0) return static_cast<int>(i) + 1;
    d = depth;
  }
  return 0;
}

int JsonDocument::get_child(std::string_view path, int node_number, int ordinal,
                            int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0 || node_number < 0) return 0;
  const int d = nodes.depth(static_cast<std::size_t>(n) - 1) + 1;
  int counter = 0;
  for (std::size_t i = static_cast<std::size_t>(n); i < nodes.size(); ++i) {
    const int depth = nodes.depth(i);
    if (depth < d) return 0;
    if (depth > d) continue;
    if (counter == ordinal) return static_cast<int>(i) + 1;
    ++counter;
  }
  return 0;
}

int JsonDocument::sibling_position(std::string_view path, int node_number,
                                   int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return path.empty() ? -1 : 0;
  const int d = nodes.depth(static_cast<std::size_t>(n) - 1);
  int count = 0;
  for (std::size_t i = static_cast<std::size_t>(n) - 1; i-- > 0;) {
    const int depth = nodes.depth(i);
    if (depth < d) break;
    if (depth == d) ++count;
  }
  return count;
}

std::string JsonDocument::node_path(int node_number) const {
  if (node_number < 2 || node_number > node_count()) return "";
  // Up the chain of ancestors; each get_parent walks back from the previous
  // ancestor, so the whole climb reads each node before this one at most once.
  struct Step {
    int node;
    bool dot;
  };
  std::vector<Step> steps;
  int current = node_number;
  int p = get_parent("", current, 1);
  while (p != 0) {
    const int g = get_parent("", p, 1);
    // Members of an object below the root are joined with a dot; elements and
    // the root's members are not.
    steps.push_back({current, nodes.type(static_cast<std::size_t>(p) - 1) == kObject && g != 0});
    current = p;
    p = g;
  }
  std::string result;
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    if (it->dot) result += '.';
    nodes.append_name(static_cast<std::size_t>(it->node) - 1, result);
  }
  return result;
}

// ---- record transfers ----

int JsonDocument::copy_all_nodes(NodeArray& target) const {
  target = nodes;
  return node_count();
}

int JsonDocument::取全部节点_交换变量(NodeArray& target) {
  nodes.swap(target);
  return static_cast<int>(target.size());
}

int JsonDocument::copy_subtree(std::string_view path, int node_number, NodeArray& target,
                               bool include_self) const {
  int n = 0;
  const int count = descendant_count(path, node_number, &n) + (include_self ? 1 : 0);
  target.clear();
  if (n == 0) return 0;
  const std::size_t first = static_cast<std::size_t>(n) - (include_self ? 1 : 0);
  target.append_copies(nodes, first, static_cast<std::size_t>(count));
  return count;
}

int JsonDocument::take_subtree(std::string_view path, int node_number, NodeArray& target,
                               bool include_self) {
  int n = 0;
  const int count = descendant_count(path, node_number, &n) + (include_self ? 1 : 0);
  if (n == 0) {
    target.clear();
    return 0;
  }
  const std::size_t k = static_cast<std::size_t>(count);
  if (target.size() < k) target.append_zero_records(k - target.size());
  // The caller's records come in carrying the depths of the nodes they replace,
  // so the store's depth sequence stays intact.
  const std::size_t first = static_cast<std::size_t>(n) - (include_self ? 1 : 0);
  for (std::size_t i = 0; i < k; ++i)
    target.set_depth(i, nodes.depth(first + i));
  nodes.exchange_records(first, target, 0, k);
  return count;
}

}  // namespace json
