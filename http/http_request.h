// http_request: one whole HTTP exchange in one synchronous call, through a
// "WinHttp.WinHttpRequest.5.1" automation object.
#pragma once

#include <string>

#include "automation/object.h"
#include "text/bytes.h"

namespace http {

// The routine's parameters, in their order; call sites name the fields they
// set: http::http_request({.url = u, .method = 1, .body_text = b}).
// Pointer fields are the caller's variables: null means left out, and an
// output is written only when its pointer is given.
// Every field has a default member initializer, so designated initializers may
// leave any of them out without a warning.
struct HttpRequestArgs {
  std::string url{};
  // Index into GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT; a value
  // outside 0..7 means GET.
  int method = 0;
  // Body sent when body_bytes is empty.
  std::string body_text{};
  // In/out. When given (even empty) it is sent as the Cookie header; on return
  // it holds the caller's cookies merged with those the response set.
  std::string* cookies = nullptr;
  // Out: the cookies the response set, like "a=1;b=2;".
  std::string* new_cookies = nullptr;
  // In/out: extra request header lines separated by CR LF; on return the
  // completed header text that was sent. Null reads as empty.
  std::string* headers = nullptr;
  // Out: the response's header lines, separated by CR LF.
  std::string* response_headers = nullptr;
  // Out: the response's status code, 0 when the exchange failed.
  int* status = nullptr;
  // True: redirects are returned as they are, not followed.
  bool no_redirect = false;
  // When not empty, sent as the body instead of body_text.
  Bytes body_bytes{};
  // Proxy server ("host:port"); empty means no proxy setting is made.
  std::string proxy{};
  // -1 keeps the object's own time-outs; 1 or more: seconds for each of the
  // resolve, connect, send and receive time-outs; anything else: 15 seconds.
  int timeout_seconds = 0;
  std::string proxy_user{};
  std::string proxy_password{};
  // 1 sends Basic proxy credentials (with a proxy and a user); others none.
  int proxy_auth_scheme = 1;
  // An existing request object to use instead of creating one; the caller
  // keeps it and may use it again.
  automation::Object* request_object = nullptr;
};

// Performs the exchange and returns the response body (empty when the request
// object cannot be created or the exchange failed). Starts and ends the
// thread's COM apartment. Never throws; safe to call from several threads at
// once when each has its own request object.
Bytes http_request(const HttpRequestArgs& args);

}  // namespace http
