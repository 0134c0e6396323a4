// automation::Object: a late-bound handle on an automation server object.
//
// Holds at most one reference to a server object. Copying a handle takes a
// further reference to the same object. Member names match without regard to
// case. Arguments may be texts (code page 936, passed as UTF-16), integers,
// logicals, doubles, Bytes (passed as a byte array) or Variants. Nothing throws:
// a call that fails, or any call on a handle that holds no object, yields the
// empty value of the kind asked (empty variant, "", 0), and a failed write
// changes nothing.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/server.h"
#include "automation/variant.h"

namespace automation {

class Object {
 public:
  Object() = default;

  // Makes a running instance of the class registered under `progid` (or a class
  // id in braces), releasing what the handle held first. False when that fails.
  bool create(std::string_view progid);
  // Drops the handle's reference.
  void release() { server_.reset(); }
  bool valid() const { return server_ != nullptr; }
  // The server object, for tests that inspect it.
  const std::shared_ptr<Server>& server() const { return server_; }

  // Calls a method by name.
  template <class... Args>
  Variant call(std::string_view member, const Args&... args) {
    return invoke(member, Access::method, {to_variant(args)...});
  }
  template <class... Args>
  std::string call_text(std::string_view member, const Args&... args) {
    return call(member, args...).to_text();
  }
  template <class... Args>
  double call_number(std::string_view member, const Args&... args) {
    return call(member, args...).to_number();
  }

  // Reads a member (a property, or a method without arguments).
  Variant get(std::string_view member) { return invoke(member, Access::get, {}); }
  std::string get_text(std::string_view member) { return get(member).to_text(); }
  double get_number(std::string_view member) { return get(member).to_number(); }

  // Writes a property; the indexed form passes the index first.
  template <class T>
  bool put(std::string_view member, const T& value) {
    bool ok = false;
    invoke(member, Access::put, {to_variant(value)}, &ok);
    return ok;
  }
  template <class T>
  bool put(std::string_view member, std::int32_t index, const T& value) {
    bool ok = false;
    invoke(member, Access::put, {Variant(index), to_variant(value)}, &ok);
    return ok;
  }

  static Variant to_variant(const Variant& v) { return v; }
  static Variant to_variant(std::string_view text) { return Variant::from_text(text); }
  static Variant to_variant(const std::string& text) { return Variant::from_text(text); }
  static Variant to_variant(const char* text) { return Variant::from_text(text); }
  static Variant to_variant(bool b) { return Variant(b); }
  static Variant to_variant(int i) { return Variant(static_cast<std::int32_t>(i)); }
  static Variant to_variant(double d) { return Variant(d); }
  static Variant to_variant(const Bytes& b) { return Variant(b); }

 private:
  Variant invoke(std::string_view member, Access access, std::vector<Variant> args,
                 bool* ok = nullptr);

  std::shared_ptr<Server> server_;
};

}  // namespace automation
