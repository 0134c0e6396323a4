// HTTP and HTTPS servers on 127.0.0.1, started in-process on a free port.
//
//   test_support::LoopbackServer server(test_support::Scheme::https);
//   server.routes().Get("/", [](const httplib::Request&, httplib::Response& r) { ... });
//   server.start();
//   http_get(server.url("/"));
//
// The HTTPS server presents a fresh self-signed certificate for the given host
// name or IP address. The destructor stops the server and joins its thread.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace test_support {

enum class Scheme { http, https };

// The time a certificate is valid, in seconds from now (negative: the past).
struct Validity {
  long from = -3600;
  long until = 24 * 3600;
};

// A self-signed certificate and its key, made with OpenSSL for one host name
// or IPv4 address (as its subject and subject alternative name).
class SelfSignedCertificate {
 public:
  explicit SelfSignedCertificate(std::string_view host = "127.0.0.1", Validity validity = {});
  ~SelfSignedCertificate();
  SelfSignedCertificate(const SelfSignedCertificate&) = delete;
  SelfSignedCertificate& operator=(const SelfSignedCertificate&) = delete;
  X509* certificate() const { return cert_; }
  EVP_PKEY* key() const { return key_; }
  // The certificate in PEM form.
  std::string pem() const;

 private:
  X509* cert_ = nullptr;
  EVP_PKEY* key_ = nullptr;
};

class LoopbackServer {
 public:
  // An HTTPS server presents a certificate for `certificate_host`, valid for
  // `validity`.
  explicit LoopbackServer(Scheme scheme, std::string_view certificate_host = "127.0.0.1",
                          Validity validity = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Register handlers here before start().
  httplib::Server& routes() { return *server_; }
  // Binds a free port on 127.0.0.1 and serves on a thread; false when binding fails.
  bool start();
  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(std::string_view path) const;

 private:
  Scheme scheme_;
  std::unique_ptr<SelfSignedCertificate> certificate_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

// A port on 127.0.0.1 that accepts connections at the socket level and never
// answers (the kernel completes the handshake; nobody reads).
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 held bound but not listening, so connections to it are
// refused for as long as the object lives.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A free port on 127.0.0.1 at the time of the call.
int free_port();

}  // namespace test_support
