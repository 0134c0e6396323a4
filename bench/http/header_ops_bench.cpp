// merge_cookies over cookie texts of growing length: N entries set by the
// response merged into N held by the caller, a quarter of the names shared.
// The fitted complexity printed after the table shows how the cost grows.
#include <benchmark/benchmark.h>

#include <string>

#include "http/header_ops.h"

namespace {

void BM_MergeCookies(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  std::string set_by_response;
  std::string held;
  for (int i = 0; i < n; ++i) {
    set_by_response += "n" + std::to_string(i) + "=v; ";
    held += (i % 4 == 0 ? "n" : "o") + std::to_string(i) + "=1; ";
  }
  for (auto _ : state) {
    std::string old_cookies = held;
    std::string new_cookies = set_by_response;
    benchmark::DoNotOptimize(http::merge_cookies(old_cookies, new_cookies));
  }
  state.SetComplexityN(n);
}

BENCHMARK(BM_MergeCookies)
    ->RangeMultiplier(10)
    ->Range(10, 100000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
