// One category lookup against the bundled category service (running in this
// process on a free port), beside the same POST made by others, all in one run:
//
// - BM_LookupCategory: app::lookup_category whole, as a click's worker runs it
//   but with in-memory controls: a new request object, a new connection and
//   TLS handshake, the POST, the answer's \u escapes decoded, the JSON loaded
//   and the value at "[0].cat_name" read.
// - BM_CurlProgram: `curl -k` run as a program for each request, as one would
//   from a shell: process start, its TLS set-up, the connection and the POST.
//   It does not decode or parse the answer.
// - BM_LibcurlEasy: the same POST made in this process with libcurl's easy
//   interface, a new handle (and so a new connection) each time: the transport
//   cost alone, with no process start, decoding or parsing.
//
// All three send the same header lines and body, each to two servers (the
// benchmark's argument):
//
// - 0: the bundled category service itself, as the program meets it.
// - 1: a loopback HTTPS server giving the same answers (the service's own
//   answer code and catalog) with TCP_NODELAY set. The bundled service leaves
//   Nagle's algorithm on, and its answer then waits for the client's delayed
//   ACK (about 40 ms on Linux); this server shows the clients' own costs.
//
// After the run the lookup's time over each peer's is printed, per server.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "answer.h"
#include "app/lookup.h"
#include "bench/support/curl_post.h"
#include "platform/codepage.h"
#include "server.h"
#include "tests/support/loopback_server.h"

extern char** environ;

namespace {

const std::string kLink = "https://item.example-market.com/item.htm?id=616943008327";
const std::string kBody = "ids%5B%5D=616943008327";
constexpr char kCurl[] = "/usr/bin/curl";
constexpr char kPath[] = "/category/index/get";

enum Target { kBundledService = 0, kSameAnswersNoDelay = 1 };

std::optional<category_service::Catalog> load_catalog() {
  return category_service::Catalog::load(CATEGORY_SERVICE_CATALOG);
}

// The URL of the lookup on a server of kind `target`, started on first use on
// a free loopback port; "" when it cannot start.
const std::string& service_url(int target) {
  static const std::string bundled = [] {
    static std::unique_ptr<category_service::Server> server;
    auto catalog = load_catalog();
    if (!catalog) return std::string();
    category_service::ServerOptions options;
    options.threads = 8;
    options.log = [](std::string_view) {};
    server = std::make_unique<category_service::Server>(std::move(*catalog), options);
    const int port = server->start("127.0.0.1", 0);
    if (port <= 0) return std::string();
    return "https://127.0.0.1:" + std::to_string(port) + kPath;
  }();
  static const std::string no_delay = [] {
    static std::optional<category_service::Catalog> catalog = load_catalog();
    static test_support::LoopbackServer server(test_support::Scheme::https);
    if (!catalog) return std::string();
    server.routes().set_tcp_nodelay(true);
    server.routes().Post(kPath, [](const httplib::Request& req, httplib::Response& res) {
      const auto ids = category_service::parse_ids(req.body);
      if (!ids) {
        res.status = 400;
        return;
      }
      res.set_content(category_service::answer_json(*catalog, *ids),
                      "application/json; charset=utf-8");
    });
    return server.start() ? server.url(kPath) : std::string();
  }();
  return target == kBundledService ? bundled : no_delay;
}

class Controls : public app::LookupControls {
 public:
  void set_result(std::string text) override { result = std::move(text); }
  std::string read_link() override { return kLink; }
  std::string result;
};

void BM_LookupCategory(benchmark::State& state) {
  const std::string url = service_url(static_cast<int>(state.range(0)));
  if (url.empty()) return state.SkipWithError("no service");
  setenv("CATEGORY_SERVICE_URL", url.c_str(), 1);
  const std::string expected = platform::utf8_to_cp936("连衣裙");
  Controls controls;
  for (auto _ : state) {
    app::lookup_category(controls);
    if (controls.result != expected) {
      state.SkipWithError("wrong category");
      break;
    }
  }
  unsetenv("CATEGORY_SERVICE_URL");
}

void BM_CurlProgram(benchmark::State& state) {
  const std::string url = service_url(static_cast<int>(state.range(0)));
  if (url.empty()) return state.SkipWithError("no service");
  std::vector<std::string> args = {kCurl, "-k", "-s", "-S", "--http1.1"};
  for (const std::string& line : bench_support::post_header_lines(url)) {
    args.push_back("-H");
    args.push_back(line);
  }
  args.insert(args.end(), {"--data-raw", kBody, url});
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  for (auto _ : state) {
    int out[2];
    if (pipe(out) != 0) return state.SkipWithError("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kCurl, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string answer;
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
      answer.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    if (rc == 0) waitpid(pid, &status, 0);
    if (rc != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        answer.find("\"cat_name\"") == std::string::npos) {
      state.SkipWithError("curl failed");
      break;
    }
  }
}

void BM_LibcurlEasy(benchmark::State& state) {
  const std::string url = service_url(static_cast<int>(state.range(0)));
  if (url.empty()) return state.SkipWithError("no service");
  const std::vector<std::string> lines = bench_support::post_header_lines(url);
  std::string answer;
  for (auto _ : state) {
    if (bench_support::curl_easy_post(url, lines, kBody, answer) != 200 ||
        answer.find("\"cat_name\"") == std::string::npos) {
      state.SkipWithError("libcurl failed");
      break;
    }
  }
}

BENCHMARK(BM_LookupCategory)
    ->Arg(kBundledService)
    ->Arg(kSameAnswersNoDelay)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CurlProgram)
    ->Arg(kBundledService)
    ->Arg(kSameAnswersNoDelay)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LibcurlEasy)
    ->Arg(kBundledService)
    ->Arg(kSameAnswersNoDelay)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Prints the usual table, then the lookup's time over each peer's: of single
// runs, or the medians when the run is repeated (--benchmark_repetitions),
// which a busy machine's outliers move least.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred &&
          (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")) {
        times_[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const char* servers[] = {"bundled service", "same answers, TCP_NODELAY"};
    for (int target : {kBundledService, kSameAnswersNoDelay}) {
      const std::string arg = "/" + std::to_string(target);
      const auto ours = times_.find("BM_LookupCategory" + arg);
      if (ours == times_.end()) continue;
      for (const char* peer : {"BM_CurlProgram", "BM_LibcurlEasy"}) {
        const auto p = times_.find(peer + arg);
        if (p != times_.end() && p->second > 0) {
          std::printf("%s: lookup_category / %s: %.3f\n", servers[target], peer + 3,
                      ours->second / p->second);
        }
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  service_url(kBundledService);
  service_url(kSameAnswersNoDelay);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
