#include <map>
#include <mutex>

#include "automation/builtin_servers.h"
#include "automation/server.h"

namespace automation {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, Factory> factories;

  Registry() {
    for (const BuiltinServer& b : builtin_servers()) {
      factories[lower(b.progid)] = b.factory;
      factories[lower(b.clsid)] = b.factory;
    }
  }
};

Registry& registry() {
  static Registry r;
  return r;
}

Factory lookup(std::string_view progid) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const auto it = r.factories.find(lower(progid));
  return it == r.factories.end() ? Factory{} : it->second;
}

}  // namespace

void register_server(std::string_view progid, Factory factory) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.factories[lower(progid)] = std::move(factory);
}

void unregister_server(std::string_view progid) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.factories.erase(lower(progid));
}

std::shared_ptr<Server> create_server(std::string_view progid) {
  const Factory factory = lookup(progid);
  return factory ? factory() : nullptr;
}

ScopedRegistration::ScopedRegistration(std::string progid, Factory factory)
    : progid_(std::move(progid)), previous_(lookup(progid_)) {
  register_server(progid_, std::move(factory));
}

ScopedRegistration::~ScopedRegistration() {
  if (previous_) {
    register_server(progid_, std::move(previous_));
  } else {
    unregister_server(progid_);
  }
}

}  // namespace automation
