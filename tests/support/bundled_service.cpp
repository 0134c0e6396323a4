#include "tests/support/bundled_service.h"

namespace test_support {

BundledService::BundledService(int threads) : requests_(std::make_shared<std::atomic<int>>(0)) {
  auto catalog = category_service::Catalog::load(CATEGORY_SERVICE_CATALOG);
  if (!catalog) return;
  category_service::ServerOptions options;
  options.threads = threads;
  // One log line per answered request: counted, not printed.
  options.log = [requests = requests_](std::string_view) { ++*requests; };
  server_ = std::make_unique<category_service::Server>(std::move(*catalog), options);
  port_ = server_->start("127.0.0.1", 0);
}

BundledService::~BundledService() = default;

std::string BundledService::url() const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/category/index/get";
}

}  // namespace test_support
