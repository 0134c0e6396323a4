// Fuzzes the header and cookie operations. The input is split at 0x01 bytes
// into an old cookie text, a new cookie text and a header line.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "http/header_ops.h"
#include "text/text_rules.h"

namespace {

std::string_view piece(std::string_view input, int k) {
  for (int i = 0; i < k; ++i) {
    const size_t cut = input.find('\x01');
    if (cut == std::string_view::npos) return {};
    input = input.substr(cut + 1);
  }
  return input.substr(0, input.find('\x01'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string old_cookies(textops::until_zero(piece(input, 0)));
  std::string new_cookies(textops::until_zero(piece(input, 1)));
  const std::string line(textops::until_zero(piece(input, 2)));

  const std::string merged = http::merge_cookies(old_cookies, new_cookies);
  check(merged == old_cookies);
  check(new_cookies == textops::remove_spaces(new_cookies));
  // The merged text lists each entry once, none of them deleted.
  std::set<std::string> seen;
  for (const std::string& entry : textops::split(merged, "; ")) {
    check(seen.insert(entry).second);
    check(entry.size() < 8 || entry.substr(entry.size() - 8) != "=deleted");
  }

  const std::string name = http::header_line_name(line);
  const std::string value = http::header_line_value(line);
  check(name == textops::trim(name) && value == textops::trim(value));
  check(name.size() + value.size() <= line.size());
  if (textops::find(line, ":") == -1) check(name.empty() && value.empty());
  return 0;
}
