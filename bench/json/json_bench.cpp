// Lenient parse_text beside RapidJSON's Document::Parse, nlohmann::json::parse
// and simdjson's DOM parser, per file, in one run: MB/s for each, and for ours
// and RapidJSON the memory one parse allocates (total, peak, kept by the
// document). Every allocation of the process goes through the counting malloc
// below, so the figures of all parsers are counted the same way.
//
//   build/dev/bench/json/json_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <rapidjson/document.h>
#include <simdjson.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "json/json_document.h"

// ---- counting malloc ----

extern "C" {
void* __libc_malloc(size_t);
void __libc_free(void*);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

struct Counts {
  bool on = false;
  long long live = 0, peak = 0, total = 0;
} counts;

void note_alloc(void* p) {
  if (!counts.on || !p) return;
  const long long size = static_cast<long long>(malloc_usable_size(p));
  counts.live += size;
  counts.total += size;
  counts.peak = std::max(counts.peak, counts.live);
}

void note_free(void* p) {
  if (!counts.on || !p) return;
  counts.live -= static_cast<long long>(malloc_usable_size(p));
}

}  // namespace

extern "C" {
void* malloc(size_t n) {
  void* p = __libc_malloc(n);
  note_alloc(p);
  return p;
}
void free(void* p) {
  note_free(p);
  __libc_free(p);
}
void* calloc(size_t n, size_t size) {
  void* p = __libc_calloc(n, size);
  note_alloc(p);
  return p;
}
void* realloc(void* old, size_t n) {
  if (!old) return malloc(n);
  const long long old_size = static_cast<long long>(malloc_usable_size(old));
  void* p = __libc_realloc(old, n);
  if (p && counts.on) {
    counts.live -= old_size;
    note_alloc(p);
  }
  return p;
}
void* memalign(size_t alignment, size_t n) {
  void* p = __libc_memalign(alignment, n);
  note_alloc(p);
  return p;
}
void* aligned_alloc(size_t alignment, size_t n) {
  return memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
  void* p = memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}

namespace {

// Allocation figures of one call of `parse`, which must build its document and
// hand it back so that what the document keeps can be told apart.
struct Memory {
  long long total, peak, kept;
};

template <typename Parse>
Memory measure(Parse parse) {
  counts = Counts{true, 0, 0, 0};
  Memory m{};
  {
    auto document = parse();
    m.kept = counts.live;
    benchmark::DoNotOptimize(document);
  }
  m.total = counts.total;
  m.peak = counts.peak;
  counts.on = false;
  return m;
}

void report(benchmark::State& state, const Memory& m) {
  state.counters["alloc_MB"] = static_cast<double>(m.total) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(m.peak) / 1e6;
  state.counters["kept_MB"] = static_cast<double>(m.kept) / 1e6;
}

std::string data_dir() {
  if (const char* dir = std::getenv("BENCH_DATA_DIR")) return dir;
  return JSON_BENCH_DATA_DIR;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void ours(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    json::JsonDocument d;
    benchmark::DoNotOptimize(d.parse_text(*text));
    benchmark::DoNotOptimize(d.node_count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
  report(state, measure([&] {
           auto d = std::make_unique<json::JsonDocument>();
           d->parse_text(*text);
           return d;
         }));
}

void rapid(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(text->data(), text->size());
    benchmark::DoNotOptimize(d.HasParseError());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
  report(state, measure([&] {
           auto d = std::make_unique<rapidjson::Document>();
           d->Parse(text->data(), text->size());
           return d;
         }));
}

void nlohmann_parse(benchmark::State& state, const std::string* text) {
  for (auto _ : state) {
    auto j = nlohmann::json::parse(*text);
    benchmark::DoNotOptimize(j.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
  report(state,
         measure([&] { return std::make_unique<nlohmann::json>(nlohmann::json::parse(*text)); }));
}

void simdjson_dom(benchmark::State& state, const std::string* text) {
  // The padded copy is made once, as simdjson's users do with a loaded file.
  const simdjson::padded_string padded(*text);
  simdjson::dom::parser parser;
  for (auto _ : state) {
    auto doc = parser.parse(padded);
    benchmark::DoNotOptimize(doc.error());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text->size()));
  report(state, measure([&] {
           auto p = std::make_unique<simdjson::dom::parser>();
           (void)p->parse(padded);
           return p;
         }));
}

// Prints, after the usual table, MB/s per file for each parser and our ratio
// to each peer.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      const auto slash = name.find('/');
      const auto it = run.counters.find("bytes_per_second");
      if (slash == std::string::npos || it == run.counters.end()) continue;
      mbps_[name.substr(slash + 1)][name.substr(0, slash)] = it->second.value / 1e6;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const char* peers[] = {"ours", "rapidjson", "nlohmann", "simdjson"};
    std::printf("\nMB/s            ours  rapidjson   nlohmann   simdjson  ours/rapidjson\n");
    for (auto& [file, by] : mbps_) {
      std::printf("%-12s", file.c_str());
      for (const char* p : peers)
        std::printf(" %10.1f", by[p]);
      std::printf(" %14.2f\n", by["rapidjson"] > 0 ? by["ours"] / by["rapidjson"] : 0.0);
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> mbps_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  static std::vector<std::pair<std::string, std::string>> files;
  for (const char* name : {"twitter", "citm_catalog", "canada", "gsoc-2018"}) {
    std::string text = read_file(data_dir() + "/" + name + ".json");
    if (text.empty()) {
      std::fprintf(stderr, "cannot read %s/%s.json (set BENCH_DATA_DIR)\n", data_dir().c_str(),
                   name);
      return 1;
    }
    files.emplace_back(name, std::move(text));
  }
  for (const auto& [name, text] : files) {
    benchmark::RegisterBenchmark(("ours/" + name).c_str(), ours, &text);
    benchmark::RegisterBenchmark(("rapidjson/" + name).c_str(), rapid, &text);
    benchmark::RegisterBenchmark(("nlohmann/" + name).c_str(), nlohmann_parse, &text);
    benchmark::RegisterBenchmark(("simdjson/" + name).c_str(), simdjson_dom, &text);
  }
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
}
