#include "automation/builtin_servers.h"

#include <vector>

#include "automation/adodb_stream.h"
#include "automation/script_control.h"
#include "automation/winhttp_request.h"

namespace automation {

std::span<const BuiltinServer> builtin_servers() {
  static const std::vector<BuiltinServer> servers = {
      // One row per server: {"ProgID", "{class id}", factory}.
      {"WinHttp.WinHttpRequest.5.1", "{2087C2F4-2CEF-4953-A8AB-66779B670495}",
       make_winhttp_request},
      {"ScriptControl", "{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}", make_script_control},
      {"Adodb.Stream", "{00000566-0000-0010-8000-00AA006D2EA4}", make_adodb_stream},
  };
  return servers;
}

}  // namespace automation
