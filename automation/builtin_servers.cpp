#include "automation/builtin_servers.h"

#include <vector>

namespace automation {

std::span<const BuiltinServer> builtin_servers() {
  static const std::vector<BuiltinServer> servers = {
      // One row per server: {"ProgID", "{class id}", factory}.
  };
  return servers;
}

}  // namespace automation
