// Fuzzes the answer decoding with the script and stream servers behind it.
// Checked: no crash, the apartment is ended on every path, and the stream
// reading gives at most one character per two bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/apartment.h"
#include "text/bytes.h"
#include "text/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string decoded = textops::decode_unicode_escapes(input);
  check(platform::apartment_depth() == 0);
  const std::string read = textops::utf16_bytes_to_text(Bytes(data, data + size));
  check(platform::apartment_depth() == 0);
  check(read.size() <= size);  // each code unit gives at most two bytes
  (void)decoded;
  return 0;
}
