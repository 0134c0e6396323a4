// RapidString: the growable byte-text builder a JsonDocument collects member
// names and values in.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace json {

class RapidString {
 public:
  // Appends bytes; the builder grows as needed and keeps its capacity on clear().
  void append(char c) {
    if (c == 0 && zero_ == kNone) zero_ = bytes_.size();
    bytes_.push_back(c);
  }
  void append(const char* data, std::size_t size) {
    if (zero_ == kNone && size != 0) {
      if (const void* z = std::memchr(data, 0, size)) {
        zero_ = bytes_.size() + static_cast<std::size_t>(static_cast<const char*>(z) - data);
      }
    }
    bytes_.append(data, size);
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  // append() for bytes the caller knows hold no zero byte.
  void append_without_zero(const char* data, std::size_t size) { bytes_.append(data, size); }

  // The collected text. A text ends at its first zero byte, so bytes after a
  // zero are not part of it. The view is valid until the next change.
  std::string_view text() const {
    return std::string_view(bytes_.data(), zero_ == kNone ? bytes_.size() : zero_);
  }
  // A fresh copy of text(), owned by the caller.
  std::string take_text() const { return std::string(text()); }

  // Empties the builder.
  void clear() {
    bytes_.clear();
    zero_ = kNone;
  }

  // Every byte appended since the last clear(), zero bytes included.
  std::string_view raw() const { return bytes_; }

  bool operator==(const RapidString& other) const { return bytes_ == other.bytes_; }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::string bytes_;
  std::size_t zero_ = kNone;  // position of the first zero byte, if any
};

}  // namespace json
