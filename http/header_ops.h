// Header, cookie and list operations used by http_request.
//
// Plain functions over code page 936 texts (std::string); each returns a fresh
// value. Searching, trimming and splitting follow the text rules of
// text/text_rules.h: positions are 1-based, a start of 1 or less means the
// beginning, and only the ASCII letters fold when case is ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/text_rules.h"

namespace http {

// The name of a header line: the text before its first ":", trimmed; "" when
// the line holds no ":".
std::string header_line_name(std::string_view line);
// The value of a header line: everything after its first ":", trimmed (later
// colons stay); "" when the line holds no ":".
std::string header_line_value(std::string_view line);

// The text's bytes before the first occurrence of `marker` found from `start`
// on (counted from the beginning of the text, not from `start`); "" when the
// marker is not found.
std::string text_left_of(std::string_view text, std::string_view marker, int start = 1,
                         textops::Case c = textops::Case::exact);

// The bytes between the first `left` found from `start` and the first `right`
// after it, untrimmed; "" when either is missing. In both markers "#引号"
// stands for one double-quote character.
std::string text_between(std::string_view text, std::string_view left, std::string_view right,
                         int start = 1, textops::Case c = textops::Case::exact);

// Merges the cookies a response set (`new_cookies`, like "a=1;b=2;") into the
// caller's cookie text: a name set anew replaces the old entry, of repeated old
// names only the first stays, entries ending in "=deleted" go, and entries are
// joined by "; " without repeats. Both inputs lose all their spaces in place;
// the result is stored in `old_cookies` and returned.
std::string merge_cookies(std::string& old_cookies, std::string& new_cookies);

// The name of a cookie entry: the trimmed text before its first "=", or the
// whole entry trimmed when it holds none.
std::string cookie_name(std::string_view entry);

// True when some entry of `list` has exactly the cookie name `name`.
bool cookie_list_has_name(const std::vector<std::string>& list, std::string_view name);

// The text's pieces between `separator`s, each kept only the first time it
// occurs, joined again by `separator`.
std::string join_unique(std::string_view text, std::string_view separator);

// The 1-based index of the first entry equal to `item`, or -1.
int list_index_of(const std::vector<std::string>& list, std::string_view item);

}  // namespace http
