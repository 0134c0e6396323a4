// The category service: HTTPS on a loopback address with a self-signed
// certificate made at start, answering POST /category/index/get.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "catalog.h"

namespace category_service {

struct ServerOptions {
  // Connections served at once; more wait in the queue. The service is meant
  // to hold a few hundred concurrent clients.
  int threads = 256;
  // Pending connections the kernel queues before they are accepted.
  int backlog = 1024;
  // Receives one line per request (without a line end). Default: stderr.
  std::function<void(std::string_view)> log;
};

class Server {
 public:
  explicit Server(Catalog catalog, ServerOptions options = {});
  ~Server();  // stops serving and waits for a background serve() to end
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Whether the certificate and the TLS context were made.
  bool valid() const;
  // The self-signed certificate (CN and subjectAltName 127.0.0.1) in PEM.
  std::string certificate_pem() const;

  // Binds `host`:`port`, 0 picking a free port. Returns the port, -1 on failure.
  int bind(const std::string& host, int port);
  // Serves a bound socket on the calling thread until stop().
  bool serve();
  // bind(), then serve() on a background thread. Returns the port or -1.
  int start(const std::string& host, int port);
  // Ends serve(); safe from any thread and more than once.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace category_service
