// Fuzzes the text rules: the input is split at its first two 0x01 bytes into a
// text, a needle and a third text, and each rule's invariants are checked.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/text_rules.h"

namespace {

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i) out += separator;
    out += pieces[i];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t a = input.find('\x01');
  const size_t b = a == std::string_view::npos ? a : input.find('\x01', a + 1);
  const std::string_view text = textops::until_zero(input.substr(0, a));
  const std::string_view needle =
      a == std::string_view::npos ? "" : textops::until_zero(input.substr(a + 1, b - a - 1));
  const std::string_view other =
      b == std::string_view::npos ? "" : textops::until_zero(input.substr(b + 1));

  // find: a hit is a real occurrence; searching on from just after it finds the next one.
  for (const auto c : {textops::Case::exact, textops::Case::ignore}) {
    const int p = textops::find(text, needle, 1, c);
    check(p == -1 || (p >= 1 && static_cast<size_t>(p) + needle.size() - 1 <= text.size()));
    if (c == textops::Case::exact && p > 0 && !needle.empty()) {
      check(text.substr(p - 1, needle.size()) == needle);
    }
    const int last = textops::find_last(text, needle, c);
    check((p == -1) == (last == -1));
    check(last == -1 || last >= p);
  }

  // replace_all: replacing a needle by itself changes nothing.
  check(textops::replace_all(text, needle, needle) == text);
  const std::string replaced = textops::replace_all(text, needle, other);
  if (!needle.empty() && textops::find(text, needle) == -1) check(replaced == text);

  // split: joining the pieces gives the text back, less a trailing separator.
  if (!needle.empty()) {
    const std::string joined = join(textops::split(text, needle), needle);
    check(joined == text || joined + std::string(needle) == text);
  }

  // trim and remove_spaces agree on what a space is.
  const std::string trimmed = textops::trim(text);
  check(textops::remove_spaces(trimmed) == textops::remove_spaces(text));
  check(textops::trim(trimmed) == trimmed);
  check(trimmed.size() <= text.size());
  check(textops::lower_ascii(text).size() == text.size());
  return 0;
}
