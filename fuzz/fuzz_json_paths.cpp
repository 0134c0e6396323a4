// Fuzzes path resolution and the getters. The input is split at its first 0x01
// byte into a document (parsed leniently) and a path; the byte after the path's
// end, when there is one, chooses `start`.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "json/json_document.h"
#include "json/json_module.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\x01');
  const std::string_view document = input.substr(0, cut);
  std::string_view path = cut == std::string_view::npos ? "" : input.substr(cut + 1);
  int start = 0;
  if (const size_t second = path.find('\x01'); second != std::string_view::npos) {
    start = second + 1 < path.size() ? static_cast<unsigned char>(path[second + 1]) % 16 : 0;
    path = path.substr(0, second);
  }

  json::JsonDocument doc;
  doc.parse_text(document);
  const int count = doc.node_count();
  for (const bool relative : {false, true}) {
    const int found = doc.find_node(path, start, relative);
    check(found >= 0 && found <= count);
    if (found > 0) check(found >= start || (relative && start >= 2 && found >= start));
  }

  int found = -1;
  int type = -7;
  const std::string value = doc.get_value(path, 0, &type, false, &found);
  check(found == doc.find_node(path));
  if (found == 0) {
    check(value.empty() && type == -7);
  } else {
    check(value == doc.get_value("", found));
    check(type == doc.get_node("", found).type);
  }
  const std::string decoded = doc.get_value(path, 0, nullptr, true);
  check(decoded.size() <= value.size() || type != json::kString);

  // The escape decoder never writes more than it reads.
  check(json::decode_json_escapes(path).size() <= path.size());
  check(json::decode_json_escapes(document).size() <= document.size());
  return 0;
}
