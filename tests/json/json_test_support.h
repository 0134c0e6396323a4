// Helpers shared by the JSON tests: parsing one input every way the parser can
// be fed, and comparing the results.
#pragma once

#include <cstdint>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_document.h"
#include "platform/codepage.h"

namespace json_test {

// Code page 936 bytes of a UTF-8 literal.
inline std::string cp(std::string_view utf8) {
  return platform::utf8_to_cp936(utf8);
}

inline std::span<const std::uint8_t> as_bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct Options {
  bool strict = false;
  bool top_level_naming = false;
};

// A reset document fed `pieces` in order, each through the byte loop in `scan`.
inline json::JsonDocument parse_pieces(const std::vector<std::string_view>& pieces, Options o,
                                       json::Scan scan) {
  json::JsonDocument d;
  d.reset();
  for (std::string_view piece : pieces)
    d.feed(as_bytes(piece), o.strict, o.top_level_naming, scan);
  return d;
}

inline json::JsonDocument parse_whole(std::string_view input, Options o,
                                      json::Scan scan = json::Scan::in_runs) {
  return parse_pieces({input}, o, scan);
}

// `input` cut at random places into up to `max_pieces` pieces.
inline std::vector<std::string_view> random_split(std::string_view input, std::mt19937& rng,
                                                  int max_pieces) {
  std::vector<std::string_view> pieces;
  std::size_t at = 0;
  const int count = std::uniform_int_distribution<int>(1, max_pieces)(rng);
  for (int i = 1; i < count && at < input.size(); ++i) {
    const std::size_t len =
        std::uniform_int_distribution<std::size_t>(0, input.size() - at)(rng) / 2;
    pieces.push_back(input.substr(at, len));
    at += len;
  }
  pieces.push_back(input.substr(at));
  return pieces;
}

inline std::vector<std::string_view> single_bytes(std::string_view input) {
  std::vector<std::string_view> pieces;
  if (input.empty()) pieces.push_back(input);
  for (std::size_t i = 0; i < input.size(); ++i)
    pieces.push_back(input.substr(i, 1));
  return pieces;
}

inline std::vector<json::JsonNode> all_nodes(const json::JsonDocument& d) {
  std::vector<json::JsonNode> out;
  for (int i = 1; i <= d.node_count(); ++i)
    out.push_back(d.get_node("", i));
  return out;
}

}  // namespace json_test

namespace json {
inline void PrintTo(const JsonNode& n, std::ostream* os) {
  *os << "{name \"" << n.name << "\", value \"" << n.value << "\", depth " << n.depth << ", type "
      << n.type << ", container " << int(n.container) << "}";
}
}  // namespace json
