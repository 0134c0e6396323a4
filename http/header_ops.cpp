#include "http/header_ops.h"

#include <unordered_set>

#include "platform/codepage.h"

namespace http {
namespace {

using textops::Case;

// The 1-based position of the line's first ":", or -1.
int colon_position(std::string_view line) {
  return textops::find(line, ":");
}

}  // namespace

std::string header_line_name(std::string_view line) {
  const int colon = colon_position(line);
  if (colon == -1) return {};
  return textops::trim(textops::left(line, colon - 1));
}

std::string header_line_value(std::string_view line) {
  const int colon = colon_position(line);
  if (colon == -1) return {};
  const std::string_view text = textops::until_zero(line);
  return textops::trim(textops::right(text, static_cast<int>(text.size()) - colon));
}

std::string text_left_of(std::string_view text, std::string_view marker, int start, Case c) {
  const int p = textops::find(text, marker, start < 1 ? 1 : start, c);
  if (p == -1) return {};
  return textops::left(text, p - 1);
}

std::string text_between(std::string_view text, std::string_view left, std::string_view right,
                         int start, Case c) {
  static const std::string quote_word = platform::program_text("#引号");
  const std::string left_marker = textops::replace_all(left, quote_word, "\"");
  const std::string right_marker = textops::replace_all(right, quote_word, "\"");
  const int p = textops::find(text, left_marker, start, c);
  if (p == -1) return {};
  const int from = p + static_cast<int>(left_marker.size());
  const int d = textops::find(text, right_marker, from, c);
  if (d == -1) return {};
  return std::string(textops::until_zero(text).substr(from - 1, d - from));
}

std::string merge_cookies(std::string& old_cookies, std::string& new_cookies) {
  // 1. No spaces anywhere, in the caller's variables too.
  old_cookies = textops::remove_spaces(old_cookies);
  new_cookies = textops::remove_spaces(new_cookies);
  // 2. The response's entries come first; 3. old entries follow unless their
  // name is already there (which also drops later repeats of an old name).
  // The names taken so far are kept in a set, so a long cookie text costs
  // linear time, not a comparison of every pair of entries.
  std::vector<std::string> merged = textops::split(new_cookies, ";");
  std::unordered_set<std::string> names;
  for (const std::string& entry : merged)
    names.insert(cookie_name(entry));
  for (std::string& entry : textops::split(old_cookies, ";")) {
    if (names.insert(cookie_name(entry)).second) merged.push_back(std::move(entry));
  }
  // 4. Deleted cookies are left out; 5. the last "; " goes.
  std::string joined;
  for (const std::string& entry : merged) {
    if (textops::right(entry, 8) == "=deleted") continue;
    joined += entry;
    joined += "; ";
  }
  joined = textops::left(joined, static_cast<int>(joined.size()) - 2);
  // 6. Identical entries only once.
  old_cookies = join_unique(joined, "; ");
  return old_cookies;
}

std::string cookie_name(std::string_view entry) {
  const int eq = textops::find(entry, "=");
  return textops::trim(eq == -1 ? textops::until_zero(entry) : textops::left(entry, eq - 1));
}

bool cookie_list_has_name(const std::vector<std::string>& list, std::string_view name) {
  for (const std::string& entry : list) {
    if (cookie_name(entry) == name) return true;
  }
  return false;
}

std::string join_unique(std::string_view text, std::string_view separator) {
  std::unordered_set<std::string> kept;
  std::string out;
  for (std::string& piece : textops::split(text, separator)) {
    if (kept.contains(piece)) continue;
    out += piece;
    out += separator;
    kept.insert(std::move(piece));
  }
  return textops::left(out, static_cast<int>(out.size()) - static_cast<int>(separator.size()));
}

int list_index_of(const std::vector<std::string>& list, std::string_view item) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == item) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace http
