// The servers we provide in the platform's place, registered at first use.
#pragma once

#include <span>

#include "automation/server.h"

namespace automation {

struct BuiltinServer {
  const char* progid;
  const char* clsid;  // the class id in braces, accepted as well
  Factory factory;
};

std::span<const BuiltinServer> builtin_servers();

}  // namespace automation
