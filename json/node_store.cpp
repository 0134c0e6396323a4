// The node store: NodeArray, and the creation, copying, reset and inspection of
// a JsonDocument.
#include "json/json_document.h"

#include <algorithm>
#include <bit>
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

// Plain decimal numbers: an optional minus sign, then 1 to 18 digits with at
// most one point between two of them. Such a text is kept in a head byte (sign,
// digit count, low bits of the point's place) and the little-endian bytes of
// (digits as an integer) << 3 | (high bits of the point's place); the point's
// place is the number of digits before it, 0 when there is none.
constexpr int kMaxPackedDigits = 18;
constexpr std::uint8_t kPackedBits[kMaxPackedDigits + 1] = {0,  4,  7,  10, 14, 17, 20, 24, 27, 30,
                                                            34, 37, 40, 44, 47, 50, 54, 57, 60};

std::size_t packed_size(int digits) {
  return 1 + (kPackedBits[digits] + 3 + 7) / 8;
}

// Eight digit bytes as their number; `all_digits` says whether they were.
std::uint64_t eight_digits(const char* p, bool& all_digits) {
  std::uint64_t x;
  std::memcpy(&x, p, 8);
  const std::uint64_t d = x - 0x3030303030303030u;
  all_digits = ((x + 0x4646464646464646u) | d) & 0x8080808080808080u ? false : true;
  // Pairs, then quads, then the whole, each step joining neighbours (little endian).
  std::uint64_t v = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
  return (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
}

// Adds the digits p[0..n) to `v`; false when one of them is not a digit.
bool add_digits(const char* p, std::size_t n, std::uint64_t& v) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    bool ok;
    const std::uint64_t eight = eight_digits(p + i, ok);
    if (!ok) return false;
    v = v * 100000000u + eight;
  }
  for (; i < n; ++i) {
    const unsigned c = static_cast<unsigned char>(p[i]) - '0';
    if (c > 9) return false;
    v = v * 10 + c;
  }
  return true;
}

// Powers of ten that fit 64 bits.
constexpr std::uint64_t kPowersOfTen[] = {1u,
                                          10u,
                                          100u,
                                          1000u,
                                          10000u,
                                          100000u,
                                          1000000u,
                                          10000000u,
                                          100000000u,
                                          1000000000u,
                                          10000000000u,
                                          100000000000u,
                                          1000000000000u,
                                          10000000000000u,
                                          100000000000000u,
                                          1000000000000000u,
                                          10000000000000000u,
                                          100000000000000000u,
                                          1000000000000000000u};

// Whether the parts name a plain decimal number: 1 to 18 digits whose value
// fits them, and a point (if any) between two of them.
bool packable(std::uint64_t digits, int count, int point) {
  return count >= 1 && count <= kMaxPackedDigits && point >= 0 && point < count &&
         digits < kPowersOfTen[count];
}

// The packed form of valid parts: the head byte, and the integer whose low
// packed_size(count) - 1 bytes follow it.
std::uint8_t packed_head(bool minus, int count, int point) {
  return static_cast<std::uint8_t>((minus ? 0x80 : 0) | count << 2 | (point & 3));
}
std::uint64_t packed_body(std::uint64_t digits, int point) {
  return digits << 3 | static_cast<std::uint64_t>(point >> 2);
}

// Packs `text` into `out` (at least 10 bytes); returns the size, 0 when the
// text is not a plain decimal number.
std::size_t pack_number(std::string_view text, std::uint8_t* out) {
  const char* p = text.data();
  std::size_t n = text.size();
  const bool minus = n != 0 && p[0] == '-';
  if (minus) ++p, --n;
  if (n == 0 || n > kMaxPackedDigits + 1) return 0;
  const void* dot = std::memchr(p, '.', n);
  const std::size_t before = dot ? static_cast<std::size_t>(static_cast<const char*>(dot) - p) : n;
  const std::size_t after = dot ? n - before - 1 : 0;
  if (dot && (before == 0 || after == 0)) return 0;
  const std::size_t digits = before + after;
  if (digits > kMaxPackedDigits) return 0;
  std::uint64_t v = 0;
  if (!add_digits(p, before, v) || !add_digits(p + before + 1, after, v)) return 0;
  const int point = dot ? static_cast<int>(before) : 0;
  out[0] = packed_head(minus, static_cast<int>(digits), point);
  std::uint64_t m = packed_body(v, point);
  const std::size_t size = packed_size(static_cast<int>(digits));
  for (std::size_t k = 1; k < size; ++k, m >>= 8)
    out[k] = static_cast<std::uint8_t>(m);
  return size;
}

// The text of a packed number at `p`, written into `out` (at least 20 bytes).
std::size_t unpack_number(const unsigned char* p, char* out) {
  const int digits = (p[0] >> 2) & 0x1F;
  std::uint64_t m = 0;
  const std::size_t size = packed_size(digits);
  for (std::size_t k = size - 1; k >= 1; --k)
    m = m << 8 | p[k];
  const int point = (p[0] & 3) | static_cast<int>(m & 7) << 2;
  std::uint64_t v = m >> 3;
  char digit_text[kMaxPackedDigits];
  for (int k = digits - 1; k >= 0; --k, v /= 10)
    digit_text[k] = static_cast<char>('0' + v % 10);
  char* o = out;
  if (p[0] & 0x80) *o++ = '-';
  for (int k = 0; k < digits; ++k) {
    if (k == point && point != 0) *o++ = '.';
    *o++ = digit_text[k];
  }
  return static_cast<std::size_t>(o - out);
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
  for (const auto& source : other.blocks_) {
    auto b = std::make_unique<Block>();
    std::copy_n(source->name, kBlock, b->name);
    std::copy_n(source->value, kBlock, b->value);
    std::copy_n(source->depth, kBlock, b->depth);
    std::copy_n(source->flags, kBlock, b->flags);
    if (source->wide) {
      b->wide = std::make_unique<Wide[]>(kBlock);
      std::copy_n(source->wide.get(), kBlock, b->wide.get());
    }
    blocks_.push_back(std::move(b));
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

void NodeArray::add_block() {
  blocks_.push_back(std::make_unique<Block>());
}

void NodeArray::set_wide(Block& b, std::size_t j, int depth, int type, std::uint8_t container) {
  if (!b.wide) b.wide = std::make_unique<Wide[]>(kBlock);
  b.wide[j] = Wide{depth, type, container};
  b.depth[j] = kWideDepth;
}

void NodeArray::move_record(std::size_t from, std::size_t to) {
  const Block& s = block(from);
  Block& t = block(to);
  const std::size_t i = from & (kBlock - 1);
  const std::size_t j = to & (kBlock - 1);
  t.name[j] = s.name[i];
  t.value[j] = s.value[i];
  t.flags[j] = s.flags[i];
  if (s.depth[i] == kWideDepth) {
    const Wide w = s.wide[i];
    set_wide(t, j, w.depth, w.type, w.container);
  } else {
    t.depth[j] = s.depth[i];
  }
}

std::uint32_t NodeArray::reserve(std::size_t need, char*& out) {
  if (chunks_.empty() || chunks_.back().used + need > chunks_.back().size) {
    // A new chunk on the next free page: small for the first, then 64 KiB or
    // whole pages enough for a long text.
    const std::size_t size =
        chunks_.empty() && need < 4096 ? 4096 : (need + 1 + kPage - 1) & ~(kPage - 1);
    const std::size_t first_page = pages_.size();
    const std::size_t page_count = (size + kPage - 1) / kPage;
    if (first_page + page_count > (std::size_t{1} << (32 - kPageShift)) ||
        need > std::numeric_limits<std::uint32_t>::max()) {
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
  out = c.bytes.get() + c.used;
  c.used += need;
  return static_cast<std::uint32_t>(offset);
}

std::uint32_t NodeArray::store(std::string_view text) {
  if (text.empty()) return 0;  // offset 0 reads as the empty text
  if (text.size() < 0x80 && !chunks_.empty() &&
      chunks_.back().used + 1 + text.size() <= chunks_.back().size) {
    // The common case: a short text, one length byte, room in the last chunk.
    Chunk& c = chunks_.back();
    const auto offset = static_cast<std::uint32_t>((c.first_page << kPageShift) + c.used);
    char* out = c.bytes.get() + c.used;
    out[0] = static_cast<char>(text.size());
    std::memcpy(out + 1, text.data(), text.size());
    c.used += 1 + text.size();
    return offset;
  }
  char prefix[10];
  std::size_t n = 0;
  std::size_t len = text.size();
  while (len >= 0x80) {
    prefix[n++] = static_cast<char>((len & 0x7F) | 0x80);
    len >>= 7;
  }
  prefix[n++] = static_cast<char>(len);
  char* out = nullptr;
  const std::uint32_t offset = reserve(n + text.size(), out);
  if (offset == 0) return 0;
  std::memcpy(out, prefix, n);
  std::memcpy(out + n, text.data(), text.size());
  return offset;
}

std::string_view NodeArray::text_at(std::uint32_t offset) const {
  // An empty view that still points at a byte: readers may copy from it.
  if (offset == 0) return std::string_view("", 0);
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

// The name or value text of record i; made in `scratch` (24 bytes) when it is
// an element name, a summary or a packed number.
std::string_view NodeArray::text_of(std::size_t i, bool name, char* scratch) const {
  const Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  if (name) {
    if (b.flags[j] & kNameIndex) return std::string_view(scratch, format_index(scratch, b.name[j]));
    return text_at(b.name[j]);
  }
  const std::uint32_t v = b.value[j];
  switch ((b.flags[j] & kValueMask) >> kValueShift) {
    case kValueObjectSummary:
      return std::string_view(scratch, format_summary(scratch, '{', '}', static_cast<int>(v)));
    case kValueArraySummary:
      return std::string_view(scratch, format_summary(scratch, '[', ']', static_cast<int>(v)));
    case kValueNumber:
      return std::string_view(
          scratch, unpack_number(reinterpret_cast<const unsigned char*>(pages_[v >> kPageShift] +
                                                                        (v & (kPage - 1))),
                                 scratch));
    default:
      return text_at(v);
  }
}

void NodeArray::append_name(std::size_t i, std::string& out) const {
  char scratch[24];
  out.append(text_of(i, true, scratch));
}

void NodeArray::append_value(std::size_t i, std::string& out) const {
  char scratch[24];
  out.append(text_of(i, false, scratch));
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
  return text_of(i, true, scratch) == text;
}

bool NodeArray::value_is_empty(std::size_t i) const {
  const Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  return (b.flags[j] & kValueMask) == kValueText << kValueShift && b.value[j] == 0;
}

JsonNode NodeArray::get(std::size_t i) const {
  return JsonNode{name(i), value(i), depth(i), type(i), container(i)};
}

void NodeArray::set(std::size_t i, const JsonNode& node) {
  set_depth(i, node.depth);
  set_type(i, node.type);
  set_container(i, node.container);
  set_name(i, node.name);
  set_value(i, node.value);
}

void NodeArray::push_back(const JsonNode& node) {
  add(node.depth, node.type, node.container);
  set_name(size_ - 1, node.name);
  set_value(size_ - 1, node.value);
}

void NodeArray::set_name(std::size_t i, std::string_view text) {
  const std::uint32_t offset = store(text);
  Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  b.name[j] = offset;
  b.flags[j] = static_cast<std::uint8_t>(b.flags[j] & ~kNameIndex);
}

bool NodeArray::set_plain_number(std::size_t i, bool minus, std::uint64_t digits, int count,
                                 int point) {
  if (!packable(digits, count, point)) return false;
  const std::size_t size = packed_size(count);
  const std::uint8_t head = packed_head(minus, count, point);
  const std::uint64_t body = packed_body(digits, point);
  char* out = nullptr;
  std::uint32_t offset = 0;
  if constexpr (std::endian::native == std::endian::little) {
    if (!chunks_.empty() && chunks_.back().used + 9 <= chunks_.back().size) {
      // Room for the widest form: the body is written whole, and the bytes past
      // the packed size stay free for the next text.
      Chunk& c = chunks_.back();
      offset = static_cast<std::uint32_t>((c.first_page << kPageShift) + c.used);
      out = c.bytes.get() + c.used;
      c.used += size;
      out[0] = static_cast<char>(head);
      std::memcpy(out + 1, &body, 8);
    }
  }
  if (offset == 0) {
    offset = reserve(size, out);
    if (offset == 0) return false;
    out[0] = static_cast<char>(head);
    std::uint64_t m = body;
    for (std::size_t k = 1; k < size; ++k, m >>= 8)
      out[k] = static_cast<char>(m);
  }
  Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  b.value[j] = offset;
  b.flags[j] = static_cast<std::uint8_t>((b.flags[j] & ~kValueMask) | kValueNumber << kValueShift);
  return true;
}

bool NodeArray::set_plain_number(std::size_t i, std::string_view text) {
  std::uint8_t packed[10];
  const std::size_t size = pack_number(text, packed);
  if (size == 0) return false;
  char* out = nullptr;
  const std::uint32_t offset = reserve(size, out);
  if (offset == 0) return false;
  std::memcpy(out, packed, size);
  Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  b.value[j] = offset;
  b.flags[j] = static_cast<std::uint8_t>((b.flags[j] & ~kValueMask) | kValueNumber << kValueShift);
  return true;
}

void NodeArray::set_value(std::size_t i, std::string_view text) {
  if (set_plain_number(i, text)) return;
  const std::uint32_t offset = store(text);
  Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  b.value[j] = offset;
  b.flags[j] = static_cast<std::uint8_t>(b.flags[j] & ~kValueMask);
}

void NodeArray::insert_empty(std::size_t pos, std::size_t count) {
  if (pos > size_) pos = size_;
  const std::size_t old_size = size_;
  for (std::size_t k = 0; k < count; ++k)
    add(0, 0, 0);
  for (std::size_t i = old_size; i-- > pos;)
    move_record(i, i + count);
  for (std::size_t i = pos; i < pos + count; ++i) {
    Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    b.name[j] = 0;
    b.value[j] = 0;
    b.depth[j] = 0;
    b.flags[j] = 0;
  }
}

void NodeArray::erase(std::size_t pos, std::size_t count) {
  if (pos >= size_) return;
  count = std::min(count, size_ - pos);
  for (std::size_t i = pos + count; i < size_; ++i)
    move_record(i, i - count);
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
