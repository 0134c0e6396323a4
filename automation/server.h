// The server side of the automation seam, and the ProgID registry.
//
// A server object answers member calls by name. The handle (object.h) lowers the
// member name before it calls, so servers compare against lower-case ASCII names.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace automation {

enum class Access {
  method,  // call a method
  get,     // read a property (or a method without arguments)
  put,     // write a property; an indexed write passes the index first
};

class Server {
 public:
  virtual ~Server() = default;
  // Invokes `member` (lower case). Returns false when the member does not exist
  // or the call fails; a method or read stores its result in `result`.
  virtual bool invoke(std::string_view member, Access access, std::span<const Variant> args,
                      Variant& result) = 0;
};

using Factory = std::function<std::shared_ptr<Server>()>;

// Registers `factory` under a ProgID or a class id in braces (matched without
// regard to case), replacing any earlier registration. Thread-safe.
void register_server(std::string_view progid, Factory factory);
// Removes a registration; later creations under that ProgID fail.
void unregister_server(std::string_view progid);
// A running instance of the class registered under `progid`, or null.
std::shared_ptr<Server> create_server(std::string_view progid);

// Registers a server for the lifetime of the guard and restores what was
// registered before (or nothing) when it ends. For tests.
class ScopedRegistration {
 public:
  ScopedRegistration(std::string progid, Factory factory);
  ~ScopedRegistration();
  ScopedRegistration(const ScopedRegistration&) = delete;
  ScopedRegistration& operator=(const ScopedRegistration&) = delete;

 private:
  std::string progid_;
  Factory previous_;
};

}  // namespace automation
