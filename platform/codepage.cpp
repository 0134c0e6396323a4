#include "platform/codepage.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <memory>

namespace platform {
namespace {

// Move-only owner of an iconv descriptor.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(cd_);
  }
  Iconv(Iconv&& other) noexcept : cd_(other.cd_) { other.cd_ = reinterpret_cast<iconv_t>(-1); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  Iconv& operator=(Iconv&&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in` whole; returns the number of output bytes, or -1 when iconv
  // rejects the input.
  int convert(const char* in, size_t in_len, char* out, size_t out_len) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    char* dst = out;
    size_t out_left = out_len;
    if (iconv(cd_, &src, &in_len, &dst, &out_left) == static_cast<size_t>(-1) || in_len != 0) {
      return -1;
    }
    return static_cast<int>(out_len - out_left);
  }

 private:
  iconv_t cd_;
};

constexpr std::uint16_t kUnmapped = 0;

struct Tables {
  std::array<char16_t, 256> single{};       // single byte -> code unit, 0 = undefined
  std::array<char16_t, 65536> pair{};       // (lead << 8 | trail) -> code unit, 0 = undefined
  std::array<std::uint16_t, 65536> wide{};  // code unit -> byte or (lead << 8 | trail)

  Tables() {
    for (int b = 0; b < 0x80; ++b)
      single[b] = static_cast<char16_t>(b);
    Iconv to_wide("UTF-16LE", "CP936");
    if (to_wide.valid()) {
      char out[8];
      for (int b = 0x80; b <= 0xFF; ++b) {
        const char in = static_cast<char>(b);
        if (to_wide.convert(&in, 1, out, sizeof out) == 2) single[b] = decode_le(out);
      }
      for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
          if (trail == 0x7F) continue;
          const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
          if (to_wide.convert(in, 2, out, sizeof out) == 2)
            pair[lead << 8 | trail] = decode_le(out);
        }
      }
    }
    // The reverse direction: the first double-byte form found for a code unit wins,
    // and single bytes take precedence over any pair.
    wide.fill(kUnmapped);
    for (int code = 0x8140; code <= 0xFEFE; ++code) {
      const char16_t u = pair[code];
      if (u != 0 && wide[u] == kUnmapped) wide[u] = static_cast<std::uint16_t>(code);
    }
    for (int b = 0; b < 256; ++b) {
      if (b == 0 || single[b] != 0) wide[single[b]] = static_cast<std::uint16_t>(b);
    }
  }

  static char16_t decode_le(const char* p) {
    return static_cast<char16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1])
                                                                        << 8);
  }
};

const Tables& tables() {
  // Built once, on first use, by whichever thread gets here first.
  static const std::unique_ptr<Tables> t = std::make_unique<Tables>();
  return *t;
}

bool is_trail_byte(unsigned char b) {
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads one code point from UTF-8 at `i`, advancing it; invalid input gives
// U+FFFD and advances one byte.
char32_t next_utf8(std::string_view s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1, c = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2, c = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + extra >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = c << 6 | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += extra + 1;
  return c;
}

}  // namespace

int wide_char_to_multi_byte(char16_t unit, char out[2]) {
  const std::uint16_t code = tables().wide[unit];
  if (code == kUnmapped && unit != 0) {
    out[0] = kDefaultChar;
    return 1;
  }
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  out[0] = static_cast<char>(code >> 8);
  out[1] = static_cast<char>(code & 0xFF);
  return 2;
}

char16_t multi_byte_to_wide_char(const char* bytes, int count) {
  if (count <= 0) return u'?';
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (count == 1 || !is_lead_byte(lead)) {
    const char16_t u = tables().single[lead];
    return (u != 0 || lead == 0) && !is_lead_byte(lead) ? u : u'?';
  }
  const char16_t u = tables().pair[lead << 8 | static_cast<unsigned char>(bytes[1])];
  return u != 0 ? u : u'?';
}

std::u16string cp936_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (is_lead_byte(b) && i + 1 < text.size() &&
        is_trail_byte(static_cast<unsigned char>(text[i + 1]))) {
      out += multi_byte_to_wide_char(text.data() + i, 2);
      i += 2;
    } else {
      out += multi_byte_to_wide_char(text.data() + i, 1);
      i += 1;
    }
  }
  return out;
}

std::string utf16_to_cp936(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  char buf[2];
  for (char16_t u : text)
    out.append(buf, wide_char_to_multi_byte(u, buf));
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t c = next_utf8(utf8, i);
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string cp936_to_utf8(std::string_view text) {
  return utf16_to_utf8(cp936_to_utf16(text));
}

std::string utf8_to_cp936(std::string_view utf8) {
  return utf16_to_cp936(utf8_to_utf16(utf8));
}

}  // namespace platform
