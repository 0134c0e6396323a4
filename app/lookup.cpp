#include "app/lookup.h"

#include <cstdlib>

#include "app/text_after_last.h"

namespace app {
namespace {

constexpr std::string_view kIdMarker = "id=";
constexpr std::string_view kBodyPrefix = "ids%5B%5D=";

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

void lookup_category(LookupControls& controls, const CategoryFetch& fetch) {
  try {
    controls.set_result({});
    const std::string link = controls.read_link();
    const std::string body = request_body(link);
    if (!fetch) return;
    std::string category = fetch(service_url(), body);
    controls.set_result(std::move(category));
  } catch (...) {
    // A lookup reports nothing; an allocation failure just ends it.
  }
}

}  // namespace app
