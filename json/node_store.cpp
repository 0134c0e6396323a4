// The node store: NodeArray, and the creation, copying, reset and inspection of
// a JsonDocument.
#include "json/json_document.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <utility>

namespace json {

// ---- NodeArray ----

namespace {

// "{ n }" or "[ n ]" / "[k]" written into `out`; returns the length.
std::size_t format_summary(char* out, char open, char close, int count) {
  char* p = out;
  *p++ = open;
  *p++ = ' ';
  p = std::to_chars(p, p + 12, count).ptr;
  *p++ = ' ';
  *p++ = close;
  return static_cast<std::size_t>(p - out);
}

std::size_t format_index(char* out, std::uint32_t k) {
  char* p = out;
  *p++ = '[';
  p = std::to_chars(p, p + 12, k).ptr;
  *p++ = ']';
  return static_cast<std::size_t>(p - out);
}

}  // namespace

NodeArray::NodeArray() : texts_(1, '\0') {}

void NodeArray::clear() {
  std::vector<Record>().swap(records_);
  std::string(1, '\0').swap(texts_);
}

void NodeArray::reserve(std::size_t records, std::size_t text_bytes) {
  records_.reserve(records);
  texts_.reserve(text_bytes);
}

void NodeArray::swap(NodeArray& other) noexcept {
  records_.swap(other.records_);
  texts_.swap(other.texts_);
}

std::uint32_t NodeArray::store(std::string_view text) {
  if (text.empty()) return 0;
  const std::size_t offset = texts_.size();
  if (text.size() > std::numeric_limits<std::uint32_t>::max() - 5 ||
      offset > std::numeric_limits<std::uint32_t>::max() - 5 - text.size()) {
    return 0;  // beyond the arena's reach: reads as ""
  }
  char prefix[5];
  std::size_t n = 0;
  std::uint32_t len = static_cast<std::uint32_t>(text.size());
  while (len >= 0x80) {
    prefix[n++] = static_cast<char>((len & 0x7F) | 0x80);
    len >>= 7;
  }
  prefix[n++] = static_cast<char>(len);
  texts_.append(prefix, n);
  texts_.append(text);
  return static_cast<std::uint32_t>(offset);
}

std::string_view NodeArray::text_at(std::uint32_t offset) const {
  const auto* p = reinterpret_cast<const unsigned char*>(texts_.data()) + offset;
  std::uint32_t len = 0;
  int shift = 0;
  while (*p & 0x80) {
    len |= static_cast<std::uint32_t>(*p++ & 0x7F) << shift;
    shift += 7;
  }
  len |= static_cast<std::uint32_t>(*p++) << shift;
  return std::string_view(reinterpret_cast<const char*>(p), len);
}

void NodeArray::append_name(std::size_t i, std::string& out) const {
  const Record& r = records_[i];
  if (r.name_kind == kNameIndex) {
    char buf[16];
    out.append(buf, format_index(buf, r.name));
  } else {
    out.append(text_at(r.name));
  }
}

void NodeArray::append_value(std::size_t i, std::string& out) const {
  const Record& r = records_[i];
  char buf[24];
  switch (r.value_kind) {
    case kValueObjectSummary:
      out.append(buf, format_summary(buf, '{', '}', static_cast<int>(r.value)));
      break;
    case kValueArraySummary:
      out.append(buf, format_summary(buf, '[', ']', static_cast<int>(r.value)));
      break;
    default:
      out.append(text_at(r.value));
  }
}

std::string NodeArray::name(std::size_t i) const {
  std::string out;
  append_name(i, out);
  return out;
}

std::string NodeArray::value(std::size_t i) const {
  std::string out;
  append_value(i, out);
  return out;
}

bool NodeArray::name_equals(std::size_t i, std::string_view text) const {
  const Record& r = records_[i];
  if (r.name_kind == kNameIndex) {
    char buf[16];
    return std::string_view(buf, format_index(buf, r.name)) == text;
  }
  return text_at(r.name) == text;
}

bool NodeArray::value_is_empty(std::size_t i) const {
  const Record& r = records_[i];
  return r.value_kind == kValueText && r.value == 0;
}

JsonNode NodeArray::get(std::size_t i) const {
  const Record& r = records_[i];
  return JsonNode{name(i), value(i), r.depth, r.type, r.container};
}

void NodeArray::set(std::size_t i, const JsonNode& node) {
  Record& r = records_[i];
  r.depth = node.depth;
  r.type = node.type;
  r.container = node.container;
  set_name(i, node.name);
  set_value(i, node.value);
}

void NodeArray::push_back(const JsonNode& node) {
  add(node.depth, node.type, node.container);
  set_name(records_.size() - 1, node.name);
  set_value(records_.size() - 1, node.value);
}

std::size_t NodeArray::add(int depth, int type, std::uint8_t container) {
  records_.push_back(Record{0, 0, depth, type, container, kNameText, kValueText});
  return records_.size();
}

void NodeArray::set_name(std::size_t i, std::string_view text) {
  const std::uint32_t offset = store(text);
  records_[i].name = offset;
  records_[i].name_kind = kNameText;
}

void NodeArray::set_element_name(std::size_t i, int k) {
  records_[i].name = static_cast<std::uint32_t>(k);
  records_[i].name_kind = kNameIndex;
}

void NodeArray::set_value(std::size_t i, std::string_view text) {
  const std::uint32_t offset = store(text);
  records_[i].value = offset;
  records_[i].value_kind = kValueText;
}

void NodeArray::set_summary(std::size_t i, Summary kind, int count) {
  records_[i].value = static_cast<std::uint32_t>(count);
  records_[i].value_kind = kind == Summary::object ? kValueObjectSummary : kValueArraySummary;
}

// ---- JsonDocument: creation, copy, release ----

JsonDocument::JsonDocument() = default;
JsonDocument::JsonDocument(const JsonDocument& other) = default;
JsonDocument& JsonDocument::operator=(const JsonDocument& other) = default;

JsonDocument::JsonDocument(JsonDocument&& other) noexcept : JsonDocument() {
  *this = std::move(other);
}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept {
  if (this == &other) return *this;
  // `other` is left as created.
  nodes = std::exchange(other.nodes, NodeArray());
  集_节点索引组 = std::exchange(other.集_节点索引组, {});
  state_stack = std::exchange(other.state_stack, {});
  comma_node_count = std::exchange(other.comma_node_count, 0);
  element_counters = std::exchange(other.element_counters, {});
  member_counters = std::exchange(other.member_counters, {});
  current_depth = std::exchange(other.current_depth, 0);
  escape_pending = std::exchange(other.escape_pending, false);
  text_buffer = std::exchange(other.text_buffer, RapidString());
  unquoted_name = std::exchange(other.unquoted_name, false);
  strict = std::exchange(other.strict, false);
  position = std::exchange(other.position, 0);
  error_position = std::exchange(other.error_position, 0);
  error_code = std::exchange(other.error_code, 0);
  error_message = std::exchange(other.error_message, std::string());
  separator_seen = std::exchange(other.separator_seen, false);
  top_level_naming = std::exchange(other.top_level_naming, false);
  line = std::exchange(other.line, 0);
  column = std::exchange(other.column, 0);
  return *this;
}

// Every member owns what it holds, and none of them recurses on the document's
// depth, so the release is the members' own destruction.
JsonDocument::~JsonDocument() = default;

std::unique_ptr<JsonDocument> JsonDocument::copy() const {
  return std::make_unique<JsonDocument>(*this);
}

// ---- reset and node selection ----

void JsonDocument::reset() {
  escape_pending = false;
  comma_node_count = 0;
  nodes.clear();
  state_stack.clear();
  element_counters.clear();
  member_counters.clear();
  集_节点索引组.clear();
  text_buffer.clear();
  strict = false;
  position = 0;
  error_position = 0;
  error_message.clear();
  error_code = 0;
  top_level_naming = false;
  line = 0;
  column = 0;
  // A reused document must parse like a new one: these three are read before
  // they are set in some inputs (a comma reaching the invisible top object in
  // top-level naming mode reads separator_seen).
  separator_seen = false;
  current_depth = 0;
  unquoted_name = false;
}

int JsonDocument::resolve_node(std::string_view path, int node_number) const {
  if (node_number >= 1 && node_number <= node_count()) return node_number;
  return find_node(path);
}

// ---- inspection ----

namespace {

template <typename T>
void dump_array(std::string& out, const char* label, const std::vector<T>& values) {
  out += label;
  out += " [";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += ' ';
    out += std::to_string(static_cast<long long>(values[i]));
  }
  out += "]\n";
}

void dump_text(std::string& out, std::string_view text) {
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

}  // namespace

std::string JsonDocument::debug_dump() const {
  std::string out = "nodes " + std::to_string(nodes.size()) + "\n";
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    out += "  " + std::to_string(i + 1) + " depth " + std::to_string(nodes.depth(i)) + " type " +
           std::to_string(nodes.type(i)) + " container " + std::to_string(nodes.container(i)) +
           " name ";
    dump_text(out, nodes.name(i));
    out += " value ";
    dump_text(out, nodes.value(i));
    out += '\n';
  }
  dump_array(out, "集_节点索引组", 集_节点索引组);
  dump_array(out, "state_stack", state_stack);
  out += "comma_node_count " + std::to_string(comma_node_count) + "\n";
  dump_array(out, "element_counters", element_counters);
  dump_array(out, "member_counters", member_counters);
  out += "current_depth " + std::to_string(current_depth) + "\n";
  out += "escape_pending " + std::to_string(escape_pending) + "\n";
  out += "text_buffer ";
  dump_text(out, text_buffer.raw());
  out += "\nunquoted_name " + std::to_string(unquoted_name) + "\n";
  out += "strict " + std::to_string(strict) + "\n";
  out += "position " + std::to_string(position) + "\n";
  out += "error_position " + std::to_string(error_position) + "\n";
  out += "error_code " + std::to_string(error_code) + "\n";
  out += "error_message ";
  dump_text(out, error_message);
  out += "\nseparator_seen " + std::to_string(separator_seen) + "\n";
  out += "top_level_naming " + std::to_string(top_level_naming) + "\n";
  out += "line " + std::to_string(line) + "\n";
  out += "column " + std::to_string(column) + "\n";
  return out;
}

}  // namespace json
