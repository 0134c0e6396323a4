// The exact calls http_request makes on the request object, seen through a
// recording server registered under the object's ProgID.
#include <gtest/gtest.h>

#include <climits>

#include "http/http_request.h"
#include "platform/apartment.h"
#include "tests/support/recording_server.h"

namespace {

using automation::Variant;
using test_support::RecordingRegistration;

constexpr const char* kProgId = "WinHttp.WinHttpRequest.5.1";
const std::string kUrl = "https://127.0.0.1:9/category/index/get";
const std::string kMsieAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Runs one call against a fresh recording registration and returns its calls.
std::vector<std::string> calls_of(const http::HttpRequestArgs& args) {
  RecordingRegistration recording(kProgId);
  http::http_request(args);
  return recording.log().described();
}

// The calls whose description starts with `prefix`.
std::vector<std::string> only(const std::vector<std::string>& calls, std::string_view prefix) {
  std::vector<std::string> out;
  for (const std::string& c : calls) {
    if (c.starts_with(prefix)) out.push_back(c);
  }
  return out;
}

std::string quoted(const std::string& s) {
  return "\"" + s + "\"";
}

TEST(HttpRequestCalls, WholeSequenceForAPostWithEmptyHeaders) {
  std::string headers;
  const auto calls =
      calls_of({.url = kUrl, .method = 1, .body_text = "ids%5B%5D=7", .headers = &headers});
  const std::vector<std::string> expected = {
      "settimeouts(15000, 15000, 15000, 15000)",
      "open(\"POST\", " + quoted(kUrl) + ", false)",
      "put option[4] = 13056",
      "setrequestheader(\"Accept\", \"*/*\")",
      "setrequestheader(\"Referer\", " + quoted(kUrl) + ")",
      "setrequestheader(\"Accept-Language\", \"zh-cn\")",
      "setrequestheader(\"User-Agent\", " + quoted(kMsieAgent) + ")",
      "setrequestheader(\"Content-Type\", \"application/x-www-form-urlencoded\")",
      "send(\"ids%5B%5D=7\")",
      "get responsebody",
      "get getallresponseheaders",
      "get status",
  };
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(headers, "Accept: */*\r\nReferer: " + kUrl +
                         "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kMsieAgent +
                         "\r\nContent-Type: application/x-www-form-urlencoded");
}

TEST(HttpRequestCalls, MethodTableAndRangeRule) {
  const std::pair<int, std::string> rows[] = {
      {0, "GET"},   {1, "POST"},    {2, "HEAD"}, {3, "PUT"},  {4, "OPTIONS"},   {5, "DELETE"},
      {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"},  {-1, "GET"}, {INT_MIN, "GET"}, {INT_MAX, "GET"},
  };
  for (const auto& [method, name] : rows) {
    std::string headers;
    const auto calls = calls_of({.url = kUrl, .method = method, .headers = &headers});
    EXPECT_EQ(only(calls, "open"),
              std::vector<std::string>{"open(" + quoted(name) + ", " + quoted(kUrl) + ", false)"})
        << method;
    // Only a POST gets the default Content-Type line.
    const bool content_type = headers.find("Content-Type:") != std::string::npos;
    EXPECT_EQ(content_type, name == "POST") << method;
    EXPECT_EQ(only(calls, "setrequestheader(\"Content-Type\"").size(), name == "POST" ? 1u : 0u)
        << method;
  }
}

TEST(HttpRequestCalls, TimeoutRule) {
  const std::pair<int, std::vector<std::string>> rows[] = {
      {2, {"settimeouts(2000, 2000, 2000, 2000)"}},
      {1, {"settimeouts(1000, 1000, 1000, 1000)"}},
      {0, {"settimeouts(15000, 15000, 15000, 15000)"}},
      {-5, {"settimeouts(15000, 15000, 15000, 15000)"}},
      {-1, {}},
      // Seconds beyond what milliseconds in an int can hold stay at the largest value.
      {INT_MAX, {"settimeouts(2147483647, 2147483647, 2147483647, 2147483647)"}},
  };
  for (const auto& [seconds, expected] : rows) {
    const auto calls = calls_of({.url = kUrl, .timeout_seconds = seconds});
    EXPECT_EQ(only(calls, "settimeouts"), expected) << seconds;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().starts_with("open"), seconds == -1) << seconds;
  }
}

TEST(HttpRequestCalls, DefaultLinesFollowTheirProbes) {
  struct Row {
    std::string given;
    int method;
    std::string completed;
  };
  const std::string tail =
      "\r\nReferer: " + kUrl + "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kMsieAgent;
  const Row rows[] = {
      // The probe is case-sensitive: a lower-case accept line still gets Accept.
      {"accept: text/html", 0, "accept: text/html\r\nAccept: */*" + tail},
      // The probe is a substring: "X-Accept:" holds "Accept:".
      {"X-Accept: 1", 0, "X-Accept: 1" + tail},
      {"Referer: r\r\nUser-Agent: u", 0,
       "Referer: r\r\nUser-Agent: u\r\nAccept: */*\r\nAccept-Language: zh-cn"},
      {"Content-Type: text/plain", 1, "Content-Type: text/plain\r\nAccept: */*" + tail},
  };
  for (const auto& r : rows) {
    std::string headers = r.given;
    calls_of({.url = kUrl, .method = r.method, .headers = &headers});
    EXPECT_EQ(headers, r.completed) << r.given;
  }
}

TEST(HttpRequestCalls, HeaderLinesAreHandedOverOneByOne) {
  struct Row {
    std::string given;
    std::vector<std::string> handed;
  };
  const std::string all_probes = "X: Accept: Referer: Accept-Language: User-Agent:";
  const Row rows[] = {
      // A line without a colon goes as an empty name with an empty value; empty
      // pieces between CR LF pairs are skipped.
      {"NoColon\r\n\r\nX-A: 1",
       {"setrequestheader(\"\", \"\")", "setrequestheader(\"X-A\", \"1\")",
        "setrequestheader(\"Accept\", \"*/*\")"}},
      // A text holding every probe stays one line: one call for the whole text.
      {all_probes, {"setrequestheader(\"X\", \"Accept: Referer: Accept-Language: User-Agent:\")"}},
      {"  Spaced  :  v : w  ", {"setrequestheader(\"Spaced\", \"v : w\")"}},
  };
  for (const auto& r : rows) {
    std::string headers = r.given;
    const auto handed = only(calls_of({.url = kUrl, .headers = &headers}), "setrequestheader");
    ASSERT_GE(handed.size(), r.handed.size()) << r.given;
    EXPECT_EQ(std::vector<std::string>(handed.begin(), handed.begin() + r.handed.size()), r.handed)
        << r.given;
  }
}

TEST(HttpRequestCalls, CookieHeaderOnlyWhenCookiesAreGiven) {
  std::string empty;
  std::string two = "a=1; b=2";
  const auto given_empty = calls_of({.url = kUrl, .cookies = &empty});
  const auto given_two = calls_of({.url = kUrl, .cookies = &two});
  const auto left_out = calls_of({.url = kUrl});
  EXPECT_EQ(only(given_empty, "setrequestheader(\"Cookie\""),
            std::vector<std::string>{"setrequestheader(\"Cookie\", \"\")"});
  EXPECT_EQ(only(given_two, "setrequestheader(\"Cookie\""),
            std::vector<std::string>{"setrequestheader(\"Cookie\", \"a=1; b=2\")"});
  EXPECT_TRUE(only(left_out, "setrequestheader(\"Cookie\"").empty());
  // The Cookie header comes after the options and before the header lines.
  const auto at =
      std::find(given_two.begin(), given_two.end(), "setrequestheader(\"Cookie\", \"a=1; b=2\")");
  ASSERT_NE(at, given_two.end());
  EXPECT_EQ(*(at - 1), "put option[4] = 13056");
  EXPECT_EQ(*(at + 1), "setrequestheader(\"Accept\", \"*/*\")");
}

TEST(HttpRequestCalls, ProxyAndBasicCredentials) {
  struct Row {
    std::string proxy, user, password;
    int scheme;
    std::vector<std::string> before_open;
  };
  const std::string set_proxy = "setproxy(2, \"127.0.0.1:3128\")";
  const Row rows[] = {
      {"127.0.0.1:3128",
       "user",
       "pass",
       1,
       {set_proxy, "setrequestheader(\"Proxy-Authorization\", \"Basic dXNlcjpwYXNz\")"}},
      {"127.0.0.1:3128",
       "user",
       "",
       1,
       {set_proxy, "setrequestheader(\"Proxy-Authorization\", \"Basic dXNlcjo=\")"}},
      {"127.0.0.1:3128", "user", "pass", 0, {set_proxy}},
      {"127.0.0.1:3128", "user", "pass", 2, {set_proxy}},
      {"127.0.0.1:3128", "", "pass", 1, {set_proxy}},
      {"", "user", "pass", 1, {}},
  };
  for (const auto& r : rows) {
    const auto calls = calls_of({.url = kUrl,
                                 .proxy = r.proxy,
                                 .timeout_seconds = -1,
                                 .proxy_user = r.user,
                                 .proxy_password = r.password,
                                 .proxy_auth_scheme = r.scheme});
    const auto open = std::find_if(calls.begin(), calls.end(),
                                   [](const std::string& c) { return c.starts_with("open("); });
    EXPECT_EQ(std::vector<std::string>(calls.begin(), open), r.before_open)
        << r.proxy << " " << r.user << " " << r.scheme;
    EXPECT_TRUE(
        only(std::vector<std::string>(open, calls.end()), "setrequestheader(\"Proxy-").empty());
  }
}

TEST(HttpRequestCalls, RedirectOptionBeforeCertificateFlags) {
  const auto follow = calls_of({.url = kUrl});
  const auto no_follow = calls_of({.url = kUrl, .no_redirect = true});
  EXPECT_EQ(only(follow, "put"), std::vector<std::string>{"put option[4] = 13056"});
  EXPECT_EQ(only(no_follow, "put"),
            (std::vector<std::string>{"put option[6] = 0", "put option[4] = 13056"}));
}

TEST(HttpRequestCalls, BodyBytesWinOverBodyText) {
  EXPECT_EQ(only(calls_of({.url = kUrl, .body_text = "t", .body_bytes = Bytes{0, 1, 2}}), "send"),
            std::vector<std::string>{"send(bytes[3])"});
  EXPECT_EQ(only(calls_of({.url = kUrl, .body_text = "t"}), "send"),
            std::vector<std::string>{"send(\"t\")"});
  EXPECT_EQ(only(calls_of({.url = kUrl}), "send"), std::vector<std::string>{"send(\"\")"});
}

TEST(HttpRequestCalls, ResponseReadsAndCookieCollection) {
  RecordingRegistration recording(kProgId);
  recording.log().set_reply("responsebody", Variant(Bytes{'o', 'k', 0, '!'}));
  recording.log().set_reply("status", Variant(200.9));
  recording.log().set_reply("getallresponseheaders",
                            Variant::from_text("Content-Type: text/plain\r\n"
                                               "Set-Cookie: b=3; path=/\r\n"
                                               "Set-Cookie: c=4\r\n"
                                               "set-cookie: x=1\r\n"
                                               "Set-Cookie:y=1\r\n"
                                               "Set-Cookie: a=deleted; expires=x\r\n\r\n"));
  std::string cookies = "a=1; b=2";
  std::string new_cookies = "stale";
  std::string response_headers;
  int status = -7;
  const Bytes body = http::http_request({.url = kUrl,
                                         .cookies = &cookies,
                                         .new_cookies = &new_cookies,
                                         .response_headers = &response_headers,
                                         .status = &status});
  EXPECT_EQ(body, (Bytes{'o', 'k', 0, '!'}));
  EXPECT_EQ(status, 200);
  EXPECT_EQ(response_headers.substr(0, 26), "Content-Type: text/plain\r\n");
  EXPECT_EQ(new_cookies, "b=3;c=4;a=deleted;");
  EXPECT_EQ(cookies, "b=3; c=4");
}

TEST(HttpRequestCalls, SetCookieValueForms) {
  struct Row {
    std::string line, new_cookies;
  };
  const Row rows[] = {
      {"Set-Cookie: flag", "flag;"},
      // Without ";" every "Set-Cookie:" goes, whatever its case.
      {"Set-Cookie: q=1 set-COOKIE:", "q=1;"},
      {"Set-Cookie: k=\"v w\"; Secure", "k=\"vw\";"},
      {"Set-Cookie:  ", ";"},
      {"X-Set-Cookie: z=1", ""},
  };
  for (const auto& r : rows) {
    RecordingRegistration recording(kProgId);
    recording.log().set_reply("getallresponseheaders", Variant::from_text(r.line + "\r\n\r\n"));
    std::string new_cookies;
    http::http_request({.url = kUrl, .new_cookies = &new_cookies});
    EXPECT_EQ(new_cookies, r.new_cookies) << r.line;
  }
}

TEST(HttpRequestCalls, CreationFailureLeavesOutputsAlone) {
  automation::ScopedRegistration failing(kProgId, [] { return nullptr; });
  std::string cookies = "a = 1; a=2";
  std::string new_cookies = "n";
  std::string headers = "X: 1";
  std::string response_headers = "r";
  int status = 5;
  platform::reset_apartment_peak();
  const Bytes body = http::http_request({.url = kUrl,
                                         .cookies = &cookies,
                                         .new_cookies = &new_cookies,
                                         .headers = &headers,
                                         .response_headers = &response_headers,
                                         .status = &status});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(cookies, "a = 1; a=2");
  EXPECT_EQ(new_cookies, "n");
  EXPECT_EQ(headers, "X: 1");
  EXPECT_EQ(response_headers, "r");
  EXPECT_EQ(status, 5);
  EXPECT_EQ(platform::apartment_depth(), 0);
  EXPECT_EQ(platform::apartment_peak_depth(), 1);
}

TEST(HttpRequestCalls, BorrowedObjectIsUsedAndStaysUsable) {
  RecordingRegistration recording(kProgId);
  automation::Object mine;
  ASSERT_TRUE(mine.create(kProgId));
  platform::reset_apartment_peak();
  http::http_request({.url = kUrl, .request_object = &mine});
  http::http_request({.url = kUrl, .timeout_seconds = 3, .request_object = &mine});
  EXPECT_EQ(recording.log().objects_created(), 1);
  ASSERT_TRUE(mine.valid());
  mine.call("Abort");
  const auto calls = recording.log().described();
  EXPECT_EQ(calls.back(), "abort()");
  // Each call applied the whole sequence to the borrowed object again.
  EXPECT_EQ(only(calls, "settimeouts"),
            (std::vector<std::string>{"settimeouts(15000, 15000, 15000, 15000)",
                                      "settimeouts(3000, 3000, 3000, 3000)"}));
  EXPECT_EQ(only(calls, "send").size(), 2u);
  EXPECT_EQ(platform::apartment_depth(), 0);
  EXPECT_EQ(platform::apartment_peak_depth(), 1);
}

TEST(HttpRequestCalls, BorrowedEmptyHandleStillWritesOutputs) {
  RecordingRegistration recording(kProgId);
  automation::Object empty_handle;
  std::string cookies = "a=1; a=2; b=deleted";
  std::string new_cookies = "n";
  std::string headers;
  std::string response_headers = "r";
  int status = 5;
  const Bytes body = http::http_request({.url = kUrl,
                                         .cookies = &cookies,
                                         .new_cookies = &new_cookies,
                                         .headers = &headers,
                                         .response_headers = &response_headers,
                                         .status = &status,
                                         .request_object = &empty_handle});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(recording.log().objects_created(), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(response_headers, "");
  EXPECT_EQ(new_cookies, "");
  EXPECT_EQ(cookies, "a=1");
  EXPECT_TRUE(headers.starts_with("Accept: */*\r\nReferer: "));
}

}  // namespace
