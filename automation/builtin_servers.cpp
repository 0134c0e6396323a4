#include "automation/builtin_servers.h"

#include <vector>

#include "automation/adodb_stream.h"
#include "automation/script_control.h"

namespace automation {

std::span<const BuiltinServer> builtin_servers() {
  static const std::vector<BuiltinServer> servers = {
      // One row per server: {"ProgID", "{class id}", factory}.
      {"ScriptControl", "{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}", make_script_control},
      {"Adodb.Stream", "{00000566-0000-0010-8000-00AA006D2EA4}", make_adodb_stream},
  };
  return servers;
}

}  // namespace automation
