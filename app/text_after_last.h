// The text after the last occurrence of a marker: how the lookup takes the
// product id out of a link.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace app {

// Everything after the rightmost occurrence of `marker` in `text`, as a fresh
// text; "" when there is none or nothing follows it. Texts end at their first
// zero byte.
// - start_position (1-based): when given, only occurrences lying wholly within
//   the text's first start_position - 1 bytes count (none for 1 or less).
// - ignore_case: the ASCII letters compare equal regardless of case.
// Occurrences begin only where a character begins (a byte of 0x80 or more and
// the byte after it are one character). An empty marker is found at position 1
// of a non-empty region, giving the whole text.
std::string text_after_last(std::string_view text, std::string_view marker,
                            std::optional<int> start_position = std::nullopt,
                            bool ignore_case = false);

}  // namespace app
