// The text rules every module uses to search, replace, trim and split.
//
// Texts are code page 936 byte strings. A text ends at its first zero byte, as
// the system's NUL-terminated texts do, so bytes after a zero are never seen.
// Searching steps through a text one character at a time: a byte of 0x80 or more
// and the byte after it form one character, and an occurrence is recognised only
// where a character begins. Positions and lengths count bytes, positions are
// 1-based, and -1 means not found. Every function returns a fresh value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace textops {

enum class Case {
  exact,   // bytes compare exactly
  ignore,  // the ASCII letters A-Z and a-z compare equal regardless of case
};

// The text up to its first zero byte.
std::string_view until_zero(std::string_view text);

// Byte length of the character that begins at `i` (0-based): 2 for a byte of
// 0x80 or more with a byte after it, else 1.
inline size_t char_length(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
}

// First occurrence of `needle` at or after `start` (1 or less means the
// beginning); -1 when there is none. An empty needle is found at position 1 of
// any non-empty text and nowhere in an empty one.
int find(std::string_view text, std::string_view needle, int start = 1, Case c = Case::exact);

// Last (rightmost) occurrence of `needle` that lies wholly within the text's
// first `limit` bytes (the whole text when `limit` is negative); -1 when none.
// A lead byte that ends the region is not a character: the scan stops there.
int find_last(std::string_view text, std::string_view needle, Case c = Case::exact, int limit = -1);

// Every occurrence of `from` replaced by `to`: one pass from left to right,
// without overlaps, the replacement not scanned again. An empty `from` replaces
// nothing.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to,
                        Case c = Case::exact);

// Spaces are the ASCII space 0x20 and the full-width space, bytes A1 A1.
std::string trim(std::string_view text);           // spaces at both ends removed
std::string remove_spaces(std::string_view text);  // every space removed

// Pieces between separators: empty pieces kept between adjacent separators and
// before a leading one, none after a trailing one, none for an empty text. An
// empty separator gives the whole text as the one piece.
std::vector<std::string> split(std::string_view text, std::string_view separator);

// The first / last n bytes; n of 0 or less gives "", more than the text holds
// gives the whole text.
std::string left(std::string_view text, int n);
std::string right(std::string_view text, int n);

// The ASCII letters A-Z lowered, stepping by characters so that the trail byte
// of a double-byte character is never changed.
std::string lower_ascii(std::string_view text);

}  // namespace textops
