// A tinyproxy process on 127.0.0.1 with Basic authentication, for tests.
//
// The constructor writes a configuration into a fresh temporary directory,
// starts tinyproxy in the foreground on a free port and waits until the port
// accepts connections; the destructor stops that process and removes the
// directory. running() is false when it could not be started.
#pragma once

#include <sys/types.h>
#include <string>

namespace test_support {

class Tinyproxy {
 public:
  Tinyproxy(std::string user, std::string password);
  ~Tinyproxy();
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  // "127.0.0.1:<port>", as a proxy setting.
  std::string address() const;

 private:
  bool launch(int port);
  void stop();

  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace test_support
