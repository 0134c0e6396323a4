// One POST to a local HTTPS server made by http_request, beside the same POST
// made with libcurl's easy interface directly. Both start from nothing on every
// iteration (a new request object or easy handle, a new connection and TLS
// handshake), as http_request does on each call. The ratio of their times is
// printed after the run.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/curl_post.h"
#include "http/http_request.h"
#include "tests/support/loopback_server.h"

namespace {

const std::string kBody = "ids%5B%5D=652574432345";
const std::string kAnswer = R"([{"cat_id":"1","cat_name":"category"}])";

test_support::LoopbackServer& server() {
  static const std::unique_ptr<test_support::LoopbackServer> s = [] {
    auto created = std::make_unique<test_support::LoopbackServer>(test_support::Scheme::https);
    created->routes().set_tcp_nodelay(true);  // no delayed-ACK stalls in the answer
    created->routes().Post("/category/index/get",
                           [](const httplib::Request& req, httplib::Response& res) {
                             res.set_content(req.body == kBody ? kAnswer : "", "application/json");
                           });
    created->start();
    return created;
  }();
  return *s;
}

void BM_HttpRequestPost(benchmark::State& state) {
  const std::string url = server().url("/category/index/get");
  for (auto _ : state) {
    int status = 0;
    const Bytes body =
        http::http_request({.url = url, .method = 1, .body_text = kBody, .status = &status});
    if (status != 200 || body.size() != kAnswer.size()) state.SkipWithError("bad answer");
    benchmark::DoNotOptimize(body.data());
  }
}

// The same request made with libcurl directly.
void BM_CurlEasyPost(benchmark::State& state) {
  const std::string url = server().url("/category/index/get");
  const std::vector<std::string> lines = bench_support::post_header_lines(url);
  std::string body;
  for (auto _ : state) {
    if (bench_support::curl_easy_post(url, lines, kBody, body) != 200 || body != kAnswer)
      state.SkipWithError("bad answer");
    benchmark::DoNotOptimize(body.data());
  }
}

BENCHMARK(BM_HttpRequestPost)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CurlEasyPost)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Prints the usual table, then http_request's time over libcurl's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean") {
        times_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto ours = times_.find("BM_HttpRequestPost");
    const auto peer = times_.find("BM_CurlEasyPost");
    if (ours != times_.end() && peer != times_.end() && peer->second > 0) {
      std::printf("http_request / libcurl easy: %.3f\n", ours->second / peer->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  server();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
