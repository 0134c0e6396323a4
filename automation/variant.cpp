#include "automation/variant.h"

#include <cstdio>

#include "platform/codepage.h"

namespace automation {

Variant Variant::from_text(std::string_view text) {
  return Variant(platform::cp936_to_utf16(text));
}

const std::u16string& Variant::wide() const {
  static const std::u16string empty_text;
  const auto* s = std::get_if<std::u16string>(&value_);
  return s ? *s : empty_text;
}

std::string Variant::to_text() const {
  if (const auto* s = std::get_if<std::u16string>(&value_)) return platform::utf16_to_cp936(*s);
  if (const auto* i = std::get_if<std::int32_t>(&value_)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&value_)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", *d);
    return buf;
  }
  return {};
}

double Variant::to_number() const {
  if (const auto* i = std::get_if<std::int32_t>(&value_)) return *i;
  if (const auto* d = std::get_if<double>(&value_)) return *d;
  if (const auto* b = std::get_if<bool>(&value_)) return *b ? -1 : 0;
  return 0;
}

Bytes Variant::to_bytes() const& {
  const auto* b = std::get_if<Bytes>(&value_);
  return b ? *b : Bytes{};
}

Bytes Variant::to_bytes() && {
  auto* b = std::get_if<Bytes>(&value_);
  return b ? std::move(*b) : Bytes{};
}

}  // namespace automation
