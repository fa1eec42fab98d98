#include "devctl/text/text_commands.h"

#include "devctl/text/device_commands.h"
#include "devctl/text/eq_commands.h"
#include "devctl/text/help_command.h"
#include "devctl/text/input_gain_commands.h"
#include "devctl/text/link_group_commands.h"
#include "devctl/text/mute_commands.h"
#include "devctl/text/name_commands.h"
#include "devctl/text/network_commands.h"
#include "devctl/text/output_volume_commands.h"
#include "devctl/text/preset_commands.h"
#include "devctl/text/routing_commands.h"
#include "devctl/text/status_report.h"
#include "devctl/text/system_commands.h"

namespace {

// The order the dispatcher tries the rows in. Rows whose tests cannot both match one line may
// stand in any order: the keywords tested at the beginning of the line up to USB PORT are all
// distinct (where one begins another, the longer comes first within its slice). USB PORT is
// searched anywhere, so it follows all of them and precedes everything below. The channel rows
// test "IN" or "OUT" first; within each side their order decides which command a line names.
const TextRows* const kDispatchOrder[] = {
    &kStatusRows,          // STATUS
    &kDeviceRows,          // TEMP, RESET ALL, RESET, REBOOT
    &kNetworkRows,         // NET DHCP, IP, GW, SM, RB
    &kSystemRows,          // UPTIME, NET TCPPORT, NET TN, PON ... AUTOSTB, then USB PORT
    &kNameRows,            // IN / OUT ... NAME
    &kChannelLockRows,     // IN / OUT ... CH LOCK
    &kPhantomRows,         // IN ... PHT
    &kEqVolumeLineRows,    // OUT ... EQ ... VOL
    &kOutputVolumeRows,    // OUT ... VOL+, VOL-, VOL
    &kMuteRows,            // IN / OUT ... MUTE
    &kEqRows,              // IN ... EQ (any IN EQ line); OUT ... EQ band, lock, ON/OFF, CLR
    &kRoutingRows,         // OUT ... FR
    &kOutputEqPresetRows,  // OUT ... EQ PRESET
    &kInputGainRows,       // IN ... GAIN, GAIN+, GAIN-
    &kGroupAndDelayRows,   // IN GROUP, OUT DLYT, OUT GROUP
    &kPresetRows,          // PRESET
    &kDnsRows,             // NET DNS
    &kIdentityRows,        // NETMAC, NETSUBMAC, GETNETSUBMAC, NETSN, GETNETSN
    &kHelpRows,            // ? / HELP
};

// The order HELP lists the commands in.
const HelpRows* const kHelpOrder[] = {
    &kHelpRequestHelp,       // System Information: ?/HELP
    &kStatusHelp,            // STATUS
    &kUptimeHelp,            // UPTIME
    &kTemperatureHelp,       // TEMP
    &kPowerHelp,             // System Control: PON, POFF, PWLED FOLLOW
    &kResetHelp,             // RESET, RESET ALL, REBOOT
    &kSystemSettingsHelp,    // STANDBY, AUTO STB, KEY, LCD, RSB; Input Control: USB PORT
    &kInputNameHelp,         // IN NAME
    &kInputLockHelp,         // IN CH LOCK
    &kPhantomHelp,           // IN PHT
    &kInputGainHelp,         // IN GAIN, GAIN+, GAIN-
    &kInputMuteHelp,         // IN MUTE
    &kInputEqHelp,           // IN EQ PRESET, LOCK, ON/OFF, band, CLR
    &kInputGroupHelp,        // IN GROUP
    &kOutputNameHelp,        // Output Control: OUT NAME
    &kOutputLockHelp,        // OUT CH LOCK
    &kRoutingHelp,           // OUT FR
    &kOutputVolumeHelp,      // OUT VOL, VOL+, VOL-
    &kOutputMuteHelp,        // OUT MUTE
    &kOutputEqHelp,          // OUT EQ PRESET, LOCK, ON/OFF, band, CLR
    &kOutputDelayGroupHelp,  // OUT DLYT, OUT GROUP
    &kPresetHelp,            // Preset Control: PRESET STATUS, SAVE, APPLY, DELETE, NAME
    &kNetworkAddressHelp,    // Network Control: NET DHCP, IP, GW, SM
    &kControlPortHelp,       // NET TCPPORT, NET TN
    &kNetworkApplyHelp,      // NET RB, NET DNS
};

// The slices are joined on first use, after every family file's rows are built.
template <typename Row, size_t N>
std::vector<Row> Join(const RowSlice<Row>* const (&order)[N]) {
  std::vector<Row> rows;
  for (const RowSlice<Row>* slice : order) rows.insert(rows.end(), slice->begin(), slice->end());
  return rows;
}

}  // namespace

const std::vector<TextRow>& TextDispatchTable() {
  static const std::vector<TextRow> table = Join(kDispatchOrder);
  return table;
}

const std::vector<text_command_s>& TextHelpTable() {
  static const std::vector<text_command_s> table = Join(kHelpOrder);
  return table;
}
