// The category lookup that a click of the query button starts, apart from the
// window: it reaches the two controls it uses through LookupControls, so it
// runs and is tested without a display.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace app {

// The two controls a lookup touches. Texts are code page 936.
class LookupControls {
 public:
  virtual ~LookupControls() = default;
  // Writes the result label (透明标签4).
  virtual void set_result(std::string text) = 0;
  // Reads the link box (编辑框1).
  virtual std::string read_link() = 0;
};

// The request step of a lookup: sends `body` to the category service at `url`
// and returns the category text read from its answer ("" on any failure).
using CategoryFetch = std::function<std::string(const std::string& url, const std::string& body)>;

// The address of the category service: CATEGORY_SERVICE_URL when set and not
// empty, else the bundled service on loopback (kDefaultServiceUrl).
inline constexpr std::string_view kDefaultServiceUrl = "https://127.0.0.1:8443/category/index/get";
std::string service_url();

// The form body of the request for `link`: "ids%5B%5D=" followed by the text
// after the link's last "id=" (compared exactly), unchanged and unvalidated.
std::string request_body(std::string_view link);

// The request step every lookup uses unless told otherwise: POSTs `body` to
// `url` with http_request's defaults, takes the answer's bytes as text up to the
// first zero byte, decodes its \u escapes, loads it leniently into a fresh
// JsonDocument and returns the value text at "[0].cat_name" as stored ("" when
// the request fails, the answer is not JSON or holds no such node).
std::string fetch_category(const std::string& url, const std::string& body);

// One lookup, in this order: empties the result label, reads the link, forms
// the body, hands it with service_url() to `fetch` (fetch_category when none is
// given), and writes what comes back into the result label. Everything it made
// is released before it returns. Never throws.
void lookup_category(LookupControls& controls, const CategoryFetch& fetch = {});

}  // namespace app
