// A recording automation server: every member call made on objects it creates
// is logged in order, for tests that check the exact sequence of calls.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "automation/server.h"

namespace test_support {

struct RecordedCall {
  std::string member;  // lower case, as servers receive it
  automation::Access access;
  std::vector<automation::Variant> args;
};

// One line per call: `open("POST", "http://h/", false)`, `get status`,
// `put option[4] = 13056`. Texts are shown in code page 936 inside quotes,
// integers plainly, doubles with a trailing "d", byte arrays as bytes[size].
std::string describe(const RecordedCall& call);

class CallLog {
 public:
  void record(RecordedCall call);
  std::vector<RecordedCall> calls() const;
  std::vector<std::string> described() const;
  // Calls and reads of `member` (lower case) give `value`; others give an empty value.
  void set_reply(const std::string& member, automation::Variant value);
  automation::Variant reply(const std::string& member) const;
  // How many objects the registration has created.
  int objects_created() const;
  void count_object();

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedCall> calls_;
  std::map<std::string, automation::Variant> replies_;
  int objects_ = 0;
};

class RecordingServer : public automation::Server {
 public:
  explicit RecordingServer(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  bool invoke(std::string_view member, automation::Access access,
              std::span<const automation::Variant> args, automation::Variant& result) override;

 private:
  std::shared_ptr<CallLog> log_;
};

// Registers recording servers under `progid` while alive; all of them log into log().
class RecordingRegistration {
 public:
  explicit RecordingRegistration(std::string progid);
  CallLog& log() { return *log_; }

 private:
  std::shared_ptr<CallLog> log_;
  automation::ScopedRegistration registration_;
};

}  // namespace test_support
