// Variant: a value that crosses the automation seam.
//
// Texts cross as UTF-16 (converted from and to code page 936 by the helpers
// below), byte arrays as bytes, numbers as 32-bit integers or doubles.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "text/bytes.h"

namespace automation {

class Variant {
 public:
  using Value = std::variant<std::monostate, bool, std::int32_t, double, std::u16string, Bytes>;

  Variant() = default;
  Variant(bool b) : value_(b) {}
  Variant(std::int32_t i) : value_(i) {}
  Variant(double d) : value_(d) {}
  Variant(std::u16string s) : value_(std::move(s)) {}
  Variant(Bytes b) : value_(std::move(b)) {}

  // A code page 936 text, converted to UTF-16.
  static Variant from_text(std::string_view text);

  bool empty() const { return std::holds_alternative<std::monostate>(value_); }
  bool is_text() const { return std::holds_alternative<std::u16string>(value_); }
  bool is_bytes() const { return std::holds_alternative<Bytes>(value_); }
  bool is_number() const {
    return std::holds_alternative<std::int32_t>(value_) || std::holds_alternative<double>(value_);
  }
  const Value& value() const { return value_; }

  // The wide text held, or "" for any other kind.
  const std::u16string& wide() const;
  // A text in code page 936 (unmappable characters become "?"); a number as its
  // decimal form; "" for anything else.
  std::string to_text() const;
  // A number (a logical as 0 or -1, as the platform has it); 0 for anything else.
  double to_number() const;
  // The contents of a byte array; empty for anything else. A temporary gives
  // up its bytes instead of copying them.
  Bytes to_bytes() const&;
  Bytes to_bytes() &&;

  bool operator==(const Variant&) const = default;

 private:
  Value value_;
};

}  // namespace automation
