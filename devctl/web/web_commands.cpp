#include "devctl/web/web_commands.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "devctl/web/web_eq_handlers.h"
#include "devctl/web/web_handlers.h"
#include "devctl/web/web_network_handlers.h"
#include "devctl/web/web_output_handlers.h"
#include "devctl/web/web_preset_handlers.h"
#include "devctl/web/web_system_handlers.h"
#include "devctl/web/web_upgrade_handlers.h"

const WebCommandRows* const g_web_command_families[] = {
    &kWebAccountRows, &kWebStatusRows, &kWebInputRows,   &kWebOutputRows,  &kWebEqRows,
    &kWebPresetRows,  &kWebSystemRows, &kWebNetworkRows, &kWebUpgradeRows,
};
const size_t g_web_command_family_count = std::size(g_web_command_families);

namespace {

// The order of the table, grouped by the pages of the web interface.
constexpr const char* kTableOrder[] = {
    "login",
    "logout",
    "modify password",
    "modify username",
    "get user",
    "get login user",
    "add login user",
    "delete login user",
    "get user limit",
    "set user limit",
    "set user enabled",
    "get control status",
    "set control status",
    "get input status",
    "set input gain",
    "set input phantom",
    "set input stereo",
    "set input mute",
    "set input name",
    "set input usb",
    "get output status",
    "set output vol",
    "set output mute",
    "set output stereo",
    "set output delay",
    "set output name",
    "get peq status",
    "set peq chn",
    "set peq",
    "set peq bypass",
    "set eq stereo",
    "set eq preset",
    "set peq reset",
    "get preset status",
    "get preset user",
    "set preset recall",
    "set preset name",
    "delete preset",
    "set preset save",
    "reboot",
    "set factory",
    "get status",
    "set network",
    "set telnetportenable",
    "set tcpportenable",
    "get system status",
    "set key lock",
    "set power",
    "set front lcd",
    "set power led",
    "set baudrate",
    "set standby mode",
    "set_auto_standby_time",
    "get upgrade status",
    "set defaults network",
    "GetUpgradeFW",
};

const WebCommandRow* FindRow(const char* name) {
  for (const WebCommandRows* family : g_web_command_families) {
    for (size_t i = 0; i < family->count; ++i) {
      if (std::strcmp(family->rows[i].name, name) == 0) return &family->rows[i];
    }
  }
  return nullptr;
}

// Runs before main: the family rows are constants, in place before any code runs.
const std::vector<web_command_s>& Table() {
  static const std::vector<web_command_s> table = [] {
    std::vector<web_command_s> joined;
    for (const char* name : kTableOrder) {
      web_command_s entry{name, nullptr, "help:", 0};
      if (const WebCommandRow* row = FindRow(name)) {
        entry.handler = row->handler;
        entry.frame = row->frame;
      }
      joined.push_back(entry);
    }
    return joined;
  }();
  return table;
}

}  // namespace

const web_command_s* const g_web_commands = Table().data();
const size_t g_web_command_count = Table().size();
