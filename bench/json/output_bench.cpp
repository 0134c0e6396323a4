// JSON output and tree walks.
//
// Output: every benchmark document, parsed once, written compact and pretty by
// JsonDocument::to_json_text, RapidJSON's Writer / PrettyWriter and nlohmann's
// dump, side by side. Throughput is in bytes of the original document per
// second for every writer, so the ratios are ratios of time.
//
// Walks: the cost of one call of each walk and record transfer on a document of
// about 100,000 nodes, on the nodes that make each walk go furthest.
#include <benchmark/benchmark.h>

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "json/json_document.h"
#include "json/node_array.h"

namespace {

// ---- output ----

struct Parsed {
  std::string name;
  std::size_t bytes = 0;
  json::JsonDocument ours;
  rapidjson::Document rapid;
  nlohmann::json lohmann;
};

std::vector<std::unique_ptr<Parsed>> load_documents() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(BENCH_DATA_DIR))
    if (entry.path().extension() == ".json") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<std::unique_ptr<Parsed>> out;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    auto p = std::make_unique<Parsed>();
    p->name = file.stem().string();
    p->bytes = s.size();
    p->ours.parse_text(s);
    p->rapid.Parse(s.data(), s.size());
    p->lohmann = nlohmann::json::parse(s);
    out.push_back(std::move(p));
  }
  return out;
}

void ours(benchmark::State& state, const Parsed* p, bool pretty) {
  std::string text;
  for (auto _ : state) {
    p->ours.to_json_text("", 1, text, pretty);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p->bytes));
  state.counters["out_bytes"] = static_cast<double>(text.size());
}

template <typename Writer>
void rapid(benchmark::State& state, const Parsed* p) {
  std::size_t size = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    if constexpr (std::is_same_v<Writer, rapidjson::PrettyWriter<rapidjson::StringBuffer>>)
      writer.SetIndent('\t', 1);
    p->rapid.Accept(writer);
    size = buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p->bytes));
  state.counters["out_bytes"] = static_cast<double>(size);
}

void lohmann(benchmark::State& state, const Parsed* p, bool pretty) {
  std::string text;
  for (auto _ : state) {
    text = pretty ? p->lohmann.dump(1, '\t') : p->lohmann.dump();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p->bytes));
  state.counters["out_bytes"] = static_cast<double>(text.size());
}

void register_output(const std::vector<std::unique_ptr<Parsed>>& documents) {
  using Compact = rapidjson::Writer<rapidjson::StringBuffer>;
  using Pretty = rapidjson::PrettyWriter<rapidjson::StringBuffer>;
  for (const auto& d : documents) {
    const Parsed* p = d.get();
    const std::string& n = p->name;
    benchmark::RegisterBenchmark(("compact/" + n + "/ours").c_str(), ours, p, false);
    benchmark::RegisterBenchmark(("compact/" + n + "/rapidjson").c_str(), rapid<Compact>, p);
    benchmark::RegisterBenchmark(("compact/" + n + "/nlohmann").c_str(), lohmann, p, false);
    benchmark::RegisterBenchmark(("pretty/" + n + "/ours").c_str(), ours, p, true);
    benchmark::RegisterBenchmark(("pretty/" + n + "/rapidjson").c_str(), rapid<Pretty>, p);
    benchmark::RegisterBenchmark(("pretty/" + n + "/nlohmann").c_str(), lohmann, p, true);
  }
}

// ---- walks ----

// {"items":[{"id":0,"name":"item 0","tags":["a","b"],"pos":{"x":0,"y":0}}, ...]}:
// nine nodes per item, 100,001 nodes in all.
const json::JsonDocument& walk_document() {
  static const json::JsonDocument d = [] {
    std::string text = R"({"items":[)";
    for (int i = 0; i < 11111; ++i) {
      if (i) text += ',';
      const std::string k = std::to_string(i);
      text += R"({"id":)" + k + R"(,"name":"item )" + k + R"(","tags":["a","b"],"pos":{"x":)" + k +
              R"(,"y":)" + k + "}}";
    }
    text += "]}";
    json::JsonDocument doc;
    doc.parse_text(text);
    return doc;
  }();
  return d;
}

void report_nodes(benchmark::State& state) {
  state.counters["nodes"] = walk_document().node_count();
}

void register_walks() {
  const json::JsonDocument& d = walk_document();
  const int last = d.node_count();                  // y of the last item, depth 5
  const int last_item = d.get_parent("", last, 2);  // the last element of items

  benchmark::RegisterBenchmark("walk/child_count of items", [](benchmark::State& state) {
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().child_count("", 2));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark("walk/descendant_count of the root", [](benchmark::State& state) {
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().descendant_count("", 1));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark("walk/get_parent of the last node", [=](benchmark::State& state) {
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().get_parent("", last));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark(
      "walk/get_parent, last node to the root", [=](benchmark::State& state) {
        for (auto _ : state)
          benchmark::DoNotOptimize(walk_document().get_parent("", last, 4));
        report_nodes(state);
      });
  benchmark::RegisterBenchmark("walk/get_child, last of items", [](benchmark::State& state) {
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().get_child("", 2, 11110));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark(
      "walk/sibling_position of the last item", [=](benchmark::State& state) {
        for (auto _ : state)
          benchmark::DoNotOptimize(walk_document().sibling_position("", last_item));
        report_nodes(state);
      });
  benchmark::RegisterBenchmark("walk/node_path of the last node", [=](benchmark::State& state) {
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().node_path(last));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark("walk/node_path of the first item's name",
                               [](benchmark::State& state) {
                                 for (auto _ : state)
                                   benchmark::DoNotOptimize(walk_document().node_path(5));
                                 report_nodes(state);
                               });
  benchmark::RegisterBenchmark("transfer/copy_all_nodes", [](benchmark::State& state) {
    json::NodeArray target;
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().copy_all_nodes(target));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark("transfer/取全部节点_交换变量", [](benchmark::State& state) {
    json::JsonDocument doc = walk_document();
    json::NodeArray target;
    for (auto _ : state)
      benchmark::DoNotOptimize(doc.取全部节点_交换变量(target));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark("transfer/copy_subtree of the root", [](benchmark::State& state) {
    json::NodeArray target;
    for (auto _ : state)
      benchmark::DoNotOptimize(walk_document().copy_subtree("", 1, target));
    report_nodes(state);
  });
  benchmark::RegisterBenchmark(
      "transfer/copy_subtree of the last item", [=](benchmark::State& state) {
        json::NodeArray target;
        for (auto _ : state)
          benchmark::DoNotOptimize(walk_document().copy_subtree("", last_item, target));
        report_nodes(state);
      });
  // A take empties what it takes, so each call gets a fresh copy, made untimed.
  benchmark::RegisterBenchmark("transfer/take_subtree of the root", [](benchmark::State& state) {
    for (auto _ : state) {
      state.PauseTiming();
      json::JsonDocument doc = walk_document();
      json::NodeArray target;
      state.ResumeTiming();
      benchmark::DoNotOptimize(doc.take_subtree("", 1, target));
      state.PauseTiming();  // the copies are freed untimed too
      doc = json::JsonDocument();
      target = json::NodeArray();
      state.ResumeTiming();
    }
    report_nodes(state);
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const auto documents = load_documents();
  register_output(documents);
  register_walks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
