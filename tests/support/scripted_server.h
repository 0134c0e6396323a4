// A raw TCP server on 127.0.0.1 that plays one scripted behaviour on every
// connection it accepts, for tests of a client against servers that misbehave:
// answers cut short, resets, silence, drips, bytes that are not HTTP.
//
//   test_support::ScriptedServer server([](test_support::Connection& c) {
//     c.read_request();
//     c.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhel");
//     c.reset();
//   });
//   http_get(server.url("/"));
//
// Each connection runs its behaviour on a thread of its own. The destructor
// stops accepting, wakes every behaviour that sends, waits or reads (those
// calls return false or "" from then on) and joins the threads.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace test_support {

class Connection {
 public:
  Connection(int fd, int stop_fd) : fd_(fd), stop_fd_(stop_fd) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Reads one request: its head up to the blank line, then as many body bytes
  // as its Content-Length says. Returns the head (request line and header
  // lines); "" when the peer closes or the server stops first.
  std::string read_request();
  // Sends all of `data`; false when the peer has gone or the server stops.
  bool send(std::string_view data);
  // Sends `data` one byte at a time, `gap` apart; false as send() is.
  bool drip(std::string_view data, std::chrono::milliseconds gap);
  // Waits for `duration`; false when the server stops first.
  bool pause(std::chrono::milliseconds duration);
  // Waits until the peer closes the connection or the server stops.
  void hold();
  // Ends the connection with a reset (RST) rather than an orderly close.
  void reset();

 private:
  // Waits for `events` on the socket; false on stop or time-out.
  bool wait_for(short events, int timeout_ms);

  int fd_;
  int stop_fd_;
  std::string pending_;  // bytes read past the last request
};

class ScriptedServer {
 public:
  using Behaviour = std::function<void(Connection&)>;

  // Binds a free port on 127.0.0.1 and starts accepting; port() is 0 when
  // binding failed.
  explicit ScriptedServer(Behaviour behaviour);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // `scheme` "://127.0.0.1:<port>" followed by `path`.
  std::string url(std::string_view path, std::string_view scheme = "http") const;
  // Connections accepted so far.
  int connections() const { return connections_.load(); }

 private:
  void accept_loop();

  Behaviour behaviour_;
  int listen_fd_ = -1;
  int stop_fd_ = -1;  // an eventfd, readable once the server stops
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// The path of a request head's request line ("GET /a?b HTTP/1.1" gives "/a?b");
// "" when the line has no path.
std::string request_path(std::string_view head);

}  // namespace test_support
