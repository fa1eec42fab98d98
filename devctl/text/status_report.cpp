#include "devctl/text/status_report.h"

#include <cstdarg>
#include <cstdio>
#include <memory>

#include "devctl/core/config_file.h"
#include "devctl/core/identity.h"
#include "devctl/core/net_status.h"
#include "devctl/core/temperature.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/uptime.h"
#include "devctl/text/reply_text.h"

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(&text[0], text.size() + 1, format, args);
  va_end(args);
  return text;
}

// Word of a table entry, or the stored number when it is outside the table.
std::string Word(const char* const* table, int size, int index) {
  return index >= 0 && index < size ? table[index] : std::to_string(index);
}

std::string PortWord(int enabled, int port) { return enabled ? std::to_string(port) : "Off"; }

bool AllZero(const std::string& text) { return PaddedAddress(text) == "000.000.000.000"; }

std::string CurrentAddress(const std::string& in_use, const std::string& configured) {
  return PaddedAddress(AllZero(in_use) ? configured : in_use);
}

std::string SourceName(const app_config_s& live, int source) {
  if (source == 0) return "None";
  if (source >= 1 && source <= kDspChannels) return live.input_name[source - 1];
  return std::to_string(source);
}

}  // namespace

std::string PaddedAddress(const std::string& text) {
  int n[4] = {0, 0, 0, 0};
  std::sscanf(text.c_str(), "%d.%d.%d.%d", &n[0], &n[1], &n[2], &n[3]);
  return Format("%03d.%03d.%03d.%03d", n[0], n[1], n[2], n[3]);
}

std::string FormatStatusReport(const app_config_s& c, const StatusReportSources& s) {
  static const char* const kLcd[] = {"Off", "On", "15s", "30s", "60s"};
  static const char* const kBaud[] = {"4800", "9600", "19200", "38400", "57600", "115200"};
  const std::string rule(65, '=');
  app_config_s& live = const_cast<app_config_s&>(c);  // the channel accessors are not const
  std::string r = "\r\n" + rule + "\r\n";
  r += "      " + c.model + " Status\r\n";
  r += "      FW Version:MCU_Main " + s.main_version + "/MCU_Sub " + s.mcu_version +
       "/NETAUDIO_SDK " + s.netaudio_version + "\r\n\r\n";
  r += "Power   Standby_Time   Power_LED   LCD    USB_Port   Standby_Mode\r\n";
  r += Format("%-3s     %-4d           %-6s      %-3s    %-6s     %-7s\r\n", OnOff(c.power),
              c.standbytime, c.powerled == 0 ? "On" : "Follow", Word(kLcd, 5, c.front_lcd).c_str(),
              c.usb_status == 0 ? "USB-C" : "USB-B", c.standby_mode == 0 ? "Sleep" : "Standby");
  r += "\r\nKey_Lock  Baud_Rate  Temp(C)   Uptime(Day:Hour:Min:Sec)\r\n";
  const std::string temp = Format("%dC", s.temperature);
  r += Format("%-3s       %-7s    %-4s      %s\r\n", c.key_lock == 0 ? "Off" : "On",
              (c.baudrate >= 1 && c.baudrate <= 6 ? std::string(kBaud[c.baudrate - 1])
                                                  : std::to_string(c.baudrate))
                  .c_str(),
              temp.c_str(), FormatUptime(s.uptime_seconds).c_str());
  r += "\r\nInput   Name                        Phantom_Power              Locked      Gain(dB)   "
       "Mute\r\n";
  for (int n = 1; n <= kDspChannels; ++n) {
    const int ch = n - 1;
    const char* locked = YesNo(live.InputLinkRef(ch / 2));
    if (n <= 4) {
      r += Format("%02d      %-24s    %-3s                        %-6s      %-3d        %-3s\r\n",
                  n, c.input_name[ch], OnOff(c.analogue_input_phantom[ch]), locked,
                  live.InputGainRef(ch), OnOff(live.InputMuteRef(ch)));
    } else {
      r += Format("%02d      %-24s    --                         %-6s      %-3d        %-3s\r\n", n,
                  c.input_name[ch], locked, live.InputGainRef(ch), OnOff(live.InputMuteRef(ch)));
    }
  }
  r += "\r\nOutput  Name                        From                       Locked      Volume     "
       "Mute\r\n";
  for (int n = 1; n <= kDspChannels; ++n) {
    const int ch = n - 1;
    r += Format("%02d      %-24s    %-24s   %-6s      %-3d        %-3s\r\n", n, c.output_name[ch],
                SourceName(c, c.control[ch]).c_str(), YesNo(live.OutputLinkRef(ch / 2)),
                live.OutputVolRef(ch), OnOff(live.OutputMuteRef(ch)));
  }
  r += c.dhcp != 0 ? "\r\nDHCP      IP               Subnet Mask      Gateway\r\n"
                   : "\r\nDHCP      IP               Subnet Mask      Gateway \r\n";
  r += Format("%-3s       %s  %s  %s\r\n", c.dhcp == 0 ? "Off" : "On",
              CurrentAddress(s.current_ip, c.ipaddress).c_str(),
              CurrentAddress(s.current_subnet, c.subnet).c_str(),
              CurrentAddress(s.current_gateway, c.gateway).c_str());
  if (c.dhcp != 0 && s.stored) {
    r += Format("(Static)  %s  %s  %s\r\n", PaddedAddress(s.stored->ipaddress).c_str(),
                PaddedAddress(s.stored->subnet).c_str(), PaddedAddress(s.stored->gateway).c_str());
  }
  r += "\r\nTelnet   TCP/IP   Mac                Local\r\n";
  r += Format("%-5s    %-5s    %-17s  %s \r\n", PortWord(c.telnet_enable, c.telnetport).c_str(),
              PortWord(c.tcpportenable, c.tcpport).c_str(), s.mac.c_str(), c.hostname.c_str());
  r += rule + "\r\n\r\n";
  return r;
}

bool TermPrintStatus(const PreparedLine&, std::string& reply) {
  StatusReportSources s;
  LoadMacAddress(&s.mac);
  ReadMainVersion();
  ReadMcuVersion();
  LoadMacAddress(&g_unit.identity.mac);
  auto stored = std::make_unique<app_config_s>();
  std::string path = g_unit.config_path;
  LoadAppConfigFile(path, kConfigFile, stored.get(), g_unit.identity.mac, g_unit.config.type);
  s.stored = stored.get();
  RefreshNetworkStatus();
  s.current_ip = g_unit.net_status.ipaddress;
  s.current_subnet = g_unit.net_status.subnet;
  s.current_gateway = g_unit.net_status.gateway;
  s.uptime_seconds = UptimeSeconds();
  s.temperature = ReadTemperature();
  s.main_version = g_unit.identity.main_version;
  s.mcu_version = g_unit.identity.mcu_version;
  s.netaudio_version = g_unit.identity.netaudio_version;
  reply += FormatStatusReport(g_unit.config, s);
  return false;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

const TextRow kStatusRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("STATUS"); }, TermPrintStatus, 0, "STATUS"},
};

const text_command_s kStatusHelpList[] = {
    {0, "STATUS", TermPrintStatus,
     FormatHelpText(nullptr, "STATUS", {"Print System Status And Port Status"})},
};

}  // namespace

const TextRows kStatusRows = SliceOf(kStatusRowList);

const HelpRows kStatusHelp = SliceOf(kStatusHelpList);
