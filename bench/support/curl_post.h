// The peer the HTTP benchmarks measure against: one POST made with libcurl's
// easy interface directly, with a new handle (and so a new connection) on each
// call, HTTP/1.1, the header lines http_request sends and certificate checks
// off.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

namespace bench_support {

// The header lines http_request sends for a POST to `url`; "Expect:" keeps
// libcurl from adding an Expect line of its own.
inline std::vector<std::string> post_header_lines(const std::string& url) {
  return {
      "Accept: */*",
      "Referer: " + url,
      "Accept-Language: zh-cn",
      "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
      "Content-Type: application/x-www-form-urlencoded",
      "Connection: Keep-Alive",
      "Expect:",
  };
}

// Posts `body` to `url` with `lines` as the header lines, puts the answer's
// body in `answer` and returns the status code; 0 when the exchange failed.
inline long curl_easy_post(const std::string& url, const std::vector<std::string>& lines,
                           const std::string& body, std::string& answer) {
  struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
  };
  struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
  };
  const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return 0;
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (!grown) return 0;
    (void)headers.release();  // now owned through `grown`
    headers.reset(grown);
  }
  const auto collect = +[](char* data, size_t size, size_t count, void* user) -> size_t {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
  };
  answer.clear();
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
  if (curl_easy_perform(h) != CURLE_OK) return 0;
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

}  // namespace bench_support
