// The answer decoding on a large answer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "text/decode.h"

namespace {

// About 1 MB of answer text in which every third character is a \u escape of a
// CJK character, the others plain JSON punctuation, letters and digits.
std::string answer_with_escapes() {
  static const std::string text = [] {
    const std::string plain = R"({"cat_name":[0123456789],abcdefghijklmnopqrstuvwxyz})";
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> cjk(0x4E00, 0x9FA5);
    std::string out;
    char escape[8];
    for (size_t i = 0; out.size() < (1u << 20); i += 2) {
      out += plain[i % plain.size()];
      out += plain[(i + 1) % plain.size()];
      std::snprintf(escape, sizeof escape, "\\u%04x", cjk(rng));
      out += escape;
    }
    return out;
  }();
  return text;
}

void BM_DecodeUnicodeEscapes(benchmark::State& state) {
  const std::string answer = answer_with_escapes();
  for (auto _ : state) {
    benchmark::DoNotOptimize(textops::decode_unicode_escapes(answer));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_DecodeUnicodeEscapes)->Unit(benchmark::kMillisecond);

// The fallback reading alone, on the same bytes, for comparison.
void BM_Utf16BytesToText(benchmark::State& state) {
  const std::string answer = answer_with_escapes();
  const Bytes bytes(answer.begin(), answer.end());
  for (auto _ : state) {
    benchmark::DoNotOptimize(textops::utf16_bytes_to_text(bytes));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Utf16BytesToText)->Unit(benchmark::kMillisecond);

}  // namespace
