#include "json/json_module.h"

#include <exception>
#include <limits>

#include "platform/codepage.h"

namespace json {

bool is_json_number(std::string_view t) {
  if (t.empty()) return false;
  if (t[0] != '-' && (t[0] < '0' || t[0] > '9')) return false;
  bool point = false;
  bool exponent = false;
  for (std::size_t i = 1; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') continue;
    if (c == '.' && !point && !exponent && i + 1 < t.size()) {
      point = true;
      continue;
    }
    // An exponent needs its sign right after it and at least one byte after the sign.
    if ((c == 'e' || c == 'E') && !exponent && i + 2 < t.size() &&
        (t[i + 1] == '+' || t[i + 1] == '-')) {
      exponent = true;
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

namespace {

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string decode_json_escapes(std::string_view source) {
  std::string out;
  out.reserve(source.size());
  std::size_t i = 0;
  const std::size_t n = source.size();
  while (i < n) {
    const char c = source[i];
    if (c != '\\') {
      out.push_back(c);
      ++i;
      continue;
    }
    // An escape: a lone backslash at the end is dropped.
    if (i + 1 >= n) break;
    const char e = source[i + 1];
    switch (e) {
      case '"':
      case '/':
      case '\\':
        out.push_back(e);
        i += 2;
        continue;
      case 'b':
        out.push_back('\b');
        i += 2;
        continue;
      case 'f':
        out.push_back('\f');
        i += 2;
        continue;
      case 'n':
        out.push_back('\n');
        i += 2;
        continue;
      case 'r':
        out.push_back('\r');
        i += 2;
        continue;
      case 't':
        out.push_back('\t');
        i += 2;
        continue;
      case 'u':
        break;
      default:
        out.push_back('\\');
        out.push_back(e);
        i += 2;
        continue;
    }
    // A Unicode escape: four hex digits make one UTF-16 code unit.
    unsigned unit = 0;
    std::size_t k = 0;
    for (; k < 4 && i + 2 + k < n; ++k) {
      const int h = hex_value(static_cast<unsigned char>(source[i + 2 + k]));
      if (h < 0) break;
      unit = unit * 16 + static_cast<unsigned>(h);
    }
    if (k == 4) {
      char bytes[2];
      const int len = platform::wide_char_to_multi_byte(static_cast<char16_t>(unit), bytes);
      out.append(bytes, static_cast<std::size_t>(len));
      i += 6;
    } else if (i + 2 + k >= n) {
      break;  // cut short by the end of the source: dropped
    } else {
      // A byte that is no hex digit: "\u" stays, reading resumes after the "u".
      out.append("\\u");
      i += 2;
    }
  }
  return out;
}

std::string encode_json_escapes(std::string_view source, bool unicode, bool escape_slash) {
  std::string out;
  try {
    out.reserve(source.size() * 3);
  } catch (const std::exception&) {  // bad_alloc, or length_error past max_size()
    return "";
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  bool holding = false;  // the first half of a double-byte character is held
  char held = 0;
  for (const char c : source) {
    const auto b = static_cast<unsigned char>(c);
    if (unicode && b >= 0x80) {
      if (!holding) {
        held = c;
        holding = true;
        continue;
      }
      const char pair[2] = {held, c};
      const char16_t unit = platform::multi_byte_to_wide_char(pair, 2);
      holding = false;
      const char escape[6] = {'\\',
                              'u',
                              kHex[(unit >> 12) & 0xF],
                              kHex[(unit >> 8) & 0xF],
                              kHex[(unit >> 4) & 0xF],
                              kHex[unit & 0xF]};
      out.append(escape, sizeof escape);
      continue;
    }
    switch (c) {
      case '\b':
        out += "\\b";
        break;
      case '/':
        out += escape_slash ? "\\/" : "/";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

// The number `t` spells as "0" or a positive decimal without a leading zero
// that fits in an int; -1 otherwise.
int plain_index(std::string_view t) {
  if (t.empty() || t.size() > 10) return -1;
  if (t[0] == '0') return t.size() == 1 ? 0 : -1;
  long long v = 0;
  for (const char c : t) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v <= std::numeric_limits<int>::max() ? static_cast<int>(v) : -1;
}

}  // namespace

int parse_index_text(std::string_view text) {
  const int whole = plain_index(text);
  if (whole >= 0) return whole;
  if (text.size() < 2) return -1;
  return plain_index(text.substr(1, text.size() - 2));
}

}  // namespace json
