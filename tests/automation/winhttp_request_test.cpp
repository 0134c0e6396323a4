// The HTTP request server ("WinHttp.WinHttpRequest.5.1") against real servers
// on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "automation/object.h"
#include "automation/server.h"
#include "platform/codepage.h"
#include "tests/support/loopback_server.h"

namespace {

using automation::Object;
using automation::Variant;
using test_support::LoopbackServer;
using test_support::Scheme;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kOptionSslIgnore = 4;
constexpr int kOptionRedirects = 6;
constexpr int kIgnoreAll = 0x3300;

struct Seen {
  std::mutex mutex;
  std::vector<httplib::Request> requests;

  void take(const httplib::Request& req) {
    std::lock_guard lock(mutex);
    requests.push_back(req);
  }
  httplib::Request last() {
    std::lock_guard lock(mutex);
    return requests.empty() ? httplib::Request{} : requests.back();
  }
  size_t count() {
    std::lock_guard lock(mutex);
    return requests.size();
  }
};

std::string header_of(const httplib::Request& req, const std::string& name) {
  const auto it = req.headers.find(name);
  return it == req.headers.end() ? "<none>" : it->second;
}

Object new_request() {
  Object o;
  o.create("WinHttp.WinHttpRequest.5.1");
  return o;
}

// A server with routes for the request object's behaviours.
class Fixture {
 public:
  explicit Fixture(Scheme scheme, std::string_view certificate_host = "127.0.0.1")
      : server(scheme, certificate_host) {
    auto& r = server.routes();
    const auto echo = [this](const httplib::Request& req, httplib::Response& res) {
      seen.take(req);
      res.set_header("X-Reply", "yes");
      res.set_content(req.body, "application/octet-stream");
    };
    r.Get("/echo", echo);
    r.Post("/echo", echo);
    r.Put("/echo", echo);
    r.Delete("/echo", echo);
    r.Options("/echo", echo);
    r.Get("/gzip", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content("not really gzip", "text/plain");
    });
    r.Get("/login", [this](const httplib::Request& req, httplib::Response& res) {
      seen.take(req);
      res.set_header("Set-Cookie", "sid=42; Path=/");
      res.status = 302;
      res.set_header("Location", "/echo");
    });
    r.Get(R"(/hop/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.matches[1]);
      res.status = 302;
      res.set_header("Location", n == 0 ? server.url("/echo") : "/hop/" + std::to_string(n - 1));
      res.set_content("hop", "text/plain");
    });
    r.Get("/to", [](const httplib::Request& req, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", req.get_param_value("u"));
    });
    // Sends `n` chunks `gap_ms` apart.
    r.Get("/trickle", [](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.get_param_value("n"));
      const int gap = std::stoi(req.get_param_value("gap_ms"));
      res.set_chunked_content_provider(
          "text/plain", [n, gap](size_t offset, httplib::DataSink& sink) {
            if (offset > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gap));
            if (offset >= static_cast<size_t>(n)) {
              sink.done();
              return true;
            }
            sink.write("x", 1);
            return true;
          });
    });
  }

  LoopbackServer server;
  Seen seen;
};

// Opens, sends and returns the status.
int exchange(Object& o, std::string_view method, const std::string& url,
             const Variant& body = Variant()) {
  o.call("Open", method, url, false);
  o.call("Send", body);
  return static_cast<int>(o.get_number("Status"));
}

class PlainServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fixture.server.start()); }
  Fixture fixture{Scheme::http};
  std::string url(std::string_view path) { return fixture.server.url(path); }
};

TEST_F(PlainServer, DefaultHeadersWhenTheCallerSetsNone) {
  Object o = new_request();
  ASSERT_EQ(exchange(o, "GET", url("/echo")), 200);
  const httplib::Request req = fixture.seen.last();
  const std::pair<std::string, std::string> expected[] = {
      {"Accept", "*/*"},
      {"User-Agent", "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)"},
      {"Connection", "Keep-Alive"},
      {"Content-Length", "0"},
      {"Expect", "<none>"},
      {"Accept-Encoding", "<none>"},
      {"Content-Type", "<none>"},
      {"Cookie", "<none>"},
  };
  for (const auto& [name, value] : expected)
    EXPECT_EQ(header_of(req, name), value) << name;
}

TEST_F(PlainServer, SetRequestHeaderAddsReplacesAndSuppresses) {
  Object o = new_request();
  // Headers set before Open reach the server as well.
  o.call("SetRequestHeader", "X-Early", "1");
  o.call("Open", "POST", url("/echo"), false);
  o.call("SetRequestHeader", "x-early", "2");  // replaces, whatever the case
  o.call("SetRequestHeader", "Accept", "");    // not sent at all
  o.call("SetRequestHeader", "User-Agent", "");
  o.call("SetRequestHeader", "X-Gone", "v");
  o.call("SetRequestHeader", "X-Gone", "");
  o.call("SetRequestHeader", "Content-Type", "text/plain");
  o.call("Send", "body");
  ASSERT_EQ(o.get_number("Status"), 200);
  const httplib::Request req = fixture.seen.last();
  EXPECT_EQ(header_of(req, "X-Early"), "2");
  EXPECT_EQ(req.headers.count("X-Early"), 1u);
  EXPECT_EQ(header_of(req, "Accept"), "<none>");
  EXPECT_EQ(header_of(req, "User-Agent"), "<none>");
  EXPECT_EQ(header_of(req, "X-Gone"), "<none>");
  EXPECT_EQ(header_of(req, "Content-Type"), "text/plain");
  EXPECT_EQ(header_of(req, "Content-Length"), "4");
  EXPECT_EQ(req.body, "body");

  // After an exchange the next request starts without the old headers.
  o.call("Open", "GET", url("/echo"), false);
  o.call("Send");
  EXPECT_EQ(header_of(fixture.seen.last(), "X-Early"), "<none>");
  EXPECT_EQ(header_of(fixture.seen.last(), "Accept"), "*/*");
}

TEST_F(PlainServer, InvalidHeadersAreRefused) {
  const std::shared_ptr<automation::Server> server =
      automation::create_server("WinHttp.WinHttpRequest.5.1");
  ASSERT_TRUE(server);
  Variant result;
  const auto invoke = [&](std::string_view member, std::vector<Variant> args) {
    return server->invoke(member, automation::Access::method, args, result);
  };
  ASSERT_TRUE(invoke("open", {Variant::from_text("GET"), Variant::from_text(url("/echo"))}));
  const std::pair<std::string, std::string> bad[] = {
      {"", "v"},       {"Bad Name", "v"}, {"X:Y", "v"}, {"X-A", "a\r\nInjected: 1"},
      {"X-B", "a\nb"}, {"X-C", "a\rb"},
  };
  for (const auto& [name, value] : bad) {
    EXPECT_FALSE(invoke("setrequestheader", {Variant::from_text(name), Variant::from_text(value)}))
        << name;
  }
  EXPECT_FALSE(invoke("setrequestheader", {Variant::from_text("X-D")}));
  EXPECT_TRUE(invoke("setrequestheader", {Variant::from_text("X-Ok"), Variant::from_text("a\tb")}));
  ASSERT_TRUE(invoke("send", {}));
  const httplib::Request req = fixture.seen.last();
  EXPECT_EQ(header_of(req, "Injected"), "<none>");
  EXPECT_EQ(header_of(req, "X-A"), "<none>");
  EXPECT_EQ(header_of(req, "X-Ok"), "a\tb");
}

TEST_F(PlainServer, BodiesGoOutAsTheirBytes) {
  struct Row {
    Variant body;
    std::string wire;
  };
  const Row rows[] = {
      {Variant::from_text("plain ascii"), "plain ascii"},
      // Not ASCII: UTF-8 on the wire.
      {Variant::from_text(platform::program_text("价格=5")), "价格=5"},
      {Variant(std::u16string(u"é")), "\xC3\xA9"},
      {Variant(Bytes{0, 0xFF, 0x80, 0}), std::string("\0\xFF\x80\0", 4)},
      {Variant(Bytes{}), ""},
      {Variant(), ""},
  };
  for (const auto& r : rows) {
    Object o = new_request();
    ASSERT_EQ(exchange(o, "POST", url("/echo"), r.body), 200);
    const httplib::Request req = fixture.seen.last();
    EXPECT_EQ(req.body, r.wire);
    EXPECT_EQ(header_of(req, "Content-Length"), std::to_string(r.wire.size()));
    const Bytes back = o.get("ResponseBody").to_bytes();
    EXPECT_EQ(std::string(back.begin(), back.end()), r.wire);
  }
}

TEST_F(PlainServer, MethodsGoOutByName) {
  for (const char* method : {"GET", "POST", "PUT", "DELETE", "OPTIONS"}) {
    Object o = new_request();
    EXPECT_EQ(exchange(o, method, url("/echo"), Variant::from_text("m")), 200) << method;
    const httplib::Request req = fixture.seen.last();
    EXPECT_EQ(req.method, method);
    EXPECT_EQ(header_of(req, "Content-Length"), "1") << method;
    // The test server reads request bodies of these methods only.
    if (std::string_view(method) == "POST" || std::string_view(method) == "PUT") {
      EXPECT_EQ(req.body, "m") << method;
    }
  }
  Object o = new_request();
  EXPECT_EQ(exchange(o, "HEAD", url("/echo")), 200);
  EXPECT_TRUE(o.get("ResponseBody").to_bytes().empty());
}

TEST_F(PlainServer, ResponseHeadersOfTheFinalResponse) {
  Object o = new_request();
  ASSERT_EQ(exchange(o, "GET", url("/hop/1")), 200);
  const std::string all = o.get_text("GetAllResponseHeaders");
  EXPECT_FALSE(all.starts_with("HTTP/"));
  EXPECT_TRUE(all.ends_with("\r\n\r\n"));
  EXPECT_EQ(all.find("\r\n\r\n"), all.size() - 4);  // one blank line, at the end
  EXPECT_NE(all.find("X-Reply: yes\r\n"), std::string::npos);
  EXPECT_EQ(all.find("Location"), std::string::npos);  // the redirects' headers are gone
  EXPECT_EQ(o.call_text("GetResponseHeader", "x-reply"), "yes");
  EXPECT_EQ(o.get_text("StatusText"), "OK");
  // Lines are "name: value", separated by CR LF and nothing else.
  for (size_t start = 0; start + 2 < all.size();) {
    const size_t end = all.find("\r\n", start);
    const std::string line = all.substr(start, end - start);
    EXPECT_NE(line.find(": "), std::string::npos) << line;
    start = end + 2;
  }
}

TEST_F(PlainServer, NoAutomaticDecompression) {
  Object o = new_request();
  ASSERT_EQ(exchange(o, "GET", url("/gzip")), 200);
  const Bytes body = o.get("ResponseBody").to_bytes();
  EXPECT_EQ(std::string(body.begin(), body.end()), "not really gzip");
}

TEST_F(PlainServer, RedirectsFollowedUpToTenUnlessTurnedOff) {
  struct Row {
    std::string path;
    bool follow;
    int status;
  };
  const Row rows[] = {
      {"/hop/9", true, 200},  // ten redirects
      {"/hop/10", true, 0},   // eleven: the exchange fails
      {"/hop/3", false, 302},
  };
  for (const auto& r : rows) {
    Object o = new_request();
    if (!r.follow) {
      EXPECT_TRUE(o.put("Option", kOptionRedirects, 0));
    }
    EXPECT_EQ(exchange(o, "GET", url(r.path)), r.status) << r.path;
    if (r.status == 0) {
      EXPECT_TRUE(o.get("ResponseBody").to_bytes().empty());
      EXPECT_EQ(o.get_text("GetAllResponseHeaders"), "");
    }
  }
}

TEST_F(PlainServer, CookiesSetByResponsesGoOutAgain) {
  Object o = new_request();
  // The cookie is set by a redirect and must reach its target already.
  ASSERT_EQ(exchange(o, "GET", url("/login")), 200);
  EXPECT_EQ(header_of(fixture.seen.last(), "Cookie"), "sid=42");
  // A later request of the same object sends it too, beside the caller's own.
  o.call("Open", "GET", url("/echo"), false);
  o.call("SetRequestHeader", "Cookie", "mine=1");
  o.call("Send");
  const std::string cookie = header_of(fixture.seen.last(), "Cookie");
  EXPECT_NE(cookie.find("sid=42"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("mine=1"), std::string::npos) << cookie;
  EXPECT_EQ(fixture.seen.last().headers.count("Cookie"), 1u);
  // Another object has its own cookies.
  Object other = new_request();
  ASSERT_EQ(exchange(other, "GET", url("/echo")), 200);
  EXPECT_EQ(header_of(fixture.seen.last(), "Cookie"), "<none>");
}

TEST_F(PlainServer, ReceiveLimitBoundsEachWaitNotTheWhole) {
  struct Row {
    int chunks, gap_ms, receive_ms;
    int status;
  };
  const Row rows[] = {
      {8, 200, 700, 200},  // 1.6 s in all, never idle for 0.7 s
      {2, 1500, 400, 0},   // idle for 1.5 s between chunks
  };
  for (const auto& r : rows) {
    Object o = new_request();
    o.call("SetTimeouts", 0, 5000, 5000, r.receive_ms);
    const auto start = Clock::now();
    const int status = exchange(
        o, "GET",
        url("/trickle?n=" + std::to_string(r.chunks) + "&gap_ms=" + std::to_string(r.gap_ms)));
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(status, r.status) << r.gap_ms;
    if (status == 200) {
      EXPECT_EQ(o.get("ResponseBody").to_bytes().size(), static_cast<size_t>(r.chunks));
    } else {
      EXPECT_LT(elapsed, 1200ms);
    }
  }
}

TEST(RequestObject, SendLimitAndConnectFailures) {
  test_support::SilentListener silent;
  test_support::RefusingPort refusing;
  struct Row {
    std::string url;
    int receive_ms;
  };
  const Row rows[] = {
      {"http://127.0.0.1:" + std::to_string(silent.port()) + "/", 300},
      {"http://127.0.0.1:" + std::to_string(refusing.port()) + "/", 300},
  };
  for (const auto& r : rows) {
    Object o = new_request();
    o.call("SetTimeouts", 300, 300, 300, r.receive_ms);
    const auto start = Clock::now();
    EXPECT_EQ(exchange(o, "POST", r.url, Variant::from_text("x")), 0) << r.url;
    EXPECT_LT(Clock::now() - start, 1500ms) << r.url;
    EXPECT_TRUE(o.get("ResponseBody").to_bytes().empty());
    EXPECT_EQ(o.get_text("GetAllResponseHeaders"), "");
  }
}

TEST(RequestObject, CallsThatAreRefused) {
  const std::shared_ptr<automation::Server> server =
      automation::create_server("WinHttp.WinHttpRequest.5.1");
  ASSERT_TRUE(server);
  Variant result;
  const auto method = [&](std::string_view member, std::vector<Variant> args) {
    return server->invoke(member, automation::Access::method, args, result);
  };
  const auto put = [&](std::int32_t index, std::int32_t value) {
    const Variant args[] = {Variant(index), Variant(value)};
    return server->invoke("option", automation::Access::put, args, result);
  };
  const auto text = [](std::string_view s) { return Variant::from_text(s); };
  const auto n = [](std::int32_t i) { return Variant(i); };

  // Nothing to send or read before a successful Open.
  EXPECT_FALSE(method("send", {}));
  EXPECT_FALSE(server->invoke("status", automation::Access::get, {}, result));
  for (const char* url : {"", "127.0.0.1/x", "no-scheme.example/p", "ftp://127.0.0.1/",
                          "http://a b/", "file:///etc/passwd"}) {
    EXPECT_FALSE(method("open", {text("GET"), text(url), Variant(false)})) << url;
    EXPECT_FALSE(method("send", {})) << url;
  }
  EXPECT_FALSE(method("open", {text("GE T"), text("http://127.0.0.1/")}));
  EXPECT_FALSE(method("open", {text("GET")}));
  EXPECT_TRUE(method("open", {text("GET"), text("http://127.0.0.1:9/"), Variant(false)}));

  // Time-outs: four values, each -1 or more.
  EXPECT_FALSE(method("settimeouts", {n(-2), n(0), n(0), n(0)}));
  EXPECT_FALSE(method("settimeouts", {n(1), n(2), n(3)}));
  EXPECT_FALSE(method("settimeouts", {n(1), n(2), n(3), text("x")}));
  EXPECT_TRUE(method("settimeouts", {n(-1), n(0), n(1), Variant(2.0)}));

  // Proxy settings.
  EXPECT_TRUE(method("setproxy", {n(2), text("127.0.0.1:3128")}));
  EXPECT_TRUE(method("setproxy", {n(1)}));
  EXPECT_FALSE(method("setproxy", {n(2)}));
  EXPECT_FALSE(method("setproxy", {n(7), text("x")}));

  // Options: known indexes and flags only.
  EXPECT_FALSE(put(kOptionSslIgnore, 0x4000));
  EXPECT_FALSE(put(99, 1));
  EXPECT_TRUE(put(kOptionSslIgnore, kIgnoreAll));
  const Variant index[] = {Variant(std::int32_t{kOptionSslIgnore})};
  ASSERT_TRUE(server->invoke("option", automation::Access::get, index, result));
  EXPECT_EQ(result.to_number(), kIgnoreAll);
  EXPECT_FALSE(method("nosuchmember", {}));
}

TEST(RequestObject, CertificateChecksFollowTheIgnoreFlags) {
  struct Row {
    std::string certificate_host;
    int flags;
    int status;
  };
  const Row rows[] = {
      {"127.0.0.1", 0, 0},         // unknown authority
      {"127.0.0.1", 0x0100, 0},    // not all chain errors ignored
      {"127.0.0.1", 0x2300, 200},  // chain errors ignored; the name matches
      {"other.test", 0x2300, 0},   // the name does not match
      {"other.test", 0x3300, 200}, {"other.test", 0x1000, 0},
  };
  for (const auto& r : rows) {
    Fixture fixture(Scheme::https, r.certificate_host);
    ASSERT_TRUE(fixture.server.start());
    Object o = new_request();
    EXPECT_TRUE(o.put("Option", kOptionSslIgnore, r.flags));
    EXPECT_EQ(exchange(o, "GET", fixture.server.url("/echo")), r.status)
        << r.certificate_host << " " << r.flags;
  }
}

TEST(RequestObject, NeverRedirectedFromHttpsToHttp) {
  Fixture tls(Scheme::https);
  Fixture plain(Scheme::http);
  ASSERT_TRUE(tls.server.start());
  ASSERT_TRUE(plain.server.start());
  Object o = new_request();
  o.put("Option", kOptionSslIgnore, kIgnoreAll);
  EXPECT_EQ(exchange(o, "GET", tls.server.url("/to?u=" + plain.server.url("/echo"))), 0);
  EXPECT_EQ(plain.seen.count(), 0u);
  // The other way round is fine.
  Object p = new_request();
  p.put("Option", kOptionSslIgnore, kIgnoreAll);
  EXPECT_EQ(exchange(p, "GET", plain.server.url("/to?u=" + tls.server.url("/echo"))), 200);
  EXPECT_EQ(tls.seen.count(), 1u);
}

}  // namespace
