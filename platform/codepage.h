// Code page 936 (the system's ANSI code page) and its conversions.
//
// What Windows provides through WideCharToMultiByte / MultiByteToWideChar on the
// ANSI code page 936, built here from glibc's iconv tables once per process.
// Every function is thread-safe and never fails: a character that cannot be
// converted becomes "?".
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The default character both directions use for what cannot be converted.
inline constexpr char kDefaultChar = '?';

// True for a byte that begins a double-byte character (0x81..0xFE).
constexpr bool is_lead_byte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

// One UTF-16 code unit to code page 936, as WideCharToMultiByte does: writes one
// byte for ASCII and the single-byte euro sign, two for a double-byte character,
// "?" for a code unit the code page cannot hold (lone surrogates included).
// Returns the number of bytes written to out (1 or 2).
int wide_char_to_multi_byte(char16_t unit, char out[2]);

// One character of code page 936 to UTF-16, as MultiByteToWideChar does.
// `bytes` holds `count` (1 or 2) bytes: a single byte, or a lead and a trail byte.
// A pair the code page does not define, a lone lead byte, or an undefined single
// byte gives u'?'.
char16_t multi_byte_to_wide_char(const char* bytes, int count);

// Whole texts. A lead byte whose next byte cannot be a trail byte (or that ends
// the text) converts to "?" on its own and the next byte is read afresh.
std::u16string cp936_to_utf16(std::string_view text);
std::string utf16_to_cp936(std::u16string_view text);

// UTF-8 <-> code page 936, for the window and for program texts written in the
// source. Invalid UTF-8 sequences and unmappable characters become "?".
std::string cp936_to_utf8(std::string_view text);
std::string utf8_to_cp936(std::string_view utf8);

// UTF-16 <-> UTF-8 (surrogate pairs joined; a lone surrogate becomes U+FFFD).
std::string utf16_to_utf8(std::u16string_view text);
std::u16string utf8_to_utf16(std::string_view utf8);

// A program text written as a UTF-8 literal in the source, in code page 936.
// Use it through a function-local static so the conversion runs once:
//   static const std::string caption = platform::program_text("查询");
inline std::string program_text(std::string_view utf8) {
  return utf8_to_cp936(utf8);
}

}  // namespace platform
