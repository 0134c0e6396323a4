#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace test_support {
namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";

// The value of Content-Length in a request head, 0 when absent.
size_t content_length(std::string_view head) {
  size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string_view::npos) {
    at += 2;
    const std::string_view rest = head.substr(at);
    constexpr std::string_view name = "content-length:";
    if (rest.size() < name.size()) break;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      const char c = rest[i];
      same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) == name[i];
    }
    if (same) return std::strtoull(std::string(rest.substr(name.size(), 20)).c_str(), nullptr, 10);
  }
  return 0;
}

}  // namespace

Connection::~Connection() {
  if (fd_ >= 0) ::close(fd_);
}

bool Connection::wait_for(short events, int timeout_ms) {
  pollfd fds[2] = {{fd_, events, 0}, {stop_fd_, POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 2, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || (fds[1].revents & POLLIN)) return false;
    return true;
  }
}

std::string Connection::read_request() {
  if (fd_ < 0) return {};
  char buffer[16384];
  size_t head_end = pending_.find(kHeadEnd);
  while (head_end == std::string::npos) {
    if (!wait_for(POLLIN, -1)) return {};
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    pending_.append(buffer, static_cast<size_t>(n));
    head_end = pending_.find(kHeadEnd);
  }
  std::string head = pending_.substr(0, head_end);
  const size_t body = content_length(pending_.substr(0, head_end + 2));
  size_t have = pending_.size() - head_end - kHeadEnd.size();
  while (have < body) {
    if (!wait_for(POLLIN, -1)) return {};
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    pending_.append(buffer, static_cast<size_t>(n));
    have += static_cast<size_t>(n);
  }
  pending_.erase(0, head_end + kHeadEnd.size() + body);
  return head;
}

bool Connection::send(std::string_view data) {
  if (fd_ < 0) return false;
  while (!data.empty()) {
    if (!wait_for(POLLOUT, -1)) return false;
    const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool Connection::drip(std::string_view data, std::chrono::milliseconds gap) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0 && !pause(gap)) return false;
    if (!send(data.substr(i, 1))) return false;
  }
  return true;
}

bool Connection::pause(std::chrono::milliseconds duration) {
  pollfd stop = {stop_fd_, POLLIN, 0};
  const auto until = std::chrono::steady_clock::now() + duration;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          until - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return true;
    const int n = ::poll(&stop, 1, static_cast<int>(left));
    if (n > 0) return false;
    if (n < 0 && errno != EINTR) return false;
  }
}

void Connection::hold() {
  if (fd_ < 0) return;
  char buffer[4096];
  while (wait_for(POLLIN, -1)) {
    if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
  }
}

void Connection::reset() {
  if (fd_ < 0) return;
  const linger abort_on_close = {1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  ::close(fd_);
  fd_ = -1;
}

ScriptedServer::ScriptedServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (stop_fd_ < 0 || listen_fd_ < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      ::listen(listen_fd_, 64) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

ScriptedServer::~ScriptedServer() {
  if (stop_fd_ >= 0) {
    const std::uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);
  }
  if (acceptor_.joinable()) acceptor_.join();
  // No thread is added once the acceptor has ended.
  for (std::thread& t : workers_) {
    t.join();
  }
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (stop_fd_ >= 0) ::close(stop_fd_);
}

void ScriptedServer::accept_loop() {
  pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[1].revents & POLLIN)) return;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    std::lock_guard lock(mutex_);
    workers_.emplace_back([this, fd] {
      Connection connection(fd, stop_fd_);
      behaviour_(connection);
    });
  }
}

std::string ScriptedServer::url(std::string_view path, std::string_view scheme) const {
  return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string request_path(std::string_view head) {
  const size_t first = head.find(' ');
  if (first == std::string_view::npos) return {};
  const size_t second = head.find(' ', first + 1);
  const size_t line_end = head.find("\r\n");
  if (second == std::string_view::npos || second > line_end) return {};
  return std::string(head.substr(first + 1, second - first - 1));
}

}  // namespace test_support
