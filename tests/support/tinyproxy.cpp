#include "tests/support/tinyproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/loopback_server.h"

extern char** environ;

namespace test_support {
namespace {

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

Tinyproxy::Tinyproxy(std::string user, std::string password) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tinyproxy-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return;
  dir_ = pattern;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int port = free_port();
    {
      std::ofstream conf(dir_ + "/tinyproxy.conf");
      conf << "Port " << port << "\n"
           << "Listen 127.0.0.1\n"
           << "Timeout 30\n"
           << "MaxClients 16\n"
           << "Allow 127.0.0.1\n"
           << "BasicAuth " << user << " " << password << "\n"
           << "LogFile \"" << dir_ << "/tinyproxy.log\"\n"
           << "LogLevel Error\n"
           << "DisableViaHeader Yes\n";
    }
    if (launch(port)) return;
  }
}

Tinyproxy::~Tinyproxy() {
  stop();
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

std::string Tinyproxy::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

bool Tinyproxy::launch(int port) {
  const std::string conf = dir_ + "/tinyproxy.conf";
  std::vector<std::string> argv_text = {"tinyproxy", "-d", "-c", conf};
  std::vector<char*> argv;
  for (std::string& a : argv_text)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, "tinyproxy", nullptr, nullptr, argv.data(), environ) != 0) return false;
  pid_ = pid;
  for (int i = 0; i < 500; ++i) {
    if (accepts(port)) {
      port_ = port;
      return true;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // it exited: port taken, or bad config
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop();
  return false;
}

void Tinyproxy::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace test_support
