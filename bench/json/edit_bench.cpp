// Cost of one edit of each kind on documents of about 1,000, 10,000 and
// 100,000 nodes: an array of objects {"id":k,"name":"item k","tags":[k,1]}
// (six nodes each). Edits are made at the front of the document, where the
// most records move after them; each benchmark reports the fitted growth.
//
// Edits that change the document's size and do not undo themselves get the
// document put back outside the timed part (PauseTiming); the others alternate
// between two states so that every timed call does the same work.
#include <benchmark/benchmark.h>

#include <string>

#include "json/json_document.h"

namespace {

using json::JsonDocument;

constexpr int kNodesPerElement = 6;

std::string document_text(int nodes) {
  const int elements = (nodes - 1) / kNodesPerElement;
  std::string text = "[";
  for (int k = 0; k < elements; ++k) {
    if (k) text += ',';
    const std::string n = std::to_string(k);
    text += R"({"id":)" + n + R"(,"name":"item )" + n + R"(","tags":[)" + n + ",1]}";
  }
  text += ']';
  return text;
}

JsonDocument document(int nodes) {
  JsonDocument d;
  d.parse_text(document_text(nodes));
  return d;
}

void finish(benchmark::State& state, const JsonDocument& d) {
  state.SetComplexityN(d.node_count());
  state.counters["nodes"] = d.node_count();
}

// Node numbers in every document: 1 the array, 2 its first element, 3 that
// element's "id", 4 "name", 5 "tags".
constexpr int kRoot = 1;
constexpr int kFirst = 2;
constexpr int kFirstId = 3;

void BM_SetValueOfAScalar(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  bool flip = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.set_value("", kFirstId, flip ? "Hello World" : "1 000"));
    flip = !flip;
  }
  finish(state, d);
}

void BM_SetValueOfAContainer(benchmark::State& state) {
  const JsonDocument pristine = document(static_cast<int>(state.range(0)));
  JsonDocument d = pristine;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.set_value("", kFirst, "x"));  // removes its five descendants
    state.PauseTiming();
    d = pristine;
    state.ResumeTiming();
  }
  finish(state, d);
}

void BM_RenameMember(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  bool flip = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.rename_node("", kFirstId, flip ? "key" : "x\"y"));
    flip = !flip;
  }
  finish(state, d);
}

void BM_RenameElementMovesIt(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  const std::string last = std::to_string(d.child_count("", kRoot) - 1);
  // The first element to the end, then back to the front: the number it is
  // found at after each move is where the next move takes it from.
  int node = kFirst;
  bool to_end = true;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.rename_node("", node, to_end ? last : "0", 1, &node));
    to_end = !to_end;
  }
  finish(state, d);
}

void BM_RenameElementPastTheEnd(benchmark::State& state) {
  const JsonDocument pristine = document(static_cast<int>(state.range(0)));
  JsonDocument d = pristine;
  const std::string beyond = std::to_string(d.child_count("", kRoot) + 2);  // three nulls
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.rename_node("", kFirst, beyond));
    state.PauseTiming();
    d = pristine;
    state.ResumeTiming();
  }
  finish(state, d);
}

void BM_AddMemberAtTheFront(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.add_member("", kRoot, 0));
    state.PauseTiming();
    d.remove_node("", kFirst);
    state.ResumeTiming();
  }
  finish(state, d);
}

void BM_AddMemberAtTheEnd(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  const std::string name = "k";
  for (auto _ : state) {
    const int added = d.add_member("", kFirst, std::nullopt, name);  // into the first object
    benchmark::DoNotOptimize(added);
    state.PauseTiming();
    d.remove_node("", added);
    state.ResumeTiming();
  }
  finish(state, d);
}

void BM_RemoveNode(benchmark::State& state) {
  const JsonDocument pristine = document(static_cast<int>(state.range(0)));
  JsonDocument d = pristine;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.remove_node("", kFirst));
    state.PauseTiming();
    d = pristine;
    state.ResumeTiming();
  }
  finish(state, d);
}

void BM_ReplaceWithJsonText(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  // Alternately a smaller and a larger tree than the element's own.
  const std::string smaller = R"({"id":0})";
  const std::string larger = R"({"id":0,"name":"item 0","tags":[0,1],"more":{"a":[1,2,3]}})";
  bool flip = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.replace_with_json_text("", kFirst, flip ? larger : smaller));
    flip = !flip;
  }
  finish(state, d);
}

void BM_ReplaceWithDocument(benchmark::State& state) {
  JsonDocument d = document(static_cast<int>(state.range(0)));
  JsonDocument smaller, larger;
  smaller.parse_text(R"({"id":0})");
  larger.parse_text(R"({"id":0,"name":"item 0","tags":[0,1],"more":{"a":[1,2,3]}})");
  bool flip = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.replace_with_document("", kFirst, flip ? larger : smaller));
    flip = !flip;
  }
  finish(state, d);
}

void BM_CopyElementToDocument(benchmark::State& state) {
  const JsonDocument d = document(static_cast<int>(state.range(0)));
  JsonDocument target;
  for (auto _ : state)
    benchmark::DoNotOptimize(d.copy_to_document("", kFirst, target));
  finish(state, d);
}

void BM_CopyRootToDocument(benchmark::State& state) {
  const JsonDocument d = document(static_cast<int>(state.range(0)));
  JsonDocument target;
  for (auto _ : state)
    benchmark::DoNotOptimize(d.copy_to_document("", kRoot, target));
  finish(state, d);
}

#define EDIT_BENCHMARK(name) BENCHMARK(name)->RangeMultiplier(10)->Range(1000, 100000)->Complexity()

EDIT_BENCHMARK(BM_SetValueOfAScalar);
EDIT_BENCHMARK(BM_SetValueOfAContainer);
EDIT_BENCHMARK(BM_RenameMember);
EDIT_BENCHMARK(BM_RenameElementMovesIt);
EDIT_BENCHMARK(BM_RenameElementPastTheEnd);
EDIT_BENCHMARK(BM_AddMemberAtTheFront);
EDIT_BENCHMARK(BM_AddMemberAtTheEnd);
EDIT_BENCHMARK(BM_RemoveNode);
EDIT_BENCHMARK(BM_ReplaceWithJsonText);
EDIT_BENCHMARK(BM_ReplaceWithDocument);
EDIT_BENCHMARK(BM_CopyElementToDocument);
EDIT_BENCHMARK(BM_CopyRootToDocument);

}  // namespace

BENCHMARK_MAIN();
