#include "automation/winhttp_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/codepage.h"

namespace automation {
namespace {

// Move-only owners of the libcurl resources.
struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlFree {
  void operator()(char* p) const { curl_free(p); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using CurlString = std::unique_ptr<char, CurlFree>;

// A header list that frees itself; append() keeps it usable when an append fails.
class HeaderList {
 public:
  void append(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_.get(), line.c_str());
    if (grown) {
      (void)list_.release();
      list_.reset(grown);
    }
  }
  curl_slist* get() const { return list_.get(); }

 private:
  std::unique_ptr<curl_slist, SlistDeleter> list_;
};

// Removes a handle from its multi handle when the transfer ends, on every path.
class Attachment {
 public:
  Attachment(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
    attached_ = curl_multi_add_handle(multi_, easy_) == CURLM_OK;
  }
  ~Attachment() {
    if (attached_) curl_multi_remove_handle(multi_, easy_);
  }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  bool attached() const { return attached_; }

 private:
  CURLM* multi_;
  CURL* easy_;
  bool attached_ = false;
};

bool libcurl_ready() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

// Option indexes and flags of the request object.
constexpr std::int32_t kOptionSslErrorIgnoreFlags = 4;
constexpr std::int32_t kOptionEnableRedirects = 6;
constexpr long kIgnoreUnknownAuthority = 0x0100;
constexpr long kIgnoreWrongUsage = 0x0200;
constexpr long kIgnoreNameMismatch = 0x1000;
constexpr long kIgnoreBadDate = 0x2000;
constexpr long kIgnoreFlagsKnown =
    kIgnoreUnknownAuthority | kIgnoreWrongUsage | kIgnoreNameMismatch | kIgnoreBadDate;
// libcurl cannot tell the chain's errors apart: peer verification goes off only
// when all of them are to be ignored.
constexpr long kIgnoreChainErrors = kIgnoreUnknownAuthority | kIgnoreWrongUsage | kIgnoreBadDate;

constexpr int kSetProxyDirect = 1;
constexpr int kSetProxyNamed = 2;
constexpr long kMaxRedirects = 10;

constexpr std::string_view kDefaultUserAgent =
    "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return fold(x) == fold(y);
  });
}

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

// A whole number passed as an integer, a double or a logical.
std::optional<long long> integer_of(const Variant& v) {
  if (const auto* i = std::get_if<std::int32_t>(&v.value())) return *i;
  if (const auto* d = std::get_if<double>(&v.value())) {
    if (*d >= static_cast<double>(LLONG_MIN) && *d <= static_cast<double>(LLONG_MAX)) {
      return static_cast<long long>(*d);
    }
    return std::nullopt;
  }
  if (const auto* b = std::get_if<bool>(&v.value())) return *b ? -1 : 0;
  return std::nullopt;
}

std::optional<std::string> utf8_text_of(const Variant& v) {
  if (!v.is_text()) return std::nullopt;
  return platform::utf16_to_utf8(v.wide());
}

// An HTTP token (method or header name): one or more of the characters RFC 9110 allows.
bool is_token(std::string_view s) {
  static constexpr std::string_view extra = "!#$%&'*+-.^_`|~";
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           extra.find(c) != std::string_view::npos;
  });
}

// A header value: no control characters other than tab, so no line can be injected.
bool is_header_value(std::string_view s) {
  return std::none_of(s.begin(), s.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && b != '\t') || b == 0x7F;
  });
}

class WinHttpRequest final : public Server {
 public:
  WinHttpRequest(EasyHandle easy, MultiHandle multi)
      : easy_(std::move(easy)), multi_(std::move(multi)) {}

  bool invoke(std::string_view member, Access access, std::span<const Variant> args,
              Variant& result) override {
    if (access == Access::put) {
      return member == "option" && args.size() == 2 && set_option(args[0], args[1]);
    }
    if (member == "option") return args.size() == 1 && get_option(args[0], result);
    if (member == "settimeouts") return set_timeouts(args);
    if (member == "setproxy") return set_proxy(args);
    if (member == "setrequestheader") return set_request_header(args);
    if (member == "open") return open(args);
    if (member == "send") return send(args.empty() ? Variant() : args[0]);
    if (member == "abort") return true;
    if (!response_) return false;
    if (member == "status") {
      result = Variant(static_cast<std::int32_t>(response_->status));
    } else if (member == "statustext") {
      result = Variant(platform::utf8_to_utf16(response_->status_text));
    } else if (member == "responsebody") {
      result = Variant(response_->body);
    } else if (member == "responsetext") {
      result = Variant(platform::utf8_to_utf16(std::string_view(
          reinterpret_cast<const char*>(response_->body.data()), response_->body.size())));
    } else if (member == "getallresponseheaders") {
      result = Variant(platform::utf8_to_utf16(all_response_headers()));
    } else if (member == "getresponseheader") {
      if (args.size() != 1) return false;
      const std::optional<std::string> name = utf8_text_of(args[0]);
      if (!name) return false;
      const std::optional<std::string> value = response_header(*name);
      if (!value) return false;
      result = Variant(platform::utf8_to_utf16(*value));
    } else {
      return false;
    }
    return true;
  }

 private:
  struct Timeouts {
    long resolve = 0;  // 0: unlimited
    long connect = 60000;
    long send = 30000;
    long receive = 30000;
  };

  struct Response {
    long status = 0;
    std::string status_text;
    std::vector<std::string> header_lines;  // without the status line
    bool head_complete = false;             // the blank line after the header lines came
    Bytes body;
  };

  bool set_timeouts(std::span<const Variant> args) {
    if (args.size() != 4) return false;
    long values[4];
    for (size_t i = 0; i < 4; ++i) {
      const std::optional<long long> v = integer_of(args[i]);
      if (!v || *v < -1 || *v > INT_MAX) return false;
      values[i] = *v == -1 ? 0 : static_cast<long>(*v);
    }
    timeouts_ = {values[0], values[1], values[2], values[3]};
    return true;
  }

  bool set_proxy(std::span<const Variant> args) {
    if (args.empty()) return false;
    const std::optional<long long> setting = integer_of(args[0]);
    if (!setting) return false;
    if (*setting == 0 || *setting == kSetProxyDirect) {
      proxy_.reset();
      proxy_bypass_.clear();
      return true;
    }
    if (*setting != kSetProxyNamed || args.size() < 2) return false;
    const std::optional<std::string> server = utf8_text_of(args[1]);
    if (!server || server->empty() || !is_header_value(*server)) return false;
    std::string bypass;
    if (args.size() >= 3) {
      const std::optional<std::string> b = utf8_text_of(args[2]);
      if (!b || !is_header_value(*b)) return false;
      bypass = *b;
    }
    proxy_ = *server;
    proxy_bypass_ = bypass;
    return true;
  }

  // Headers set after an exchange belong to the next request.
  void start_next_request_if_sent() {
    if (!sent_) return;
    sent_ = false;
    headers_.clear();
    header_index_.clear();
  }

  bool set_request_header(std::span<const Variant> args) {
    if (args.size() != 2) return false;
    const std::optional<std::string> name = utf8_text_of(args[0]);
    const std::optional<std::string> value = utf8_text_of(args[1]);
    if (!name || !value || !is_token(*name) || !is_header_value(*value)) return false;
    start_next_request_if_sent();
    const auto [at, added] = header_index_.try_emplace(lower_ascii(*name), headers_.size());
    if (added) {
      headers_.emplace_back(*name, *value);
    } else {
      headers_[at->second].second = *value;
    }
    return true;
  }

  bool open(std::span<const Variant> args) {
    if (args.size() < 2 || args.size() > 3) return false;
    start_next_request_if_sent();
    opened_ = false;
    response_.reset();
    const std::optional<std::string> method = utf8_text_of(args[0]);
    const std::optional<std::string> url = utf8_text_of(args[1]);
    if (!method || !url || !is_token(*method)) return false;
    // Only absolute http and https addresses with a host are accepted.
    UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url->c_str(), 0) != CURLUE_OK) {
      return false;
    }
    char* scheme_raw = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme_raw, 0) != CURLUE_OK) return false;
    const CurlString scheme(scheme_raw);
    const std::string_view s = scheme.get();
    if (s != "http" && s != "https") return false;
    method_ = *method;
    url_ = *url;
    https_ = s == "https";
    opened_ = true;
    return true;
  }

  bool set_option(const Variant& index, const Variant& value) {
    const std::optional<long long> i = integer_of(index);
    const std::optional<long long> v = integer_of(value);
    if (!i || !v) return false;
    if (*i == kOptionEnableRedirects) {
      follow_redirects_ = *v != 0;
      return true;
    }
    if (*i == kOptionSslErrorIgnoreFlags) {
      if ((*v & ~kIgnoreFlagsKnown) != 0) return false;
      ssl_ignore_flags_ = static_cast<long>(*v);
      return true;
    }
    return false;
  }

  bool get_option(const Variant& index, Variant& result) const {
    const std::optional<long long> i = integer_of(index);
    if (!i) return false;
    if (*i == kOptionEnableRedirects) {
      result = Variant(follow_redirects_);
    } else if (*i == kOptionSslErrorIgnoreFlags) {
      result = Variant(static_cast<std::int32_t>(ssl_ignore_flags_));
    } else {
      return false;
    }
    return true;
  }

  bool has_header(std::string_view name) const { return header_index_.contains(lower_ascii(name)); }

  bool send(const Variant& body_arg) {
    response_.reset();
    if (!opened_) return false;
    sent_ = true;
    if (body_arg.is_bytes()) {
      body_ = body_arg.to_bytes();
    } else if (body_arg.is_text()) {
      const std::u16string& wide = body_arg.wide();
      const bool ascii = std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c < 0x80; });
      const std::string bytes =
          ascii ? std::string(wide.begin(), wide.end()) : platform::utf16_to_utf8(wide);
      body_.assign(bytes.begin(), bytes.end());
    } else if (body_arg.empty()) {
      body_.clear();
    } else {
      return false;
    }
    Response response;
    const bool ok = perform(response);
    body_.clear();
    body_.shrink_to_fit();
    if (!ok) return false;
    response_ = std::move(response);
    return true;
  }

  // Configures the handle for the opened request and runs the exchange.
  bool perform(Response& response) {
    // Every option is set again for each exchange (a reset would also drop the
    // cookie engine that the handle keeps for the object's life).
    CURL* easy = easy_.get();
    const auto set = [easy](CURLoption option, auto value) {
      return curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    bool ok = set(CURLOPT_URL, url_.c_str()) && set(CURLOPT_PROTOCOLS_STR, "http,https") &&
              set(CURLOPT_NOSIGNAL, 1L) &&
              set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));

    // Redirects: at most 10, never from https to http.
    ok = ok && set(CURLOPT_FOLLOWLOCATION, follow_redirects_ ? 1L : 0L) &&
         set(CURLOPT_MAXREDIRS, kMaxRedirects) &&
         set(CURLOPT_REDIR_PROTOCOLS_STR, https_ ? "https" : "http,https");

    // Certificates are verified unless the ignore flags say otherwise.
    const bool ignore_chain = (ssl_ignore_flags_ & kIgnoreChainErrors) == kIgnoreChainErrors;
    ok = ok && set(CURLOPT_SSL_VERIFYPEER, ignore_chain ? 0L : 1L) &&
         set(CURLOPT_SSL_VERIFYHOST, (ssl_ignore_flags_ & kIgnoreNameMismatch) ? 0L : 2L);

    // Time-outs: libcurl bounds resolving and connecting together; the send and
    // receive limits are idle limits watched by run().
    long connect_ms = LONG_MAX / 2;
    if (timeouts_.connect > 0) {
      connect_ms = timeouts_.connect + (timeouts_.resolve > 0 ? timeouts_.resolve : 0);
    }
    ok = ok && set(CURLOPT_CONNECTTIMEOUT_MS, connect_ms);

    // Proxy: only the one set here, never one from the environment.
    ok = ok && set(CURLOPT_PROXY, proxy_ ? proxy_->c_str() : "") &&
         set(CURLOPT_NOPROXY, proxy_ ? proxy_bypass_.c_str() : "") &&
         set(CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));

    // Request headers.
    HeaderList server_headers;
    HeaderList proxy_headers;
    std::string cookie;
    for (const auto& [name, value] : headers_) {
      if (equal_ignoring_case(name, "Cookie")) {
        cookie = value;  // joined with the engine's cookies into one line
      } else if (equal_ignoring_case(name, "Content-Length")) {
        continue;  // always computed from the body
      } else if (proxy_ && equal_ignoring_case(name, "Proxy-Authorization")) {
        if (!value.empty()) proxy_headers.append(name + ": " + value);
      } else {
        // "Name:" with no value keeps libcurl from sending one of its own.
        server_headers.append(value.empty() ? name + ":" : name + ": " + value);
      }
    }
    if (!has_header("Accept")) server_headers.append("Accept: */*");
    if (!has_header("User-Agent")) {
      server_headers.append("User-Agent: " + std::string(kDefaultUserAgent));
    }
    if (!has_header("Connection")) server_headers.append("Connection: Keep-Alive");
    if (!has_header("Expect")) server_headers.append("Expect:");
    if (!has_header("Content-Type")) server_headers.append("Content-Type:");
    ok = ok && set(CURLOPT_COOKIE, cookie.empty() ? nullptr : cookie.c_str());

    // Method and body, starting from a plain GET; Content-Length always goes out.
    ok = ok && set(CURLOPT_POSTFIELDS, static_cast<const void*>(nullptr)) &&
         set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1)) &&
         set(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr)) && set(CURLOPT_HTTPGET, 1L);
    if (method_ == "HEAD") {
      server_headers.append("Content-Length: " + std::to_string(body_.size()));
      ok = ok && set(CURLOPT_NOBODY, 1L);
    } else if (method_ == "GET" && body_.empty()) {
      server_headers.append("Content-Length: 0");
    } else {
      ok = ok && set(CURLOPT_POSTFIELDS, static_cast<const void*>(body_.data())) &&
           set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size())) &&
           set(CURLOPT_CUSTOMREQUEST, method_ == "POST" ? nullptr : method_.c_str());
    }
    ok = ok && set(CURLOPT_HTTPHEADER, server_headers.get()) &&
         set(CURLOPT_PROXYHEADER, proxy_headers.get());

    // What comes back.
    ok = ok && set(CURLOPT_HEADERFUNCTION, &WinHttpRequest::on_header) &&
         set(CURLOPT_HEADERDATA, static_cast<void*>(&response)) &&
         set(CURLOPT_WRITEFUNCTION, &WinHttpRequest::on_body) &&
         set(CURLOPT_WRITEDATA, static_cast<void*>(&response));
    if (!ok) return false;

    const CURLcode result = run();
    if (result == CURLE_OK) {
      long code = 0;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
      response.status = code;
      // A connection that closed inside the head ends the transfer without an
      // error; such an answer is not a response.
      return code > 0 && response.head_complete;
    }
    // A proxy that refused the tunnel answered; its answer is the response.
    long connect_code = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connect_code);
    if (connect_code >= 300 && response.status == connect_code) return true;
    return false;
  }

  // Runs the transfer, ending it when the network stays idle for longer than
  // the send limit (while the body goes out) or the receive limit (after).
  // Idleness counts from the moment the connection is made, so a TLS handshake
  // that stalls is bounded like any other wait; any event on the connection,
  // a byte of the head included, is activity.
  CURLcode run() {
    CURL* easy = easy_.get();
    CURLM* multi = multi_.get();
    const Attachment attachment(multi, easy);
    if (!attachment.attached()) return CURLE_FAILED_INIT;
    using Clock = std::chrono::steady_clock;
    Clock::time_point last_activity = Clock::now();
    curl_off_t last_up = -1, last_down = -1;
    long last_redirects = 0;
    int events = 0;
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
      if (running == 0) break;

      curl_off_t up = 0, down = 0;
      long redirects = 0, port = 0;
      curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &up);
      curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &down);
      curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
      // The peer's port is known once the TCP connection is made, before any
      // TLS handshake on it.
      curl_easy_getinfo(easy, CURLINFO_PRIMARY_PORT, &port);
      const bool connected = port > 0;
      const Clock::time_point now = Clock::now();
      // Resolving and connecting are bounded by the connect limit; idleness
      // counts from there.
      if (events > 0 || up != last_up || down != last_down || redirects != last_redirects ||
          !connected) {
        last_activity = now;
        last_up = up;
        last_down = down;
        last_redirects = redirects;
      }
      const bool body_sent = static_cast<size_t>(up) >= body_.size();
      const long limit_ms = body_sent ? timeouts_.receive : timeouts_.send;
      int wait_ms = 1000;
      if (limit_ms > 0 && connected) {
        const auto idle =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - last_activity).count();
        if (idle >= limit_ms) return CURLE_OPERATION_TIMEDOUT;
        wait_ms = static_cast<int>(std::min<long long>(wait_ms, limit_ms - idle));
      }
      events = 0;
      if (curl_multi_poll(multi, nullptr, 0, wait_ms, &events) != CURLM_OK) {
        return CURLE_FAILED_INIT;
      }
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) return msg->data.result;
    }
    return CURLE_FAILED_INIT;
  }

  // Header lines of each response as they arrive; a status line starts a new
  // response, so only the last one's headers and body remain.
  static size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto& response = *static_cast<Response*>(user);
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      response = Response{};
      const size_t code_end = line.find(' ', line.find(' ') + 1);
      response.status = std::atol(std::string(line.substr(line.find(' ') + 1, 3)).c_str());
      if (code_end != std::string_view::npos) response.status_text = line.substr(code_end + 1);
    } else if (line.empty()) {
      response.head_complete = true;
    } else {
      response.header_lines.emplace_back(line);
    }
    return size * count;
  }

  static size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto& response = *static_cast<Response*>(user);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    response.body.insert(response.body.end(), bytes, bytes + size * count);
    return size * count;
  }

  // Each line followed by CR LF, the last by one more.
  std::string all_response_headers() const {
    std::string out;
    for (const std::string& line : response_->header_lines) {
      out += line;
      out += "\r\n";
    }
    if (!out.empty()) out += "\r\n";
    return out;
  }

  std::optional<std::string> response_header(std::string_view name) const {
    for (const std::string& line : response_->header_lines) {
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      if (!equal_ignoring_case(std::string_view(line).substr(0, colon), name)) continue;
      const size_t start = line.find_first_not_of(" \t", colon + 1);
      return start == std::string::npos ? std::string() : line.substr(start);
    }
    return std::nullopt;
  }

  EasyHandle easy_;
  MultiHandle multi_;
  Timeouts timeouts_;
  std::optional<std::string> proxy_;
  std::string proxy_bypass_;
  std::vector<std::pair<std::string, std::string>> headers_;  // in the order first set
  std::unordered_map<std::string, size_t> header_index_;      // lower-case name -> index
  bool sent_ = false;
  bool opened_ = false;
  std::string method_;
  std::string url_;
  bool https_ = false;
  bool follow_redirects_ = true;
  long ssl_ignore_flags_ = 0;
  Bytes body_;  // the body being sent, kept alive for libcurl
  std::optional<Response> response_;
};

}  // namespace

std::shared_ptr<Server> make_winhttp_request() {
  if (!libcurl_ready()) return nullptr;
  EasyHandle easy(curl_easy_init());
  MultiHandle multi(curl_multi_init());
  if (!easy || !multi) return nullptr;
  // The handle's cookie engine keeps what responses set for the object's life.
  if (curl_easy_setopt(easy.get(), CURLOPT_COOKIEFILE, "") != CURLE_OK) return nullptr;
  return std::make_shared<WinHttpRequest>(std::move(easy), std::move(multi));
}

}  // namespace automation
