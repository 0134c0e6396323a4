#include "app/lookup.h"

#include <cstdlib>

#include "app/text_after_last.h"
#include "http/http_request.h"
#include "json/json_document.h"
#include "text/bytes.h"
#include "text/decode.h"

namespace app {
namespace {

constexpr std::string_view kIdMarker = "id=";
constexpr std::string_view kBodyPrefix = "ids%5B%5D=";
constexpr std::string_view kAnswerPath = "[0].cat_name";
constexpr int kPost = 1;  // http_request's method index for POST

}  // namespace

std::string service_url() {
  const char* env = std::getenv("CATEGORY_SERVICE_URL");
  if (env != nullptr && *env != '\0') return env;
  return std::string(kDefaultServiceUrl);
}

std::string request_body(std::string_view link) {
  std::string body(kBodyPrefix);
  body += text_after_last(link, kIdMarker);
  return body;
}

std::string fetch_category(const std::string& url, const std::string& body) {
  json::JsonDocument document;
  const Bytes answer = http::http_request({.url = url, .method = kPost, .body_text = body});
  const std::string json_text = textops::decode_unicode_escapes(bytes_to_text(answer));
  // A load that fails keeps its message in the document; whatever it built
  // before stopping is still searched.
  document.parse_text(json_text);
  return document.get_value(kAnswerPath);
}

void lookup_category(LookupControls& controls, const CategoryFetch& fetch) {
  try {
    controls.set_result({});
    const std::string link = controls.read_link();
    const std::string body = request_body(link);
    std::string category = fetch ? fetch(service_url(), body) : fetch_category(service_url(), body);
    controls.set_result(std::move(category));
  } catch (...) {
    // A lookup reports nothing; an allocation failure just ends it.
  }
}

}  // namespace app
