// category-service: the bundled category service, HTTPS on 127.0.0.1.
//
//   category-service [--port N] [--catalog FILE] [--threads N] [--cert-out FILE]
//
// Prints "listening on 127.0.0.1:PORT" as its first line once it accepts
// connections (with --port 0 the port is a free one), logs one line per request
// on stderr, and stops on SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "catalog.h"
#include "server.h"

namespace {

constexpr char kUsage[] =
    "usage: category-service [--port N] [--catalog FILE] [--threads N] [--cert-out FILE]\n"
    "  --port N        port on 127.0.0.1 (default 8443; 0 picks a free one)\n"
    "  --catalog FILE  products, tab-separated: id, category id, category name\n"
    "                  (default " CATEGORY_SERVICE_CATALOG
    ")\n"
    "  --threads N     connections served at once (default 256)\n"
    "  --cert-out FILE also write the self-signed certificate there, in PEM\n";

bool parse_int(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 8443;
  std::string catalog_path = CATEGORY_SERVICE_CATALOG;
  std::string cert_out;
  category_service::ServerOptions options;

  // Every option takes one value.
  for (int i = 1; i < argc; i += 2) {
    const std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = value != nullptr;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--port") {
      ok = ok && parse_int(value, 0, 65535, &port);
    } else if (arg == "--threads") {
      ok = ok && parse_int(value, 1, 4096, &options.threads);
    } else if (arg == "--catalog") {
      if (ok) catalog_path = value;
    } else if (arg == "--cert-out") {
      if (ok) cert_out = value;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "category-service: bad argument '%s'\n%s", argv[i], kUsage);
      return 2;
    }
  }

  auto catalog = category_service::Catalog::load(catalog_path);
  if (!catalog) {
    std::fprintf(stderr, "category-service: cannot read the catalog %s\n", catalog_path.c_str());
    return 1;
  }

  // SIGINT and SIGTERM are taken by sigwait below, in every thread.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  const size_t products = catalog->size();
  category_service::Server server(std::move(*catalog), options);
  if (!server.valid()) {
    std::fputs("category-service: cannot make the TLS certificate\n", stderr);
    return 1;
  }
  if (!cert_out.empty()) {
    std::ofstream(cert_out) << server.certificate_pem();
  }
  const int bound = server.start("127.0.0.1", port);
  if (bound < 0) {
    std::fprintf(stderr, "category-service: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::printf("listening on 127.0.0.1:%d\n", bound);
  std::fflush(stdout);
  std::fprintf(stderr, "category-service: %zu products, https://127.0.0.1:%d/category/index/get\n",
               products, bound);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  std::fprintf(stderr, "category-service: stopping on signal %d\n", signal_number);
  return 0;  // the server stops as it goes out of scope
}
