#include "server.h"

#include <httplib.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "answer.h"

namespace category_service {
namespace {

constexpr char kLoopback[] = "127.0.0.1";
constexpr long kValiditySeconds = 365L * 24 * 3600;
constexpr size_t kMaxBody = 1 << 20;

struct X509Free {
  void operator()(X509* p) const { X509_free(p); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct ExtFree {
  void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free(p); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

bool add_extension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  std::unique_ptr<X509_EXTENSION, ExtFree> ext(
      X509V3_EXT_conf_nid(nullptr, &ctx, nid, const_cast<char*>(value)));
  return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

// An EC P-256 key and a certificate for 127.0.0.1 signed with it, valid from
// an hour ago for a year. Both null on failure.
std::pair<X509Ptr, PkeyPtr> make_certificate() {
  PkeyPtr key(EVP_EC_gen("P-256"));
  X509Ptr cert(X509_new());
  if (!key || !cert) return {};

  unsigned char serial[8];
  if (RAND_bytes(serial, sizeof serial) != 1) return {};
  serial[0] &= 0x7F;  // a positive serial number
  std::unique_ptr<BIGNUM, decltype(&BN_free)> bn(BN_bin2bn(serial, sizeof serial, nullptr),
                                                 BN_free);
  X509_NAME* name = X509_get_subject_name(cert.get());
  const bool ok = bn &&
                  BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(cert.get())) != nullptr &&
                  X509_set_version(cert.get(), 2) == 1 &&
                  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr &&
                  X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValiditySeconds) != nullptr &&
                  X509_set_pubkey(cert.get(), key.get()) == 1 &&
                  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                             reinterpret_cast<const unsigned char*>(kLoopback), -1,
                                             -1, 0) == 1 &&
                  X509_set_issuer_name(cert.get(), name) == 1 &&
                  add_extension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1") &&
                  add_extension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") &&
                  add_extension(cert.get(), NID_subject_key_identifier, "hash") &&
                  X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
  if (!ok) return {};
  return {std::move(cert), std::move(key)};
}

std::string to_pem(X509* cert) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1) return {};
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

// cpp-httplib's TLS server, with the listen backlog widened once bound (the
// library's own is 5, too few for a burst of clients).
class TlsServer : public httplib::SSLServer {
 public:
  using httplib::SSLServer::SSLServer;
  bool widen_backlog(int backlog) { return ::listen(svr_sock_, backlog) == 0; }
};

const char* status_text(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    default:
      return "Error";
  }
}

void log_to_stderr(std::string_view line) {
  std::string out(line);
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stderr);  // one write per line
}

}  // namespace

struct Server::Impl {
  Catalog catalog;
  ServerOptions options;
  X509Ptr cert;
  PkeyPtr key;
  std::unique_ptr<TlsServer> http;
  std::thread background;
  std::mutex log_mutex;

  void handle_lookup(const httplib::Request& req, httplib::Response& res) {
    const auto ids = parse_ids(req.body);
    if (!ids) {
      res.status = 400;
      res.set_content("malformed form body: expected ids[]=...\n", "text/plain");
      return;
    }
    res.set_content(answer_json(catalog, *ids), "application/json; charset=utf-8");
  }

  void log(const httplib::Request& req, const httplib::Response& res) {
    std::string line = req.remote_addr + ":" + std::to_string(req.remote_port) + " " + req.method +
                       " " + req.path + " " + std::to_string(res.status) + " " +
                       std::to_string(res.body.size());
    std::lock_guard lock(log_mutex);
    if (options.log) {
      options.log(line);
    } else {
      log_to_stderr(line);
    }
  }
};

Server::Server(Catalog catalog, ServerOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->catalog = std::move(catalog);
  impl_->options = std::move(options);
  auto [cert, key] = make_certificate();
  if (!cert) return;
  // The TLS context takes its own references to the certificate and the key.
  impl_->http = std::make_unique<TlsServer>(cert.get(), key.get());
  impl_->cert = std::move(cert);
  impl_->key = std::move(key);
  if (!impl_->http->is_valid()) {
    impl_->http.reset();
    return;
  }

  Impl* impl = impl_.get();
  auto& http = *impl->http;
  const size_t threads = impl->options.threads > 0 ? impl->options.threads : 1;
  // cpp-httplib takes ownership of the queue it gets from this factory.
  http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  http.set_payload_max_length(kMaxBody);
  // An answer goes out as several small TLS records right after the session
  // tickets; without this each answer waits for the client's delayed ACK.
  http.set_tcp_nodelay(true);
  http.Post("/category/index/get", [impl](const httplib::Request& req, httplib::Response& res) {
    impl->handle_lookup(req, res);
  });
  http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) {
      res.set_content(std::to_string(res.status) + " " + status_text(res.status) + "\n",
                      "text/plain");
    }
  });
  http.set_logger(
      [impl](const httplib::Request& req, const httplib::Response& res) { impl->log(req, res); });
}

Server::~Server() {
  stop();
  if (impl_->background.joinable()) impl_->background.join();
}

bool Server::valid() const {
  return impl_->http != nullptr;
}

std::string Server::certificate_pem() const {
  return impl_->cert ? to_pem(impl_->cert.get()) : std::string();
}

int Server::bind(const std::string& host, int port) {
  if (!valid()) return -1;
  int bound = -1;
  if (port == 0) {
    bound = impl_->http->bind_to_any_port(host);
  } else if (impl_->http->bind_to_port(host, port)) {
    bound = port;
  }
  if (bound <= 0) return -1;
  impl_->http->widen_backlog(impl_->options.backlog);
  return bound;
}

bool Server::serve() {
  return valid() && impl_->http->listen_after_bind();
}

int Server::start(const std::string& host, int port) {
  const int bound = bind(host, port);
  if (bound < 0) return -1;
  impl_->background = std::thread([this] { serve(); });
  // Until the loop runs, stop() would not reach it.
  while (!impl_->http->is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return bound;
}

void Server::stop() {
  if (impl_->http) impl_->http->stop();
}

}  // namespace category_service
