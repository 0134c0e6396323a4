// The serializer against a real peer: every benchmark document, parsed and
// written again, must mean the same to nlohmann::json and parse back to the
// same node store.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "json/json_document.h"
#include "json/node_array.h"
#include "json_test_support.h"

namespace {

using json::JsonDocument;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::filesystem::path> bench_documents() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(BENCH_DATA_DIR))
    if (entry.path().extension() == ".json") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// `text` without the whitespace between tokens: what compact output of a
// well-formed document must be, byte for byte, when the serializer writes
// every stored byte unchanged.
std::string without_whitespace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool in_string = false;
  bool escaped = false;
  for (const char c : text) {
    if (in_string) {
      out += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '"') in_string = true;
    out += c;
  }
  return out;
}

std::size_t high_bytes(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }));
}

TEST(RoundTrip, BenchDocumentsThroughAPeer) {
  const std::vector<std::filesystem::path> files = bench_documents();
  ASSERT_GE(files.size(), 5u) << BENCH_DATA_DIR;
  std::size_t non_ascii = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string original = read_file(file);
    ASSERT_FALSE(original.empty());
    non_ascii += high_bytes(original);

    JsonDocument d;
    ASSERT_EQ(d.parse_text(original), 0);
    ASSERT_TRUE(d.is_complete());
    const nlohmann::json expected = nlohmann::json::parse(original);

    for (const bool pretty : {false, true}) {
      SCOPED_TRACE(pretty ? "pretty" : "compact");
      std::string text;
      ASSERT_EQ(d.to_json_text("", 0, text, pretty), d.node_count());
      if (!pretty) {
        // Byte-transparent: double-byte and UTF-8 text alike come out as they went in.
        EXPECT_EQ(text, without_whitespace(original));
      }
      EXPECT_EQ(nlohmann::json::parse(text), expected);

      JsonDocument again;
      ASSERT_EQ(again.parse_text(text), 0);
      EXPECT_TRUE(again.is_complete());
      EXPECT_EQ(json_test::all_nodes(again), json_test::all_nodes(d));
    }
  }
  EXPECT_GT(non_ascii, 0u);  // the round trip did carry bytes of 128 or more
}

}  // namespace
