#include "app/lookup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace {

// Records every touch of the two controls, in order: the order is part of the
// lookup's contract (empty the label, read the link, write the result).
class RecordingControls : public app::LookupControls {
 public:
  explicit RecordingControls(std::string link) : link_(std::move(link)) {}
  void set_result(std::string text) override { calls.push_back("set_result:" + text); }
  std::string read_link() override {
    calls.push_back("read_link");
    return link_;
  }
  std::vector<std::string> calls;

 private:
  std::string link_;
};

// Sets or clears an environment variable for one test, restoring it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Lookup, TouchesTheControlsInOrderAndHandsOnTheBody) {
  const std::string category = platform::program_text("连衣裙");
  struct Row {
    std::string link, body;
  };
  const Row rows[] = {
      {"https://item.example-market.com/item.htm?id=616943008327", "ids%5B%5D=616943008327"},
      {"https://item.example-market.com/item.htm?id=123&spm=abc", "ids%5B%5D=123&spm=abc"},
      {"", "ids%5B%5D="},  // an empty link box still sends a request
      {"https://item.example-market.com/item.htm?ID=1", "ids%5B%5D="},
  };
  const ScopedEnv env("CATEGORY_SERVICE_URL", "https://127.0.0.1:1/category/index/get");
  for (const auto& r : rows) {
    RecordingControls controls(r.link);
    std::vector<std::string> sent;
    app::lookup_category(controls, [&](const std::string& url, const std::string& body) {
      controls.calls.push_back("fetch");
      sent = {url, body};
      return category;
    });
    const std::vector<std::string> expected_calls = {"set_result:", "read_link", "fetch",
                                                     "set_result:" + category};
    EXPECT_EQ(controls.calls, expected_calls) << r.link;
    const std::vector<std::string> expected_sent = {"https://127.0.0.1:1/category/index/get",
                                                    r.body};
    EXPECT_EQ(sent, expected_sent) << r.link;
  }
}

TEST(Lookup, EmptyResultWhenTheRequestStepFails) {
  const app::CategoryFetch steps[] = {
      [](const std::string&, const std::string&) { return std::string(); },
      [](const std::string&, const std::string&) -> std::string {
        throw std::runtime_error("no answer");
      },
  };
  const std::vector<std::string> empty_result = {"set_result:", "read_link"};
  for (size_t i = 0; i < std::size(steps); ++i) {
    RecordingControls controls("https://item.example-market.com/item.htm?id=1");
    app::lookup_category(controls, steps[i]);
    // A failing lookup leaves the label empty: it was emptied first and the
    // step that fails writes nothing else, or writes the empty text.
    ASSERT_GE(controls.calls.size(), 2u) << "step " << i;
    EXPECT_EQ(std::vector<std::string>(controls.calls.begin(), controls.calls.begin() + 2),
              empty_result)
        << "step " << i;
    for (size_t k = 2; k < controls.calls.size(); ++k) {
      EXPECT_EQ(controls.calls[k], "set_result:") << "step " << i;
    }
  }
}

TEST(Lookup, ServiceUrl) {
  struct Row {
    const char* env;
    std::string expected;
  };
  const Row rows[] = {
      {nullptr, "https://127.0.0.1:8443/category/index/get"},
      {"", "https://127.0.0.1:8443/category/index/get"},
      {"https://categories.example.com/category/index/get",
       "https://categories.example.com/category/index/get"},
  };
  for (const auto& r : rows) {
    const ScopedEnv env("CATEGORY_SERVICE_URL", r.env);
    EXPECT_EQ(app::service_url(), r.expected) << (r.env ? r.env : "(unset)");
  }
}

}  // namespace
