// The shape every edit of a node store must keep, checked in one pass: used by
// the editing tests and by the editing fuzz target after each edit.
#pragma once

#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/node_array.h"

namespace json_test {

// "" when the store of `d` is well formed, else a description of the first
// fault found:
// - the first node has depth 1 and every node is at most one deeper than the
//   one before it (so each node's descendants follow it directly);
// - only objects and arrays have children;
// - children of an array are elements (container 5) named [0], [1], ... in
//   order; children of an object are members (container 4);
// - every object's and array's value is its summary "{ n }" / "[ n ]", n the
//   number of its direct children.
// Nodes at depth 1 may have any container: the root, top-level members and a
// subtree copied out of an array all start there.
inline std::string store_fault(const json::JsonDocument& d) {
  json::NodeArray a;
  d.copy_all_nodes(a);
  struct Open {
    std::size_t node;
    int depth;
    int type;
    int children;
  };
  std::vector<Open> open;  // containers whose subtree is still being read
  auto at = [](std::size_t i) { return "node " + std::to_string(i + 1) + ": "; };
  auto close = [&](const Open& o) -> std::string {
    const std::string summary = o.type == json::kObject ? "{ " + std::to_string(o.children) + " }"
                                                        : "[ " + std::to_string(o.children) + " ]";
    const std::string value = a.value(o.node);
    if (value != summary)
      return at(o.node) + "summary \"" + value + "\", expected \"" + summary + "\"";
    return "";
  };
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int depth = a.depth(i);
    if (i == 0 && depth != 1) return at(i) + "first node at depth " + std::to_string(depth);
    if (i > 0 && (depth < 1 || depth > a.depth(i - 1) + 1)) {
      return at(i) + "depth " + std::to_string(depth) + " after depth " +
             std::to_string(a.depth(i - 1));
    }
    if (i > 0 && depth == a.depth(i - 1) + 1) {
      const int parent_type = a.type(i - 1);
      if (parent_type != json::kObject && parent_type != json::kArray) {
        return at(i) + "child of a node of type " + std::to_string(parent_type);
      }
    }
    while (!open.empty() && open.back().depth >= depth) {
      if (std::string fault = close(open.back()); !fault.empty()) return fault;
      open.pop_back();
    }
    if (!open.empty()) {
      Open& parent = open.back();
      if (parent.type == json::kArray) {
        const std::string expected = "[" + std::to_string(parent.children) + "]";
        if (a.container(i) != json::kElement || a.name(i) != expected) {
          return at(i) + "element named \"" + a.name(i) + "\" with container " +
                 std::to_string(a.container(i)) + ", expected \"" + expected + "\"";
        }
      } else if (a.container(i) != json::kMember) {
        return at(i) + "member with container " + std::to_string(a.container(i));
      }
      ++parent.children;
    }
    const int type = a.type(i);
    if (type == json::kObject || type == json::kArray) open.push_back({i, depth, type, 0});
  }
  while (!open.empty()) {
    if (std::string fault = close(open.back()); !fault.empty()) return fault;
    open.pop_back();
  }
  return "";
}

}  // namespace json_test
