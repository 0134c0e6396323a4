// The bundled category service, started in-process on a free loopback port with
// the catalog that ships beside its source.
//
//   test_support::BundledService service;
//   ASSERT_TRUE(service.running());
//   setenv("CATEGORY_SERVICE_URL", service.url().c_str(), 1);
//
// The destructor stops the service. requests() counts the requests it answered.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "server.h"

namespace test_support {

class BundledService {
 public:
  explicit BundledService(int threads = 8);
  ~BundledService();
  BundledService(const BundledService&) = delete;
  BundledService& operator=(const BundledService&) = delete;

  bool running() const { return port_ > 0; }
  int port() const { return port_; }
  // "https://127.0.0.1:<port>/category/index/get".
  std::string url() const;
  int requests() const { return requests_->load(); }

 private:
  std::shared_ptr<std::atomic<int>> requests_;
  std::unique_ptr<category_service::Server> server_;
  int port_ = -1;
};

}  // namespace test_support
