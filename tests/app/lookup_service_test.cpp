// The whole lookup against real HTTPS servers on loopback: the bundled
// category service, and servers that answer what the service never would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/lookup.h"
#include "platform/codepage.h"
#include "tests/support/bundled_service.h"
#include "tests/support/loopback_server.h"

namespace {

class Controls : public app::LookupControls {
 public:
  explicit Controls(std::string link) : link_(std::move(link)) {}
  void set_result(std::string text) override { results.push_back(std::move(text)); }
  std::string read_link() override { return link_; }
  std::vector<std::string> results;

 private:
  std::string link_;
};

// Runs one lookup of `link` against `url` and returns the label's writes.
std::vector<std::string> lookup(const std::string& url, const std::string& link) {
  setenv("CATEGORY_SERVICE_URL", url.c_str(), 1);
  Controls controls(link);
  app::lookup_category(controls);
  unsetenv("CATEGORY_SERVICE_URL");
  return controls.results;
}

std::string link_for(const std::string& id) {
  return "https://item.example-market.com/item.htm?id=" + id;
}

class LookupAgainstService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { service_ = std::make_unique<test_support::BundledService>(); }
  static void TearDownTestSuite() { service_.reset(); }
  void SetUp() override {
    ASSERT_TRUE(service_->running());
    url_ = service_->url();
  }
  static inline std::unique_ptr<test_support::BundledService> service_;
  std::string url_;
};

TEST_F(LookupAgainstService, ShowsTheCategoryOfAKnownProduct) {
  struct Row {
    std::string link;
    std::string category_utf8;
  };
  const Row rows[] = {
      {link_for("616943008327"), "连衣裙"},
      {link_for("520813250866"), "手机"},
      // The id is sent unchanged; the service reads "&spm=abc" as a further form field.
      {link_for("616943008327") + "&spm=abc", "连衣裙"},
      {link_for("999"), ""},  // unknown id: the answer is []
      {"", ""},               // no id at all: ids[] is empty
  };
  for (const auto& r : rows) {
    const std::vector<std::string> expected = {"", platform::utf8_to_cp936(r.category_utf8)};
    EXPECT_EQ(lookup(url_, r.link), expected) << r.link;
  }
}

TEST_F(LookupAgainstService, AFailingLookupAfterAGoodOneLeavesTheLabelEmpty) {
  Controls controls(link_for("616943008327"));
  setenv("CATEGORY_SERVICE_URL", url_.c_str(), 1);
  app::lookup_category(controls);
  setenv("CATEGORY_SERVICE_URL", "https://127.0.0.1:1/category/index/get", 1);
  app::lookup_category(controls);
  unsetenv("CATEGORY_SERVICE_URL");
  const std::vector<std::string> expected = {"", platform::utf8_to_cp936("连衣裙"), "", ""};
  EXPECT_EQ(controls.results, expected);
}

TEST(LookupAgainstOtherServers, AnswersWithoutACategoryGiveAnEmptyLabel) {
  struct Row {
    const char* what;
    std::string answer;
    std::string shown_utf8;
  };
  const Row rows[] = {
      {"not JSON", "<html><body>busy</body></html>", ""},
      {"JSON without cat_name", R"([{"cat_id":"1","name":"x"}])", ""},
      {"an object, not an array", R"({"cat_name":"x"})", ""},
      {"cut short, value complete", R"([{"cat_name":"\u978b"},{"cat_na)", "鞋"},
      {"a zero byte ends the answer", std::string(R"([{"cat_name":"a"}])") + '\0' + "garbage", "a"},
      {"a zero byte inside the value", std::string(R"([{"cat_name":"a)") + '\0' + R"("}])", ""},
      // The answer decoding reads \" as a bare quote, which then ends the string.
      {"escaped quote", R"([{"cat_name":"a\"b"}])", "a"},
  };
  test_support::LoopbackServer server(test_support::Scheme::https);
  std::string answer;
  server.routes().Post("/category/index/get",
                       [&answer](const httplib::Request&, httplib::Response& res) {
                         res.set_content(answer, "application/json");
                       });
  ASSERT_TRUE(server.start());
  for (const auto& r : rows) {
    answer = r.answer;
    const std::vector<std::string> expected = {"", platform::utf8_to_cp936(r.shown_utf8)};
    EXPECT_EQ(lookup(server.url("/category/index/get"), link_for("1")), expected) << r.what;
  }
}

TEST(LookupAgainstOtherServers, ServiceDownGivesAnEmptyLabel) {
  const std::vector<std::string> expected = {"", ""};
  EXPECT_EQ(lookup("https://127.0.0.1:1/category/index/get", link_for("616943008327")), expected);
}

}  // namespace
