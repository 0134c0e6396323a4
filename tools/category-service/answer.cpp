#include "answer.h"

#include "platform/codepage.h"

namespace category_service {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decoding of one form name or value; nullopt for a broken escape.
std::optional<std::string> form_decode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%') {
      if (i + 2 >= s.size()) return std::nullopt;
      const int hi = hex_value(s[i + 1]), lo = hex_value(s[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::optional<std::vector<std::string>> parse_ids(std::string_view body) {
  std::vector<std::string> ids;
  bool found = false;
  while (!body.empty()) {
    const size_t amp = body.find('&');
    const std::string_view pair = body.substr(0, amp);
    body.remove_prefix(amp == std::string_view::npos ? body.size() : amp + 1);
    if (pair.empty()) continue;

    const size_t eq = pair.find('=');
    const auto name = form_decode(pair.substr(0, eq));
    const auto value =
        form_decode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
    if (!name || !value) return std::nullopt;
    if (*name == "ids[]") {
      found = true;
      ids.push_back(*value);
    }
  }
  if (!found) return std::nullopt;
  return ids;
}

std::string json_string(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char16_t unit : platform::utf8_to_utf16(utf8)) {
    if (unit == u'"' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
    }
  }
  out += '"';
  return out;
}

std::string answer_json(const Catalog& catalog, const std::vector<std::string>& ids) {
  std::string out = "[";
  for (const auto& id : ids) {
    const Product* p = catalog.find(id);
    if (p == nullptr) continue;
    if (out.size() > 1) out += ',';
    out += "{\"cat_id\":" + json_string(p->cat_id) + ",\"cat_name\":" + json_string(p->cat_name) +
           ",\"id\":" + json_string(p->id) + "}";
  }
  out += ']';
  return out;
}

}  // namespace category_service
