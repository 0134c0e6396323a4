// Routines of the JSON module that stand outside JsonDocument.
#pragma once

#include <string>
#include <string_view>

namespace json {

// The number test of the parser (and of set_value): not empty, the first byte
// "-" or a digit, then digits, at most one "." that is not the last byte, and at
// most one exponent "e"/"E" that is followed by "+" or "-" and at least one more
// byte. So "-", "007" and "1.5e+3" are numbers; "1e5", "+1", ".5" and "1." are not.
bool is_json_number(std::string_view text);

// A stored string value with its escapes decoded: \" \/ \\ \b \f \n \r \t and
// \uXXXX (one UTF-16 code unit converted on its own to code page 936, "?" when
// the code page lacks it). An unknown escape \c stays as the two bytes; a \u
// whose four hex digits are cut short stays as "\u" and the bytes after it are
// read afresh; an escape left unfinished at the end is dropped. Never longer
// than the source.
std::string decode_json_escapes(std::string_view source);

// `source` escaped for storing as a JSON string value or member name: a quote,
// backslash, BS, FF, LF, CR and TAB become \" \\ \b \f \n \r \t, other bytes are
// copied. With `escape_slash` "/" becomes \/. With `unicode` each pair of bytes
// of 128 or more (a double-byte character; ASCII bytes between its halves are
// handled on their own) becomes \uXXXX, its UTF-16 code unit in upper-case hex;
// a lone first half at the end is dropped. At most three times the source's
// length; "" when that much memory cannot be had.
std::string encode_json_escapes(std::string_view source, bool unicode = false,
                                bool escape_slash = false);

// The array index a text names: "0", or a positive decimal integer that fits a
// signed 32-bit int (digits only: no sign, leading zero or space), read either
// as the whole text or as the text without its first and last byte. So "5",
// "[5]" and "(5)" give 5; "05", "-1", "[ 5 ]" and "" give -1.
int parse_index_text(std::string_view text);

}  // namespace json
