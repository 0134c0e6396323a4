#include "automation/builtin_servers.h"

#include <vector>

#include "automation/winhttp_request.h"

namespace automation {

std::span<const BuiltinServer> builtin_servers() {
  static const std::vector<BuiltinServer> servers = {
      // One row per server: {"ProgID", "{class id}", factory}.
      {kWinHttpRequestProgId, kWinHttpRequestClsid, make_winhttp_request},
  };
  return servers;
}

}  // namespace automation
