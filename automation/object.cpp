#include "automation/object.h"

namespace automation {

bool Object::create(std::string_view progid) {
  server_.reset();
  server_ = create_server(progid);
  return server_ != nullptr;
}

Variant Object::invoke(std::string_view member, Access access, std::vector<Variant> args,
                       bool* ok) {
  if (!server_) return {};
  std::string name(member);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  Variant result;
  const bool done = server_->invoke(name, access, args, result);
  if (ok) *ok = done;
  if (!done) return {};
  return result;  // moved out, not copied: a response body can be large
}

}  // namespace automation
