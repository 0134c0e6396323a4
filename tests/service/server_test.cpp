#include "server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <latch>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "catalog.h"

namespace {

const std::string kPath = "/category/index/get";
const std::string kForm = "application/x-www-form-urlencoded";

category_service::Catalog bundled_catalog() {
  auto catalog = category_service::Catalog::load(CATEGORY_SERVICE_CATALOG);
  EXPECT_TRUE(catalog);
  return catalog ? std::move(*catalog) : category_service::Catalog();
}

// A service on a free loopback port, with its log kept and its certificate
// written where clients can trust it.
class ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    category_service::ServerOptions options;
    options.log = [this](std::string_view line) {
      std::lock_guard lock(log_mutex_);
      log_.emplace_back(line);
    };
    server_ = std::make_unique<category_service::Server>(bundled_catalog(), options);
    ASSERT_TRUE(server_->valid());
    port_ = server_->start("127.0.0.1", 0);
    ASSERT_GT(port_, 0);
    cert_path_ = ::testing::TempDir() + "service-cert-" + std::to_string(port_) + ".pem";
    std::ofstream(cert_path_) << server_->certificate_pem();
  }
  void TearDown() override {
    server_.reset();
    std::remove(cert_path_.c_str());
  }

  // A client that verifies the service's certificate and its address.
  std::unique_ptr<httplib::SSLClient> client() {
    auto c = std::make_unique<httplib::SSLClient>("127.0.0.1", port_);
    c->set_ca_cert_path(cert_path_.c_str());
    c->enable_server_certificate_verification(true);
    c->set_connection_timeout(20);
    c->set_read_timeout(20);
    return c;
  }

  std::vector<std::string> log() {
    std::lock_guard lock(log_mutex_);
    return log_;
  }

  std::unique_ptr<category_service::Server> server_;
  int port_ = 0;
  std::string cert_path_;
  std::mutex log_mutex_;
  std::vector<std::string> log_;
};

TEST_F(ServiceTest, Requests) {
  struct Row {
    const char* method;
    std::string path, body;
    int status;
    std::string answer;  // "" when only the status matters
  };
  const std::string dress =
      R"({"cat_id":"50010850","cat_name":"\u8fde\u8863\u88d9","id":"616943008327"})";
  const std::string phone = R"({"cat_id":"1512","cat_name":"\u624b\u673a","id":"520813250866"})";
  const Row rows[] = {
      {"POST", kPath, "ids%5B%5D=616943008327", 200, "[" + dress + "]"},
      {"POST", kPath, "ids[]=616943008327&ids[]=1&ids[]=520813250866", 200,
       "[" + dress + "," + phone + "]"},
      {"POST", kPath, "ids%5B%5D=1", 200, "[]"},
      {"POST", kPath, "ids%5B%5D=", 200, "[]"},
      {"POST", kPath, "ids%5B%5D=616943008327&spm=abc", 200, "[" + dress + "]"},
      {"POST", kPath, "", 400, ""},
      {"POST", kPath, "id=616943008327", 400, ""},
      {"POST", kPath, "ids%5B%5D=%E8%BF", 200, "[]"},
      {"POST", kPath, "ids%5B%5D=%ZZ", 400, ""},
      {"POST", kPath, "ids%5B%5D=61694300832%", 400, ""},
      {"POST", "/category/index/list", "ids%5B%5D=616943008327", 404, ""},
      {"POST", "/", "ids%5B%5D=616943008327", 404, ""},
      {"GET", "/item.htm?id=616943008327", "", 404, ""},
  };
  auto c = client();
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.method) + " " + r.path + " " + r.body);
    const auto res = std::string(r.method) == "GET"
                         ? c->Get(r.path.c_str())
                         : c->Post(r.path.c_str(), r.body, kForm.c_str());
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, r.status);
    if (r.status == 200) {
      EXPECT_EQ(res->body, r.answer);
      EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
    }
  }

  // One log line per request, naming its method, path and status.
  const auto lines = log();
  ASSERT_EQ(lines.size(), std::size(rows));
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string expected = std::string(rows[i].method) + " " +
                                 rows[i].path.substr(0, rows[i].path.find('?')) + " " +
                                 std::to_string(rows[i].status) + " ";
    EXPECT_NE(lines[i].find(expected), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].rfind("127.0.0.1:", 0), 0u) << lines[i];
  }
}

// 200 clients connect and ask at once; each holds its connection open until
// every one has its answer, then asks again on the same connection.
TEST_F(ServiceTest, HoldsTwoHundredConcurrentConnections) {
  constexpr int kClients = 200;
  const std::vector<std::pair<std::string, std::string>> products = {
      {"616943008327", "\\u8fde\\u8863\\u88d9"},
      {"520813250866", "\\u624b\\u673a"},
      {"584625713207", "\\u8fd0\\u52a8\\u978b"},
  };
  std::latch start(kClients), answered(kClients);
  std::vector<std::string> failures(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      auto c = client();
      c->set_keep_alive(true);
      const auto& [id, name] = products[i % products.size()];
      auto ask = [&](const char* round) {
        const auto res = c->Post(kPath.c_str(), "ids%5B%5D=" + id, kForm.c_str());
        if (!res) {
          failures[i] += std::string(round) + ": " + httplib::to_string(res.error()) + "; ";
        } else if (res->status != 200 || res->body.find(name) == std::string::npos ||
                   res->body.find(id) == std::string::npos) {
          failures[i] +=
              std::string(round) + ": " + std::to_string(res->status) + " " + res->body + "; ";
        }
      };
      start.arrive_and_wait();
      ask("first");
      answered.arrive_and_wait();
      if (c->is_socket_open() == 0) failures[i] += "connection closed; ";
      ask("second");
    });
  }
  for (auto& t : threads)
    t.join();
  int failed = 0;
  for (int i = 0; i < kClients; ++i) {
    if (!failures[i].empty()) {
      ++failed;
      ADD_FAILURE() << "client " << i << ": " << failures[i];
    }
  }
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(log().size(), 2u * kClients);
}

// The program: --port 0 prints the port it picked first, serves, and ends on
// SIGTERM; bad arguments are refused.
TEST(ServiceProgram, StartsOnAFreePortAndStopsOnSigterm) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(CATEGORY_SERVICE_PROGRAM, CATEGORY_SERVICE_PROGRAM, "--port", "0",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string first_line;
  char ch;
  while (read(out[0], &ch, 1) == 1 && ch != '\n')
    first_line += ch;
  close(out[0]);

  int port = 0;
  EXPECT_EQ(std::sscanf(first_line.c_str(), "listening on 127.0.0.1:%d", &port), 1) << first_line;
  if (port > 0) {
    httplib::SSLClient c("127.0.0.1", port);
    c.enable_server_certificate_verification(false);
    const auto res = c.Post(kPath.c_str(), "ids%5B%5D=616943008327", kForm.c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("\\u8fde\\u8863\\u88d9"), std::string::npos);
  }
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ServiceProgram, RefusesBadArguments) {
  const std::string program = CATEGORY_SERVICE_PROGRAM;
  const char* args[] = {"--port",      "--port x", "--port 70000",
                        "--threads 0", "--bogus",  "--catalog /nonexistent/catalog.tsv"};
  for (const char* a : args) {
    const int rc = std::system((program + " " + a + " >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) != 0) << a;
  }
}

}  // namespace
