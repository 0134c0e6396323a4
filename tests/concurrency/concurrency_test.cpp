// Many lookups at once, and the modules they use on several threads at once:
// each thread has its own documents and request objects, and nothing else is
// shared but the category service. Run under ThreadSanitizer by scripts/test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/lookup.h"
#include "automation/object.h"
#include "http/http_request.h"
#include "json/json_document.h"
#include "platform/apartment.h"
#include "platform/codepage.h"
#include "tests/support/bundled_service.h"
#include "text/decode.h"

namespace {

constexpr int kThreads = 8;

class Controls : public app::LookupControls {
 public:
  explicit Controls(std::string link) : link_(std::move(link)) {}
  void set_result(std::string text) override { result = std::move(text); }
  std::string read_link() override { return link_; }
  std::string result;

 private:
  std::string link_;
};

class Concurrency : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<test_support::BundledService>(32);
    ASSERT_TRUE(service_->running());
    url_ = service_->url();
    setenv("CATEGORY_SERVICE_URL", url_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    unsetenv("CATEGORY_SERVICE_URL");
    service_.reset();
  }
  static inline std::unique_ptr<test_support::BundledService> service_;
  static inline std::string url_;
};

// Runs `work(thread_index)` on kThreads threads at once and waits for them.
template <class Work>
void on_threads(Work work) {
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&go, &work, t] {
      while (!go.load())
        std::this_thread::yield();
      work(t);
    });
  }
  go = true;
  for (auto& th : threads)
    th.join();
}

TEST_F(Concurrency, ManyLookupsAtOnceEachGetTheirOwnAnswer) {
  struct Product {
    const char* id;
    const char* category_utf8;
  };
  const Product products[] = {
      {"616943008327", "连衣裙"}, {"520813250866", "手机"}, {"584625713207", "运动鞋"}, {"1", ""}};
  std::atomic<int> wrong{0};
  std::atomic<int> done{0};
  on_threads([&](int t) {
    for (int i = 0; i < 6; ++i) {
      const Product& p = products[(t + i) % std::size(products)];
      Controls controls(std::string("https://item.example-market.com/item.htm?id=") + p.id);
      app::lookup_category(controls);
      if (controls.result != platform::utf8_to_cp936(p.category_utf8)) ++wrong;
      if (platform::apartment_depth() != 0) ++wrong;
      ++done;
    }
  });
  EXPECT_EQ(done.load(), kThreads * 6);
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(Concurrency, ThreadsWithTheirOwnRequestObjectsAndDocuments) {
  std::atomic<int> wrong{0};
  on_threads([&](int t) {
    automation::Object request;
    if (!request.create("WinHttp.WinHttpRequest.5.1")) {
      ++wrong;
      return;
    }
    json::JsonDocument document;
    for (int i = 0; i < 4; ++i) {
      int status = 0;
      const Bytes answer = http::http_request({.url = url_,
                                               .method = 1,
                                               .body_text = "ids%5B%5D=616943008327",
                                               .status = &status,
                                               .request_object = &request});
      document.parse_text(textops::decode_unicode_escapes(bytes_to_text(answer)));
      if (status != 200 ||
          document.get_value("[0].cat_name") != platform::utf8_to_cp936("连衣裙")) {
        ++wrong;
      }
      // Each thread also works its own document apart from the network.
      json::JsonDocument local;
      const std::string text = "[" + std::to_string(t) + ",{\"k\":\"" + std::to_string(i) + "\"}]";
      local.parse_text(text, true);
      if (local.get_value("[1].k") != std::to_string(i)) ++wrong;
      const auto copy = local.copy();
      if (copy->get_value("[0]") != std::to_string(t)) ++wrong;
    }
  });
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
