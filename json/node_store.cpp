// The node store: NodeArray, and the creation, copying, reset and inspection of
// a JsonDocument.
#include "json/json_document.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
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

NodeArray::NodeArray() = default;
NodeArray::~NodeArray() = default;
NodeArray::NodeArray(NodeArray&& other) noexcept {
  swap(other);
}
NodeArray& NodeArray::operator=(NodeArray&& other) noexcept {
  NodeArray taken(std::move(other));  // `other` is left empty
  swap(taken);
  return *this;
}

NodeArray::NodeArray(const NodeArray& other) : size_(other.size_) {
  blocks_.reserve(other.blocks_.size());
  for (std::size_t b = 0; b < other.blocks_.size(); ++b) {
    blocks_.push_back(std::make_unique_for_overwrite<Record[]>(kBlock));
    const std::size_t n = std::min(kBlock, size_ - b * kBlock);
    std::copy_n(other.blocks_[b].get(), n, blocks_.back().get());
  }
  chunks_.reserve(other.chunks_.size());
  pages_.assign(other.pages_.size(), nullptr);
  for (const Chunk& c : other.chunks_) {
    Chunk copy{std::make_unique_for_overwrite<char[]>(c.size), c.size, c.used, c.first_page};
    std::memcpy(copy.bytes.get(), c.bytes.get(), c.used);
    for (std::size_t p = 0; p * kPage < c.size; ++p) {
      pages_[c.first_page + p] = copy.bytes.get() + p * kPage;
    }
    chunks_.push_back(std::move(copy));
  }
}

NodeArray& NodeArray::operator=(const NodeArray& other) {
  if (this != &other) {
    NodeArray copy(other);
    swap(copy);
  }
  return *this;
}

void NodeArray::clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  size_ = 0;
  chunks_.clear();
  chunks_.shrink_to_fit();
  pages_.clear();
  pages_.shrink_to_fit();
}

void NodeArray::swap(NodeArray& other) noexcept {
  blocks_.swap(other.blocks_);
  std::swap(size_, other.size_);
  chunks_.swap(other.chunks_);
  pages_.swap(other.pages_);
}

NodeArray::Record& NodeArray::grow() {
  if ((size_ & (kBlock - 1)) == 0 && (size_ >> kBlockShift) == blocks_.size()) {
    blocks_.push_back(std::make_unique_for_overwrite<Record[]>(kBlock));
  }
  return at(size_++);
}

std::uint32_t NodeArray::store(std::string_view text) {
  if (text.empty()) return 0;  // offset 0 reads as the empty text
  char prefix[5];
  std::size_t n = 0;
  std::size_t len = text.size();
  while (len >= 0x80) {
    prefix[n++] = static_cast<char>((len & 0x7F) | 0x80);
    len >>= 7;
  }
  prefix[n++] = static_cast<char>(len);
  const std::size_t need = n + text.size();
  if (chunks_.empty() || chunks_.back().used + need > chunks_.back().size) {
    // A new chunk on the next free page: small for the first, then 64 KiB or
    // whole pages enough for a long text.
    const std::size_t size =
        chunks_.empty() && need < 4096 ? 4096 : (need + 1 + kPage - 1) & ~(kPage - 1);
    const std::size_t first_page = pages_.size();
    const std::size_t page_count = (size + kPage - 1) / kPage;
    if (first_page + page_count > (std::size_t{1} << (32 - kPageShift)) ||
        text.size() > std::numeric_limits<std::uint32_t>::max()) {
      return 0;  // beyond the 4 GiB the offsets reach: reads as ""
    }
    // The first byte of the offset space stays unused: offset 0 means "".
    Chunk c{std::make_unique_for_overwrite<char[]>(size), size, first_page == 0 ? 1u : 0u,
            first_page};
    for (std::size_t p = 0; p < page_count; ++p)
      pages_.push_back(c.bytes.get() + p * kPage);
    chunks_.push_back(std::move(c));
  }
  Chunk& c = chunks_.back();
  const std::size_t offset = (c.first_page << kPageShift) + c.used;
  std::memcpy(c.bytes.get() + c.used, prefix, n);
  if (!text.empty()) std::memcpy(c.bytes.get() + c.used + n, text.data(), text.size());
  c.used += need;
  return static_cast<std::uint32_t>(offset);
}

std::string_view NodeArray::text_at(std::uint32_t offset) const {
  if (offset == 0) return std::string_view();
  const auto* p =
      reinterpret_cast<const unsigned char*>(pages_[offset >> kPageShift] + (offset & (kPage - 1)));
  std::size_t len = 0;
  int shift = 0;
  while (*p & 0x80) {
    len |= static_cast<std::size_t>(*p++ & 0x7F) << shift;
    shift += 7;
  }
  len |= static_cast<std::size_t>(*p++) << shift;
  return std::string_view(reinterpret_cast<const char*>(p), len);
}

// The name or value text of a record; made in `scratch` (24 bytes) when it is
// an element name or a summary.
std::string_view NodeArray::text_of(const Record& r, bool name, char* scratch) const {
  if (name) {
    if (r.name_kind == kNameIndex) return std::string_view(scratch, format_index(scratch, r.name));
    return text_at(r.name);
  }
  switch (r.value_kind) {
    case kValueObjectSummary:
      return std::string_view(scratch,
                              format_summary(scratch, '{', '}', static_cast<int>(r.value)));
    case kValueArraySummary:
      return std::string_view(scratch,
                              format_summary(scratch, '[', ']', static_cast<int>(r.value)));
    default:
      return text_at(r.value);
  }
}

void NodeArray::append_name(std::size_t i, std::string& out) const {
  char scratch[24];
  out.append(text_of(at(i), true, scratch));
}

void NodeArray::append_value(std::size_t i, std::string& out) const {
  char scratch[24];
  out.append(text_of(at(i), false, scratch));
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
  char scratch[24];
  return text_of(at(i), true, scratch) == text;
}

bool NodeArray::value_is_empty(std::size_t i) const {
  const Record& r = at(i);
  return r.value_kind == kValueText && r.value == 0;
}

JsonNode NodeArray::get(std::size_t i) const {
  const Record& r = at(i);
  return JsonNode{name(i), value(i), r.depth, r.type, r.container};
}

void NodeArray::set(std::size_t i, const JsonNode& node) {
  Record& r = at(i);
  r.depth = node.depth;
  r.type = node.type;
  r.container = node.container;
  set_name(i, node.name);
  set_value(i, node.value);
}

void NodeArray::push_back(const JsonNode& node) {
  add(node.depth, node.type, node.container);
  set_name(size_ - 1, node.name);
  set_value(size_ - 1, node.value);
}

std::size_t NodeArray::add(int depth, int type, std::uint8_t container) {
  grow() = Record{0, 0, depth, type, container, kNameText, kValueText};
  return size_;
}

void NodeArray::set_name(std::size_t i, std::string_view text) {
  const std::uint32_t offset = store(text);
  Record& r = at(i);
  r.name = offset;
  r.name_kind = kNameText;
}

void NodeArray::set_element_name(std::size_t i, int k) {
  Record& r = at(i);
  r.name = static_cast<std::uint32_t>(k);
  r.name_kind = kNameIndex;
}

void NodeArray::set_value(std::size_t i, std::string_view text) {
  const std::uint32_t offset = store(text);
  Record& r = at(i);
  r.value = offset;
  r.value_kind = kValueText;
}

void NodeArray::set_summary(std::size_t i, Summary kind, int count) {
  Record& r = at(i);
  r.value = static_cast<std::uint32_t>(count);
  r.value_kind = kind == Summary::object ? kValueObjectSummary : kValueArraySummary;
}

void NodeArray::insert_empty(std::size_t pos, std::size_t count) {
  if (pos > size_) pos = size_;
  const std::size_t old_size = size_;
  for (std::size_t k = 0; k < count; ++k)
    grow();
  for (std::size_t i = old_size; i-- > pos;)
    at(i + count) = at(i);
  for (std::size_t i = pos; i < pos + count; ++i) {
    at(i) = Record{0, 0, 0, 0, 0, kNameText, kValueText};
  }
}

void NodeArray::erase(std::size_t pos, std::size_t count) {
  if (pos >= size_) return;
  count = std::min(count, size_ - pos);
  for (std::size_t i = pos + count; i < size_; ++i)
    at(i - count) = at(i);
  size_ -= count;
  while (blocks_.size() > (size_ + kBlock - 1) / kBlock)
    blocks_.pop_back();
}

void NodeArray::swap_record(std::size_t i, NodeArray& other, std::size_t j) {
  // Texts live in each array's own arena, so they are carried over as texts.
  const JsonNode mine = get(i);
  set(i, other.get(j));
  other.set(j, mine);
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
