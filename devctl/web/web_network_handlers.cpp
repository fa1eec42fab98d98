// "set network" and "set defaults network".
#include <climits>
#include <iterator>
#include <vector>

#include "devctl/core/limits.h"
#include "devctl/core/network_changes.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/json_members.h"
#include "devctl/web/set_command.h"
#include "devctl/web/web_network_handlers.h"

bool WebSetNetwork(const cJSON* request, WebAnswer& answer) {
  // Every member is required; the values are checked as the text commands check them before
  // anything is woken, stored or written.
  std::vector<int> v;
  if (!ReadSetCommand(
          request,
          {{"dhcp", INT_MIN, INT_MAX}, {"tcpport", 1, kMaxPort}, {"telnetport", 1, kMaxPort}}, &v,
          answer)) {
    return false;
  }
  NetworkSettings s;
  s.dhcp = v[0];
  s.tcpport = v[1];
  s.telnetport = v[2];
  const struct {
    const char* key;
    std::string* out;
    size_t limit;
  } strings[] = {{"ipaddress", &s.ipaddress, kMaxAddressText},
                 {"subnet", &s.subnet, kMaxAddressText},
                 {"gateway", &s.gateway, kMaxAddressText},
                 {"hostname", &s.hostname, web::kMaxJsonString},
                 {"model", &s.model, web::kMaxJsonString}};
  for (const auto& m : strings) {
    if (!web::ReadJsonString(request, m.key, m.out, m.limit)) return RefuseSetCommand(answer);
  }
  if (!IsValidNetworkSettings(g_unit, s)) return RefuseSetCommand(answer);
  answer.change = [s](WebAnswer& answer) {
    const NetworkSettingsOutcome out = ApplyNetworkSettings(g_unit, s, answer.notice);
    // Saved by the change itself, before any file was written or the reboot asked for.
    answer.error = OutcomeError(out.result);
    if (out.address_changed) StartDhcpcdRestart();
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetDefaultsNetwork(const cJSON* request, WebAnswer& answer) {
  web::ReadJsonString(request, "comhead", &answer.comhead);
  answer.change = [](WebAnswer& answer) {
    answer.error = OutcomeError(ResetNetworkToDefaults(g_unit, answer.notice));
    return WebOutcome::kChanged;
  };
  return true;
}

namespace {

// Both save what they change themselves (ahead of the files and the reboot they may ask for).
const WebCommandRow kRows[] = {
    {"set network", WebSetNetwork, kWebWakes | kWebAnswersResult},
    {"set defaults network", WebSetDefaultsNetwork, kWebWakes | kWebAnswersResult},
};

}  // namespace

const WebCommandRows kWebNetworkRows{kRows, std::size(kRows)};
