// The serializer: a node and its subtree back to JSON text, in one forward pass
// over the records with a stack of the containers still open.
#include <cstring>
#include <string>
#include <vector>

#include "json/json_document.h"

namespace json {

namespace {

// The growing output. Each node reserves room for everything it writes at
// once, so the writes themselves are plain copies.
class Output {
 public:
  explicit Output(std::size_t expected) { buffer_.resize(expected < 64 ? 64 : expected); }

  bool empty() const { return size_ == 0; }

  // Room for `n` more bytes.
  void reserve(std::size_t n) {
    if (buffer_.size() - size_ >= n) return;
    std::size_t grown = buffer_.size() * 2;
    if (grown < size_ + n) grown = size_ + n;
    buffer_.resize(grown);
  }
  void put(char c) { buffer_[size_++] = c; }
  void put(std::string_view s) {
    if (s.empty()) return;  // an empty text may have no bytes at all to copy from
    std::memcpy(buffer_.data() + size_, s.data(), s.size());
    size_ += s.size();
  }
  void tabs(int n) {
    std::memset(buffer_.data() + size_, '\t', static_cast<std::size_t>(n));
    size_ += static_cast<std::size_t>(n);
  }
  void line_break() {
    put('\r');
    put('\n');
  }
  // Moves what was written into `text`.
  void finish(std::string& text) {
    buffer_.resize(size_);
    text.swap(buffer_);
  }

 private:
  std::string buffer_;
  std::size_t size_ = 0;
};

char closing_bracket(std::uint8_t type) {
  return type == kObject ? '}' : ']';
}

}  // namespace

int JsonDocument::to_json_text(std::string_view path, int node_number, std::string& text,
                               bool pretty, int* found_number) const {
  const int n = resolve_node(path, node_number);
  if (found_number) *found_number = n;
  if (n == 0) return 0;

  const std::size_t s = static_cast<std::size_t>(n) - 1;
  const int d = nodes.depth(s);
  // The whole store's compact output is about as long as its texts plus a few
  // bytes of punctuation per node; a part of it starts small and grows.
  Output out(s == 0 ? nodes.text_bytes() + 4 * nodes.size() : 64);
  std::vector<std::uint8_t> open;  // types of the open containers, innermost last
  int indent = 0;
  int expected = d;  // depth of a node that continues the innermost container
  bool comma = false;
  int written = 0;
  char name_scratch[24];  // for texts that are not stored but made when read
  char value_scratch[24];

  // Closes the innermost container.
  auto close_one = [&] {
    --indent;
    out.reserve(static_cast<std::size_t>(indent) + 3);
    if (pretty) {
      out.line_break();
      out.tabs(indent);
    }
    out.put(closing_bracket(open.back()));
    open.pop_back();
  };

  const std::size_t size = nodes.size();
  for (std::size_t i = s; i < size; ++i) {
    const int depth = nodes.depth(i);
    // 1. The subtree ends at the first node that is not deeper than the selected one.
    if (i != s && depth <= d) break;
    // 2. Close what the node has left.
    if (depth < expected) {
      for (int k = expected - depth; k > 0 && !open.empty(); --k)
        close_one();
      expected = d + indent;
      comma = true;
    }

    const int type = nodes.type(i);
    const bool member = nodes.container(i) == kMember;
    const std::string_view name = member ? nodes.name_view(i, name_scratch) : std::string_view();
    const std::string_view value = type != kObject && type != kArray && type != kNull
                                       ? nodes.value_view(i, value_scratch)
                                       : std::string_view();
    out.reserve(name.size() + value.size() + 2 * static_cast<std::size_t>(indent) + 16);

    // 3. A comma after a complete value.
    if (comma) {
      out.put(',');
      if (pretty) out.line_break();
    }
    // 4. Indentation.
    if (pretty) out.tabs(indent);
    // 5. A member's name, as stored.
    if (member) {
      out.put('"');
      out.put(name);
      out.put('"');
      out.put(':');
      if (pretty) out.put('\t');
    }
    // 6. The value.
    switch (type) {
      case kObject:
      case kArray: {
        open.push_back(static_cast<std::uint8_t>(type));
        ++indent;
        ++expected;
        const char bracket = type == kObject ? '{' : '[';
        if (pretty && !out.empty()) {
          out.line_break();
          out.tabs(indent - 1);
        }
        out.put(bracket);
        if (pretty) out.line_break();
        comma = false;
        break;
      }
      case kString:
      case kUnclassified:
        out.put('"');
        out.put(value);
        out.put('"');
        comma = true;
        break;
      case kNull:
        out.put("null");
        comma = true;
        break;
      case kBoolean:
        for (const char c : value)
          out.put(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        comma = true;
        break;
      default:
        out.put(value);
        comma = true;
    }
    // 7.
    ++written;
  }

  while (!open.empty())
    close_one();
  if (written == 1) {
    out.reserve(2);
    out.line_break();
  }
  out.finish(text);
  return written;
}

}  // namespace json
