#include "tests/support/recording_server.h"

#include <cstdio>

namespace test_support {
namespace {

std::string describe_value(const automation::Variant& v) {
  const auto& value = v.value();
  if (v.is_text()) return "\"" + v.to_text() + "\"";
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (const auto* i = std::get_if<std::int32_t>(&value)) return std::to_string(*i);
  if (std::holds_alternative<double>(value)) return v.to_text() + "d";
  if (const auto* bytes = std::get_if<Bytes>(&value)) {
    return "bytes[" + std::to_string(bytes->size()) + "]";
  }
  return "empty";
}

}  // namespace

std::string describe(const RecordedCall& call) {
  switch (call.access) {
    case automation::Access::get:
      return "get " + call.member;
    case automation::Access::put: {
      std::string out = "put " + call.member;
      if (call.args.size() == 2) out += "[" + describe_value(call.args[0]) + "]";
      return out + " = " + (call.args.empty() ? "?" : describe_value(call.args.back()));
    }
    case automation::Access::method:
      break;
  }
  std::string out = call.member + "(";
  for (size_t i = 0; i < call.args.size(); ++i) {
    if (i > 0) out += ", ";
    out += describe_value(call.args[i]);
  }
  return out + ")";
}

void CallLog::record(RecordedCall call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<RecordedCall> CallLog::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> CallLog::described() const {
  std::vector<std::string> out;
  for (const RecordedCall& c : calls())
    out.push_back(describe(c));
  return out;
}

void CallLog::set_reply(const std::string& member, automation::Variant value) {
  std::lock_guard lock(mutex_);
  replies_[member] = std::move(value);
}

automation::Variant CallLog::reply(const std::string& member) const {
  std::lock_guard lock(mutex_);
  const auto it = replies_.find(member);
  return it == replies_.end() ? automation::Variant() : it->second;
}

int CallLog::objects_created() const {
  std::lock_guard lock(mutex_);
  return objects_;
}

void CallLog::count_object() {
  std::lock_guard lock(mutex_);
  ++objects_;
}

bool RecordingServer::invoke(std::string_view member, automation::Access access,
                             std::span<const automation::Variant> args,
                             automation::Variant& result) {
  const std::string name(member);
  log_->record({name, access, {args.begin(), args.end()}});
  if (access != automation::Access::put) result = log_->reply(name);
  return true;
}

RecordingRegistration::RecordingRegistration(std::string progid)
    : log_(std::make_shared<CallLog>()),
      registration_(std::move(progid), [log = log_]() -> std::shared_ptr<automation::Server> {
        log->count_object();
        return std::make_shared<RecordingServer>(log);
      }) {}

}  // namespace test_support
