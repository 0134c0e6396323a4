// http_request against real servers on loopback: HTTPS with a self-signed
// certificate, plain HTTP, and tinyproxy with Basic authentication.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "http/http_request.h"
#include "platform/apartment.h"
#include "tests/support/loopback_server.h"
#include "tests/support/tinyproxy.h"

namespace {

using test_support::LoopbackServer;
using test_support::Scheme;
using Clock = std::chrono::steady_clock;

const std::string kMsieAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// What a server saw of the last request.
struct Seen {
  std::mutex mutex;
  std::string method, path, body;
  httplib::Headers headers;
  int count = 0;

  void take(const httplib::Request& req) {
    std::lock_guard lock(mutex);
    method = req.method;
    path = req.path;
    body = req.body;
    headers = req.headers;
    ++count;
  }
  std::string header(const std::string& name) {
    std::lock_guard lock(mutex);
    const auto it = headers.find(name);
    return it == headers.end() ? "<none>" : it->second;
  }
  size_t header_count(const std::string& name) {
    std::lock_guard lock(mutex);
    return headers.count(name);
  }
};

std::string text_of(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

// A server with the routes the tests share; `seen` records every request.
class ServerFixture {
 public:
  explicit ServerFixture(Scheme scheme) : server(scheme) {
    auto& r = server.routes();
    r.set_payload_max_length(64 * 1024 * 1024);
    const auto record_and_echo = [this](const httplib::Request& req, httplib::Response& res) {
      seen.take(req);
      res.set_content(req.body, "application/octet-stream");
    };
    r.Post("/echo", record_and_echo);
    r.Put("/echo", record_and_echo);
    r.Get("/echo", record_and_echo);
    r.Get("/cookies", [](const httplib::Request&, httplib::Response& res) {
      res.headers.emplace("Set-Cookie", "b=3; path=/");
      res.headers.emplace("Set-Cookie", "c=4");
      res.headers.emplace("Set-Cookie", "a=deleted; expires=x");
      res.set_content("cookies", "text/plain");
    });
    r.Get("/moved", [this](const httplib::Request& req, httplib::Response& res) {
      seen.take(req);
      res.status = 302;
      res.set_header("Location", server.url("/target"));
      res.set_content("moved", "text/plain");
    });
    r.Get("/target", [this](const httplib::Request& req, httplib::Response& res) {
      seen.take(req);
      res.set_content("arrived", "text/plain");
    });
  }

  LoopbackServer server;
  Seen seen;
};

class HttpsExchange : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fixture.server.start()); }
  ServerFixture fixture{Scheme::https};
  std::string url(std::string_view path) { return fixture.server.url(path); }
};

TEST_F(HttpsExchange, PostArrivesAsSent) {
  std::string headers = "X-Test: one two\r\nX-Other: 3";
  std::string cookies = "a=1; b=2";
  int status = 0;
  const std::string u = url("/echo");
  const Bytes body = http::http_request({.url = u,
                                         .method = 1,
                                         .body_text = "ids%5B%5D=42",
                                         .cookies = &cookies,
                                         .headers = &headers,
                                         .status = &status,
                                         .timeout_seconds = 5});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(text_of(body), "ids%5B%5D=42");
  auto& seen = fixture.seen;
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.body, "ids%5B%5D=42");
  const std::pair<std::string, std::string> expected_headers[] = {
      {"X-Test", "one two"},
      {"X-Other", "3"},
      {"Accept", "*/*"},
      {"Referer", u},
      {"Accept-Language", "zh-cn"},
      {"User-Agent", kMsieAgent},
      {"Content-Type", "application/x-www-form-urlencoded"},
      {"Cookie", "a=1; b=2"},
      {"Content-Length", "12"},
      {"Connection", "Keep-Alive"},
      {"Expect", "<none>"},
      {"Accept-Encoding", "<none>"},
  };
  for (const auto& [name, value] : expected_headers) {
    EXPECT_EQ(seen.header(name), value) << name;
    if (value != "<none>") {
      EXPECT_EQ(seen.header_count(name), 1u) << name;
    }
  }
}

TEST_F(HttpsExchange, ResponseCookiesAreCollectedAndMerged) {
  std::string cookies = "a=1; b=2";
  std::string new_cookies;
  std::string response_headers;
  http::http_request({.url = url("/cookies"),
                      .cookies = &cookies,
                      .new_cookies = &new_cookies,
                      .response_headers = &response_headers,
                      .timeout_seconds = 5});
  EXPECT_EQ(new_cookies, "b=3;c=4;a=deleted;");
  EXPECT_EQ(cookies, "b=3; c=4");
  EXPECT_NE(response_headers.find("Set-Cookie: c=4\r\n"), std::string::npos);
  EXPECT_TRUE(response_headers.ends_with("\r\n\r\n"));
  EXPECT_FALSE(response_headers.starts_with("HTTP/"));
}

TEST_F(HttpsExchange, RedirectFollowedUnlessAsked) {
  int status = 0;
  std::string response_headers;
  Bytes body = http::http_request({.url = url("/moved"),
                                   .response_headers = &response_headers,
                                   .status = &status,
                                   .timeout_seconds = 5});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(text_of(body), "arrived");
  EXPECT_EQ(fixture.seen.path, "/target");
  EXPECT_EQ(response_headers.find("Location:"), std::string::npos);

  body = http::http_request({.url = url("/moved"),
                             .response_headers = &response_headers,
                             .status = &status,
                             .no_redirect = true,
                             .timeout_seconds = 5});
  EXPECT_EQ(status, 302);
  EXPECT_EQ(text_of(body), "moved");
  EXPECT_NE(response_headers.find("Location: " + url("/target") + "\r\n"), std::string::npos);
  EXPECT_EQ(fixture.seen.path, "/moved");
}

TEST_F(HttpsExchange, LargeBodyAndBodyWithZeroBytesArriveIntact) {
  Bytes large(50 * 1024 * 1024);
  std::mt19937 random(7);
  for (auto& b : large)
    b = static_cast<std::uint8_t>(random());
  const Bytes zeros = {0, 'a', 0, 0, 'b', 0};
  for (const Bytes* sent : std::initializer_list<const Bytes*>{&large, &zeros}) {
    int status = 0;
    std::string octets = "Content-Type: application/octet-stream";
    const Bytes echoed = http::http_request({.url = url("/echo"),
                                             .method = 1,
                                             .headers = &octets,
                                             .status = &status,
                                             .body_bytes = *sent,
                                             .timeout_seconds = 30});
    EXPECT_EQ(status, 200);
    EXPECT_EQ(fixture.seen.body.size(), sent->size());
    EXPECT_TRUE(fixture.seen.body == std::string(sent->begin(), sent->end()));
    EXPECT_TRUE(echoed == *sent) << "echo of " << sent->size() << " bytes";
  }
}

TEST_F(HttpsExchange, BorrowedObjectKeepsResponseCookies) {
  automation::Object request;
  ASSERT_TRUE(request.create("WinHttp.WinHttpRequest.5.1"));
  http::http_request({.url = url("/cookies"), .request_object = &request});
  http::http_request({.url = url("/echo"), .request_object = &request});
  const std::string sent = fixture.seen.header("Cookie");
  EXPECT_NE(sent.find("b=3"), std::string::npos) << sent;
  EXPECT_NE(sent.find("c=4"), std::string::npos) << sent;
}

TEST_F(HttpsExchange, ThreadsWithTheirOwnObjectsRunAtOnce) {
  constexpr int kThreads = 4;
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string body = "thread=" + std::to_string(t);
      int status = 0;
      const Bytes echoed = http::http_request({.url = url("/echo"),
                                               .method = 1,
                                               .body_text = body,
                                               .status = &status,
                                               .timeout_seconds = 10});
      if (status == 200 && text_of(echoed) == body && platform::apartment_depth() == 0) ++good;
    });
  }
  for (std::thread& t : threads)
    t.join();
  EXPECT_EQ(good.load(), kThreads);
}

TEST(HttpExchange, StallingServerTimesOut) {
  test_support::SilentListener silent;
  int status = -1;
  std::string response_headers = "r";
  const auto start = Clock::now();
  const Bytes body =
      http::http_request({.url = "http://127.0.0.1:" + std::to_string(silent.port()) + "/",
                          .method = 1,
                          .body_text = "x",
                          .response_headers = &response_headers,
                          .status = &status,
                          .timeout_seconds = 1});
  const auto elapsed = Clock::now() - start;
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(response_headers, "");
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2200));
}

TEST(HttpExchange, ConnectionRefusedStillWritesOutputs) {
  test_support::RefusingPort refusing;
  std::string cookies = "a=1; a=2";
  std::string new_cookies = "n";
  std::string headers;
  std::string response_headers = "r";
  int status = -1;
  const Bytes body =
      http::http_request({.url = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/",
                          .cookies = &cookies,
                          .new_cookies = &new_cookies,
                          .headers = &headers,
                          .response_headers = &response_headers,
                          .status = &status,
                          .timeout_seconds = 2});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(response_headers, "");
  EXPECT_EQ(new_cookies, "");
  EXPECT_EQ(cookies, "a=1");
  EXPECT_TRUE(headers.starts_with("Accept: */*\r\n"));
  EXPECT_EQ(platform::apartment_depth(), 0);
}

TEST(HttpExchange, PlainHttpPutHasNoContentType) {
  ServerFixture fixture(Scheme::http);
  ASSERT_TRUE(fixture.server.start());
  int status = 0;
  http::http_request({.url = fixture.server.url("/echo"),
                      .method = 3,
                      .body_text = "p",
                      .status = &status,
                      .timeout_seconds = 5});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(fixture.seen.method, "PUT");
  EXPECT_EQ(fixture.seen.body, "p");
  EXPECT_EQ(fixture.seen.header("Content-Type"), "<none>");
}

TEST(HttpExchange, BadInputGivesEmptyResults) {
  ServerFixture fixture(Scheme::http);
  ASSERT_TRUE(fixture.server.start());
  const std::string good = fixture.server.url("/echo");
  const std::string bad_urls[] = {
      "",
      "http://127.0.0.1 :1/x y",
      "127.0.0.1/echo",
      "no-scheme.example/path",
      "ftp://127.0.0.1/",
      "file:///etc/passwd",
  };
  for (const std::string& u : bad_urls) {
    int status = -1;
    std::string response_headers = "r";
    const auto start = Clock::now();
    const Bytes body = http::http_request(
        {.url = u, .response_headers = &response_headers, .status = &status, .timeout_seconds = 2});
    EXPECT_TRUE(body.empty()) << u;
    EXPECT_EQ(status, 0) << u;
    EXPECT_EQ(response_headers, "") << u;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << u;
  }
  EXPECT_EQ(fixture.seen.count, 0);
}

TEST(HttpExchange, HostileHeaderTextCannotInjectLines) {
  ServerFixture fixture(Scheme::http);
  ASSERT_TRUE(fixture.server.start());
  std::string binary;
  std::mt19937 random(11);
  for (int i = 0; i < 4096; ++i)
    binary += static_cast<char>(random() % 255 + 1);
  const std::string texts[] = {
      binary,
      "X-Split: a\nInjected: 1\r\nX-Cr: b\rInjected: 2",
  };
  for (std::string headers : texts) {
    int status = 0;
    const Bytes body = http::http_request({.url = fixture.server.url("/echo"),
                                           .method = 1,
                                           .body_text = "b",
                                           .headers = &headers,
                                           .status = &status,
                                           .timeout_seconds = 5});
    // Lines the object cannot send are left out; the request itself goes out.
    EXPECT_EQ(status, 200);
    EXPECT_EQ(text_of(body), "b");
    EXPECT_EQ(fixture.seen.header("Injected"), "<none>");
  }
}

TEST(HttpExchange, MegabyteOfHeaderLinesEndsCleanly) {
  ServerFixture fixture(Scheme::http);
  ASSERT_TRUE(fixture.server.start());
  std::string headers;
  for (int i = 0; headers.size() < 1024 * 1024; ++i) {
    headers += "X-Filler-" + std::to_string(i) + ": " + std::string(40, 'v') + "\r\n";
  }
  int status = -1;
  const auto start = Clock::now();
  const Bytes body = http::http_request({.url = fixture.server.url("/echo"),
                                         .method = 1,
                                         .body_text = "b",
                                         .headers = &headers,
                                         .status = &status,
                                         .timeout_seconds = 5});
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  // The server drops a request this large: the exchange fails and reads as empty.
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(body.empty());
}

class ProxyExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(proxy.running()) << "tinyproxy did not start";
    ASSERT_TRUE(plain.server.start());
    ASSERT_TRUE(tls.server.start());
  }
  test_support::Tinyproxy proxy{"proxyuser", "s3cret"};
  ServerFixture plain{Scheme::http};
  ServerFixture tls{Scheme::https};
};

TEST_F(ProxyExchange, BasicCredentialsDecide) {
  struct Row {
    ServerFixture* target;
    int method;
    std::string password;
    int scheme;
    int status;
  };
  // tinyproxy refuses missing credentials with 407 and wrong ones with 401.
  // Plain requests are GETs: a proxy that refuses a POST may reset the
  // connection before its answer is read.
  const Row rows[] = {
      {&plain, 0, "s3cret", 1, 200}, {&plain, 0, "wrong", 1, 401}, {&plain, 0, "s3cret", 0, 407},
      {&tls, 1, "s3cret", 1, 200},   {&tls, 1, "wrong", 1, 401},   {&tls, 1, "s3cret", 0, 407},
  };
  for (const auto& r : rows) {
    const int before = r.target->seen.count;
    int status = 0;
    std::string response_headers;
    const Bytes body = http::http_request({.url = r.target->server.url("/echo"),
                                           .method = r.method,
                                           .body_text = r.method == 1 ? "via proxy" : "",
                                           .response_headers = &response_headers,
                                           .status = &status,
                                           .proxy = proxy.address(),
                                           .timeout_seconds = 5,
                                           .proxy_user = "proxyuser",
                                           .proxy_password = r.password,
                                           .proxy_auth_scheme = r.scheme});
    const std::string what =
        r.target->server.url("/") + " " + r.password + " " + std::to_string(r.scheme);
    EXPECT_EQ(status, r.status) << what;
    if (r.status == 200) {
      EXPECT_EQ(r.target->seen.count, before + 1) << what;
      EXPECT_EQ(text_of(body), r.method == 1 ? "via proxy" : "") << what;
    } else {
      EXPECT_EQ(r.target->seen.count, before) << what;
      EXPECT_NE(response_headers.find("Server: tinyproxy"), std::string::npos) << what;
    }
  }
  // Through the tunnel the credentials went to the proxy only.
  EXPECT_EQ(tls.seen.header("Proxy-Authorization"), "<none>");
}

}  // namespace
