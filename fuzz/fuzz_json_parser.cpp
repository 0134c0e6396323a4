// Fuzzes the JSON parser. The first input byte chooses the mode (bit 0 strict,
// bit 1 top-level naming) and seeds the split points; the rest is the document.
// Checked: both scans give the same store and status for the whole input; any
// split into pieces gives the same as the whole when the parse found no error;
// a copy taken midway ends the same as its source; completing what is open
// leaves a well-formed depth sequence.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <span>
#include <string>

#include "fuzz/fuzz_check.h"
#include "json/json_document.h"

namespace {

struct Outcome {
  int code;
  std::string dump;
};

Outcome finish(json::JsonDocument& doc, int code) {
  return {code, doc.debug_dump()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool strict = data[0] & 1;
  const bool naming = data[0] & 2;
  const std::span<const std::uint8_t> input(data + 1, size - 1);

  json::JsonDocument runs;
  runs.reset();
  const Outcome whole = finish(runs, runs.feed(input, strict, naming, json::Scan::in_runs));

  json::JsonDocument reference;
  reference.reset();
  const Outcome by_byte =
      finish(reference, reference.feed(input, strict, naming, json::Scan::byte_at_a_time));
  check(whole.code == by_byte.code && whole.dump == by_byte.dump);

  // The same input in pieces, with a copy taken after the first piece.
  std::minstd_rand rng(data[0]);
  json::JsonDocument pieces;
  pieces.reset();
  pieces.feed({}, strict, naming);  // the checking level is set once, before any byte
  std::unique_ptr<json::JsonDocument> copy;
  std::size_t at = 0;
  int code = 0;
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  while (at < input.size()) {
    const std::size_t n = 1 + rng() % (input.size() - at);
    spans.emplace_back(at, n);
    code = pieces.feed(input.subspan(at, n), std::nullopt, naming);
    if (spans.size() == 1) copy = pieces.copy();
    at += n;
  }
  if (whole.code == 0) {
    check(code == 0 && pieces.debug_dump() == whole.dump);
    if (copy) {
      for (std::size_t k = 1; k < spans.size(); ++k) {
        copy->feed(input.subspan(spans[k].first, spans[k].second), std::nullopt, naming);
      }
      check(copy->debug_dump() == whole.dump);
    }
  }

  // Completing what is open leaves a tree: depths start at 1 (0 for top-level
  // members) and never step down into a child by more than one level.
  runs.close_open_containers();
  int previous = 0;
  for (int n = 1; n <= runs.node_count(); ++n) {
    const json::JsonNode node = runs.get_node("", n);
    check(node.depth >= 1 && node.depth <= previous + 1);
    previous = node.depth;
  }
  return 0;
}
