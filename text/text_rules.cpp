#include "text/text_rules.h"

#include <cstring>

namespace textops {
namespace {

constexpr unsigned char kWideSpaceByte = 0xA1;

unsigned char fold(unsigned char b) {
  return b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b;
}

// Whether `needle` occurs at byte offset `at` of `text`. With Case::ignore the
// needle is walked by characters so that only single-byte characters fold.
bool matches_at(std::string_view text, size_t at, std::string_view needle, Case c) {
  if (at + needle.size() > text.size()) return false;
  if (c == Case::exact) return std::memcmp(text.data() + at, needle.data(), needle.size()) == 0;
  for (size_t k = 0; k < needle.size();) {
    const auto a = static_cast<unsigned char>(text[at + k]);
    const auto b = static_cast<unsigned char>(needle[k]);
    if (b >= 0x80 && k + 1 < needle.size()) {
      if (a != b || text[at + k + 1] != needle[k + 1]) return false;
      k += 2;
    } else {
      if (fold(a) != fold(b)) return false;
      k += 1;
    }
  }
  return true;
}

// Length of the space character at `i`, 0 when none begins there.
size_t space_at(std::string_view text, size_t i) {
  if (text[i] == ' ') return 1;
  if (static_cast<unsigned char>(text[i]) == kWideSpaceByte && i + 1 < text.size() &&
      static_cast<unsigned char>(text[i + 1]) == kWideSpaceByte) {
    return 2;
  }
  return 0;
}

// A byte of 0x80 or more that ends the text is no character: scans stop there.
bool is_lone_lead(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 == text.size();
}

}  // namespace

std::string_view until_zero(std::string_view text) {
  if (text.empty()) return text;
  const void* zero = std::memchr(text.data(), 0, text.size());
  return zero ? text.substr(0, static_cast<const char*>(zero) - text.data()) : text;
}

int find(std::string_view text, std::string_view needle, int start, Case c) {
  text = until_zero(text);
  needle = until_zero(needle);
  if (text.empty()) return -1;
  if (needle.empty()) return 1;
  for (size_t i = start > 1 ? static_cast<size_t>(start) - 1 : 0; i < text.size();
       i += char_length(text, i)) {
    if (is_lone_lead(text, i)) break;
    if (matches_at(text, i, needle, c)) return static_cast<int>(i) + 1;
  }
  return -1;
}

int find_last(std::string_view text, std::string_view needle, Case c, int limit) {
  text = until_zero(text);
  needle = until_zero(needle);
  // Characters are told apart over the whole text; the limit only bounds where
  // an occurrence may end.
  const size_t region = limit >= 0 && static_cast<size_t>(limit) < text.size()
                            ? static_cast<size_t>(limit)
                            : text.size();
  if (region == 0) return -1;
  if (needle.empty()) return 1;
  int found = -1;
  for (size_t i = 0; i + needle.size() <= region; i += char_length(text, i)) {
    if (is_lone_lead(text, i)) break;
    if (matches_at(text, i, needle, c)) found = static_cast<int>(i) + 1;
  }
  return found;
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to, Case c) {
  text = until_zero(text);
  from = until_zero(from);
  to = until_zero(to);
  if (from.empty()) return std::string(text);
  // Untouched runs are copied in one piece when a match ends them.
  const auto first = static_cast<unsigned char>(from[0]);
  const bool fold_first = c == Case::ignore && first < 0x80;
  std::string out;
  out.reserve(text.size());
  size_t copied = 0;
  size_t i = 0;
  while (i < text.size() && !is_lone_lead(text, i)) {
    const auto b = static_cast<unsigned char>(text[i]);
    const bool may_match = fold_first ? fold(b) == fold(first) : b == first;
    if (may_match && matches_at(text, i, from, c)) {
      out.append(text.substr(copied, i - copied));
      out.append(to);
      i += from.size();
      copied = i;
    } else {
      i += char_length(text, i);
    }
  }
  out.append(text.substr(copied));
  return out;
}

std::string trim(std::string_view text) {
  text = until_zero(text);
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t s = space_at(text, begin);
    if (s == 0) break;
    begin += s;
  }
  // The end of the last character that is not a space, found walking forwards
  // so that character boundaries are respected.
  size_t end = begin;
  for (size_t i = begin; i < text.size();) {
    const size_t s = space_at(text, i);
    if (s != 0) {
      i += s;
    } else {
      i += char_length(text, i);
      end = i;
    }
  }
  return std::string(text.substr(begin, end - begin));
}

std::string remove_spaces(std::string_view text) {
  text = until_zero(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t s = space_at(text, i);
    if (s != 0) {
      i += s;
      continue;
    }
    const size_t n = char_length(text, i);
    out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
  text = until_zero(text);
  separator = until_zero(separator);
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t piece_start = 0;
  size_t i = 0;
  while (i < text.size() && !is_lone_lead(text, i)) {
    if (matches_at(text, i, separator, Case::exact)) {
      pieces.emplace_back(text.substr(piece_start, i - piece_start));
      i += separator.size();
      piece_start = i;
    } else {
      i += char_length(text, i);
    }
  }
  if (piece_start < text.size()) pieces.emplace_back(text.substr(piece_start));
  return pieces;
}

std::string left(std::string_view text, int n) {
  text = until_zero(text);
  if (n <= 0) return {};
  return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string right(std::string_view text, int n) {
  text = until_zero(text);
  if (n <= 0) return {};
  const size_t k = static_cast<size_t>(n) < text.size() ? static_cast<size_t>(n) : text.size();
  return std::string(text.substr(text.size() - k));
}

std::string lower_ascii(std::string_view text) {
  text = until_zero(text);
  std::string out(text);
  for (size_t i = 0; i < out.size(); i += char_length(out, i)) {
    out[i] = static_cast<char>(fold(static_cast<unsigned char>(out[i])));
  }
  return out;
}

}  // namespace textops
