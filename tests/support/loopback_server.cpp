#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace test_support {
namespace {

// A socket bound to 127.0.0.1 on a free port; -1 on failure.
int bound_socket(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool is_ipv4(std::string_view host) {
  in_addr a{};
  return ::inet_pton(AF_INET, std::string(host).c_str(), &a) == 1;
}

}  // namespace

SelfSignedCertificate::SelfSignedCertificate(std::string_view host, Validity validity) {
  key_ = EVP_EC_gen("P-256");
  cert_ = X509_new();
  if (!key_ || !cert_) return;
  X509_set_version(cert_, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert_), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert_), validity.from);
  X509_gmtime_adj(X509_getm_notAfter(cert_), validity.until);
  X509_set_pubkey(cert_, key_);
  X509_NAME* name = X509_get_subject_name(cert_);
  const std::string host_text(host);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(host_text.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert_, name);
  const std::string san = (is_ipv4(host) ? "IP:" : "DNS:") + host_text;
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert_, cert_, nullptr, nullptr, 0);
  if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, san.c_str())) {
    X509_add_ext(cert_, ext, -1);
    X509_EXTENSION_free(ext);
  }
  X509_sign(cert_, key_, EVP_sha256());
}

SelfSignedCertificate::~SelfSignedCertificate() {
  X509_free(cert_);
  EVP_PKEY_free(key_);
}

std::string SelfSignedCertificate::pem() const {
  BIO* bio = BIO_new(BIO_s_mem());
  if (!bio) return {};
  PEM_write_bio_X509(bio, cert_);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string out(data, n > 0 ? static_cast<size_t>(n) : 0);
  BIO_free(bio);
  return out;
}

LoopbackServer::LoopbackServer(Scheme scheme, std::string_view certificate_host, Validity validity)
    : scheme_(scheme) {
  if (scheme == Scheme::https) {
    certificate_ = std::make_unique<SelfSignedCertificate>(certificate_host, validity);
    server_ =
        std::make_unique<httplib::SSLServer>(certificate_->certificate(), certificate_->key());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
}

LoopbackServer::~LoopbackServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

bool LoopbackServer::start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  for (int i = 0; i < 500 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return server_->is_running();
}

std::string LoopbackServer::url(std::string_view path) const {
  return std::string(scheme_ == Scheme::https ? "https" : "http") +
         "://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

SilentListener::SilentListener() {
  fd_ = bound_socket(&port_);
  if (fd_ >= 0) ::listen(fd_, 16);
}

SilentListener::~SilentListener() {
  if (fd_ >= 0) ::close(fd_);
}

RefusingPort::RefusingPort() {
  fd_ = bound_socket(&port_);
}

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) ::close(fd_);
}

int free_port() {
  int port = 0;
  const int fd = bound_socket(&port);
  if (fd < 0) return 0;
  ::close(fd);
  return port;
}

}  // namespace test_support
