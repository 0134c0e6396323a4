// Many lookups in one process against the bundled category service, one after
// another and on several threads at once: every lookup shows its category,
// nothing leaks (in the sanitizer build LeakSanitizer checks the whole run at
// exit) and resident memory stays flat once warmed up.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/lookup.h"
#include "platform/codepage.h"
#include "tests/support/bundled_service.h"
#include "tests/support/sanitizers.h"

namespace {

using Clock = std::chrono::steady_clock;

// Lookups in the sequential run. The sanitizer build runs a fifth as many:
// each lookup costs it a few times more, and LeakSanitizer's check at exit
// covers every lookup made, however many.
constexpr int kLookups = test_support::kAddressSanitizer ? 2000 : 10000;
constexpr int kWarmUp = kLookups / 10;

// Resident memory may grow by this much from the end of the warm-up to the
// end of the run. A lookup makes a request object with its own connection and
// TLS state, a JSON document and a few texts, all of which are let go before
// it returns; one that kept even 200 bytes would add more than this over
// 9,000 lookups, and what it does keep is tens of kB (a TLS session). What
// may move resident memory without a leak is the allocator's free lists and
// the service threads' stacks, which a warm-up of 1,000 lookups has touched.
constexpr long kFlatBoundKb = 2 * 1024;

// The result label and link box of one lookup, in memory.
class Controls : public app::LookupControls {
 public:
  explicit Controls(std::string link) : link_(std::move(link)) {}
  void set_result(std::string text) override {
    result_ = std::move(text);
    ++writes_;
  }
  std::string read_link() override { return link_; }
  const std::string& result() const { return result_; }
  int writes() const { return writes_; }

 private:
  std::string link_;
  std::string result_;
  int writes_ = 0;
};

long resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return -1;
}

struct Query {
  std::string link;
  std::string category;  // code page 936
};

// Known products, one unknown id and a link without one, taken in turn.
const std::vector<Query>& queries() {
  static const std::vector<Query> q = {
      {"https://item.example-market.com/item.htm?id=616943008327",
       platform::utf8_to_cp936("连衣裙")},
      {"https://item.example-market.com/item.htm?id=520813250866", platform::utf8_to_cp936("手机")},
      {"https://item.example-market.com/item.htm?id=999", ""},
      {"https://item.example-market.com/item.htm", ""},
  };
  return q;
}

// One lookup of query `i`; true when the label was emptied and then showed
// the expected category.
bool lookup_shows_category(int i) {
  const Query& q = queries()[static_cast<size_t>(i) % queries().size()];
  Controls controls(q.link);
  app::lookup_category(controls);
  return controls.writes() == 2 && controls.result() == q.category;
}

class LookupUnderLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<test_support::BundledService>();
    ASSERT_TRUE(service_->running());
    // Set once, before any lookup thread reads it.
    setenv("CATEGORY_SERVICE_URL", service_->url().c_str(), 1);
  }
  static void TearDownTestSuite() {
    service_.reset();
    unsetenv("CATEGORY_SERVICE_URL");
  }
  static inline std::unique_ptr<test_support::BundledService> service_;
};

TEST_F(LookupUnderLoad, OneAfterAnotherMemoryStaysFlat) {
  int wrong = 0;
  std::vector<long> resident;  // after every kWarmUp lookups
  const auto start = Clock::now();
  for (int i = 0; i < kLookups; ++i) {
    wrong += !lookup_shows_category(i);
    if ((i + 1) % kWarmUp == 0) resident.push_back(resident_kb());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long warm_kb = resident.front();
  const long end_kb = resident.back();
  std::printf("VmRSS kB every %d lookups:", kWarmUp);
  for (const long kb : resident) {
    std::printf(" %ld", kb);
  }
  std::printf("\n");
  std::printf(
      "%d lookups in %.1f s (%.2f ms each); VmRSS %ld kB after %d, %ld kB after %d: %+ld kB\n",
      kLookups, seconds, seconds * 1000 / kLookups, warm_kb, kWarmUp, end_kb, kLookups,
      end_kb - warm_kb);
  EXPECT_EQ(wrong, 0);
  ASSERT_GT(warm_kb, 0);
  if (!test_support::kAddressSanitizer) {
    EXPECT_LT(end_kb - warm_kb, kFlatBoundKb);
  }
}

TEST_F(LookupUnderLoad, ManyThreadsAtOnceMemoryStaysFlat) {
  // The same threads run every round, so the allocator's per-thread arenas
  // are made in the first one, which warms up.
  constexpr int kThreads = 8;
  constexpr int kRounds = 5;
  constexpr int kPerRound = test_support::kAddressSanitizer ? 25 : 100;
  std::atomic<int> wrong{0};
  std::vector<long> resident(kRounds, 0);
  int round = 0;
  std::barrier round_end(kThreads, [&]() noexcept { resident[round++] = resident_kb(); });
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        for (int i = 0; i < kPerRound; ++i) {
          wrong += !lookup_shows_category(t + i);
        }
        round_end.arrive_and_wait();
      }
    });
  }
  for (std::thread& t : threads) {
    t.join();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long growth_kb = resident.back() - resident.front();
  std::printf(
      "%d threads x %d lookups x %d rounds in %.1f s; VmRSS %ld kB after round 1, %ld kB after "
      "round %d: %+ld kB\n",
      kThreads, kPerRound, kRounds, seconds, resident.front(), resident.back(), kRounds, growth_kb);
  EXPECT_EQ(wrong.load(), 0);
  ASSERT_GT(resident.front(), 0);
  if (!test_support::kAddressSanitizer) {
    EXPECT_LT(growth_kb, kFlatBoundKb);
  }
}

}  // namespace
