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
  void append(char c) { bytes_.push_back(c); }
  void append(const char* data, std::size_t size) { bytes_.append(data, size); }
  void append(std::string_view text) { bytes_.append(text); }

  // The collected text. A text ends at its first zero byte, so bytes after a
  // zero are not part of it. The view is valid until the next change.
  std::string_view text() const {
    const void* zero = std::memchr(bytes_.data(), 0, bytes_.size());
    const std::size_t n =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes_.data())
             : bytes_.size();
    return std::string_view(bytes_.data(), n);
  }
  // A fresh copy of text(), owned by the caller.
  std::string take_text() const { return std::string(text()); }

  // Empties the builder.
  void clear() { bytes_.clear(); }

  // Every byte appended since the last clear(), zero bytes included.
  std::string_view raw() const { return bytes_; }

  bool operator==(const RapidString& other) const { return bytes_ == other.bytes_; }

 private:
  std::string bytes_;
};

}  // namespace json
