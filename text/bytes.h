// Bytes: a counted byte buffer that may hold zero bytes, distinct from text.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Bytes taken as text end at the first zero byte (all of them when there is none).
inline std::string bytes_to_text(const Bytes& bytes) {
  const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  const size_t n = zero ? static_cast<const std::uint8_t*>(zero) - bytes.data() : bytes.size();
  return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

// A text taken as bytes: its bytes, with no terminating zero.
inline Bytes text_to_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}
