// The read side: node selection by number or path, and the getters.
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/json_module.h"
#include "text/text_rules.h"

namespace json {

int JsonDocument::node_count() const {
  return static_cast<int>(nodes.size());
}

JsonNode JsonDocument::get_node(std::string_view path, int node_number, int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return JsonNode{};
  return nodes.get(static_cast<std::size_t>(n) - 1);
}

int JsonDocument::get_parse_status(std::string* message, int* error_pos, int* error_line,
                                   int* error_column) const {
  if (message) *message = error_message;
  if (error_pos) *error_pos = error_position;
  if (error_line) *error_line = line;
  if (error_column) *error_column = column;
  return error_code;
}

std::string JsonDocument::get_value(std::string_view path, int node_number, int* type, bool decode,
                                    int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return "";
  const std::size_t i = static_cast<std::size_t>(n) - 1;
  const int node_type = nodes.type(i);
  if (type) *type = node_type;
  std::string value = nodes.value(i);
  if (!decode) return value;
  switch (node_type) {
    case kString:
      return decode_json_escapes(value);
    case kBoolean:
      return textops::lower_ascii(value);
    case kObject:
    case kArray:
      // "{ 3 }" gives 3, the number of children.
      return value.size() <= 4 ? std::string() : value.substr(2, value.size() - 4);
    default:
      return value;
  }
}

int JsonDocument::find_node(std::string_view path, int start, bool relative) const {
  // 1-2. Nothing to search, or the empty path.
  const int count = node_count();
  if (count == 0 || start > count) return 0;
  if (start < 2 && path.empty()) return 1;

  // 3-4. Normalise so every element index is its own part, then split at dots;
  // both read the text by characters.
  const std::string normalised =
      textops::replace_all(textops::replace_all(path, ".[", "["), "[", ".[");
  std::vector<std::string> parts = textops::split(normalised, ".");
  // 5-6. A leading dot is ignored; a final dot names a member with an empty name.
  if (!parts.empty() && parts.front().empty()) parts.erase(parts.begin());
  if (parts.empty()) parts.emplace_back();
  if (!path.empty() && path.back() == '.') parts.emplace_back();

  // 7. Part g is compared with the nodes of level g (depth g + 1).
  const int part_count = static_cast<int>(parts.size());
  int g = 1;
  int n = 1;
  if (start >= 2 && relative) {
    n = start - 1;
    g = 2;
  }
  // 8. The walk, backtracking to later siblings when a matched name has no
  // matching descendant.
  for (;;) {
    ++n;
    if (n > count) return 0;
    const std::size_t i = static_cast<std::size_t>(n) - 1;
    const int level = nodes.depth(i) - 1;
    if (level < 1) {
      if (part_count == 1 && parts[0].empty() && n >= start) return n;
      continue;
    }
    if (level > g) continue;   // inside a subtree that is not followed
    if (level < g) g = level;  // the matched subtree has ended
    if (g > part_count || !nodes.name_equals(i, parts[static_cast<std::size_t>(g) - 1])) continue;
    if (g < part_count) {
      ++g;
      continue;
    }
    if (n >= start) return n;
  }
}

}  // namespace json
