#include "http/http_request.h"

#include <array>
#include <climits>
#include <string_view>

#include "http/base64.h"
#include "http/header_ops.h"
#include "platform/apartment.h"
#include "text/text_rules.h"

namespace http {
namespace {

constexpr std::string_view kProgId = "WinHttp.WinHttpRequest.5.1";
constexpr std::string_view kCrLf = "\r\n";

constexpr std::array<std::string_view, 8> kMethods = {
    "GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT",
};
constexpr int kPost = 1;

// SetProxy's access type for a named proxy server.
constexpr int kNamedProxy = 2;
// Option indexes of the request object.
constexpr int kOptionSslErrorIgnoreFlags = 4;
constexpr int kOptionEnableRedirects = 6;
// Certificate errors ignored: unknown authority 0x0100, wrong usage 0x0200,
// host name mismatch 0x1000, invalid date 0x2000.
constexpr int kIgnoreCertificateErrors = 0x0100 | 0x0200 | 0x1000 | 0x2000;

constexpr int kKeepObjectTimeouts = -1;
constexpr int kDefaultTimeoutMs = 15000;

// Seconds to milliseconds; values too large for an int stay at the largest one.
int timeout_ms(int seconds) {
  if (seconds < 1) return kDefaultTimeoutMs;
  return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

// Appends the default header lines whose probe the text lacks.
void complete_headers(std::string& headers, int method, std::string_view url) {
  const auto add_unless_found = [&](std::string_view probe, std::string_view line) {
    if (textops::find(headers, probe) != -1) return;
    headers += kCrLf;
    headers += line;
  };
  if (textops::until_zero(headers).empty()) {
    headers = "Accept: */*";
  } else {
    add_unless_found("Accept:", "Accept: */*");
  }
  add_unless_found("Referer:", "Referer: " + std::string(textops::until_zero(url)));
  add_unless_found("Accept-Language:", "Accept-Language: zh-cn");
  add_unless_found("User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  if (method == kPost) {
    add_unless_found("Content-Type:", "Content-Type: application/x-www-form-urlencoded");
  }
}

void hand_over_header(automation::Object& request, std::string_view line) {
  request.call("SetRequestHeader", header_line_name(line), header_line_value(line));
}

// The cookies the response headers set, as "a=1; b=2;".
std::string collect_new_cookies(std::string_view response_headers) {
  std::string found;
  for (const std::string& piece : textops::split(response_headers, kCrLf)) {
    if (text_left_of(piece, ": ") != "Set-Cookie") continue;
    if (textops::find(piece, ";") == -1) {
      found += textops::trim(textops::replace_all(piece, "Set-Cookie:", "", textops::Case::ignore));
    } else {
      found += textops::trim(text_between(piece, "Set-Cookie:", ";"));
    }
    found += "; ";
  }
  return textops::left(found, static_cast<int>(found.size()) - 1);
}

}  // namespace

Bytes http_request(const HttpRequestArgs& args) {
  // 1. The apartment ends when this guard does, on every path.
  platform::ComApartment apartment;

  // 2. Method.
  const int method = args.method < 0 || args.method > 7 ? 0 : args.method;
  const std::string_view method_name = kMethods[method];

  // 3. The request object: a further reference to the caller's, or a new one.
  automation::Object request;
  if (args.request_object) {
    request = *args.request_object;
  } else if (!request.create(kProgId)) {
    return {};
  }

  // 4. Time-outs.
  if (args.timeout_seconds != kKeepObjectTimeouts) {
    const int ms = timeout_ms(args.timeout_seconds);
    request.call("SetTimeouts", ms, ms, ms, ms);
  }

  // 5. Proxy and Basic proxy credentials, handed over before Open.
  if (!textops::until_zero(args.proxy).empty()) {
    request.call("SetProxy", kNamedProxy, args.proxy);
    if (!textops::until_zero(args.proxy_user).empty() && args.proxy_auth_scheme == 1) {
      const std::string credentials = std::string(textops::until_zero(args.proxy_user)) + ":" +
                                      std::string(textops::until_zero(args.proxy_password));
      request.call("SetRequestHeader", "Proxy-Authorization",
                   "Basic " + base64_encode(text_to_bytes(credentials)));
    }
  }

  // 6. Open, synchronous.
  request.call("Open", method_name, args.url, false);

  // 7. Options.
  if (args.no_redirect) request.put("Option", kOptionEnableRedirects, 0);
  request.put("Option", kOptionSslErrorIgnoreFlags, kIgnoreCertificateErrors);

  // 8. The header text, completed with the default lines.
  std::string headers = args.headers ? *args.headers : std::string();
  complete_headers(headers, method, args.url);
  if (args.headers) *args.headers = headers;

  // 9. Cookie header, even an empty one, when the caller gave cookies.
  if (args.cookies) request.call("SetRequestHeader", "Cookie", *args.cookies);

  // 10. Header lines one by one.
  if (textops::find(headers, kCrLf) == -1) {
    hand_over_header(request, headers);
  } else {
    for (const std::string& piece : textops::split(headers, kCrLf)) {
      if (!piece.empty()) hand_over_header(request, piece);
    }
  }

  // 11. Send.
  if (!args.body_bytes.empty()) {
    request.call("Send", args.body_bytes);
  } else {
    request.call("Send", args.body_text);
  }

  // 12. The response.
  Bytes body = request.get("ResponseBody").to_bytes();
  const std::string response_headers = request.get_text("GetAllResponseHeaders");
  const int status = static_cast<int>(request.get_number("Status"));
  if (args.response_headers) *args.response_headers = response_headers;
  if (args.status) *args.status = status;

  // 13. and 14. Cookies set by the response, merged into the caller's.
  std::string new_cookies = collect_new_cookies(response_headers);
  std::string cookies = args.cookies ? *args.cookies : std::string();
  merge_cookies(cookies, new_cookies);
  if (args.cookies) *args.cookies = cookies;
  if (args.new_cookies) *args.new_cookies = new_cookies;

  // 15. The object reference and the apartment end with their owners.
  request.release();
  return body;
}

}  // namespace http
