// The "WinHttp.WinHttpRequest.5.1" server: an HTTP request object over libcurl.
//
// Members (names lower-cased by the handle):
//   SetTimeouts(resolve, connect, send, receive)  milliseconds; 0 or -1 unlimited.
//       Defaults: resolve unlimited, connect 60 s, send 30 s, receive 30 s.
//       Resolving, connecting and the TLS handshake share one limit, the sum
//       of the two (unlimited when connect is). From the moment the TCP
//       connection is made, send and receive also bound each wait for the
//       network (TLS handshake included) while the body goes out / the answer
//       comes in, not the whole exchange: an answer that keeps arriving,
//       however slowly, completes.
//   SetProxy(setting[, server[, bypass]])  2 routes through `server`; 0 and 1 go direct.
//   SetRequestHeader(name, value)  adds or replaces; "" means the header is not
//       sent. Allowed before Open; headers set after a Send start the next request.
//   Open(method, url[, async])  http and https only; always synchronous.
//   Option(index) = value  6: follow redirects (default on, at most 10, never
//       from https to http); 4: certificate errors to ignore (0x0100 unknown
//       authority, 0x0200 wrong usage, 0x1000 name mismatch, 0x2000 bad date).
//   Send([body])  a text (ASCII as is, otherwise UTF-8) or a byte array.
//   ResponseBody, ResponseText, GetAllResponseHeaders, GetResponseHeader(name),
//   Status, StatusText: the final response; empty / 0 when the exchange failed.
// Cookies set by responses stay in the object and go out on its later requests.
#pragma once

#include <memory>

#include "automation/server.h"

namespace automation {

inline constexpr const char* kWinHttpRequestProgId = "WinHttp.WinHttpRequest.5.1";
inline constexpr const char* kWinHttpRequestClsid = "{2087C2F4-2CEF-4953-A8AB-66779B670495}";

// A new request object, or null when libcurl cannot give it a handle.
std::shared_ptr<Server> make_winhttp_request();

}  // namespace automation
