#include "devctl/text/dispatch_routes.h"

#include <cctype>
#include <cstring>
#include <string>

#include "devctl/text/text_commands.h"

namespace {

// A view of the condensed line with the two kinds of keyword test.
struct Line {
  std::string text;   // the whole condensed line
  std::string scope;  // the part before the first "NAME": what line-wide searches look at

  bool Begins(const char* k) const { return text.compare(0, std::strlen(k), k) == 0; }
  bool Has(const char* k) const { return text.find(k) != std::string::npos; }
  bool ScopeHas(const char* k) const { return scope.find(k) != std::string::npos; }
};

bool After(const std::string& s, const char* first, const char* then) {
  const size_t at = s.find(first);
  return at != std::string::npos && s.find(then, at + std::strlen(first)) != std::string::npos;
}

// The equaliser tests shared by the input and output groups; E is the text from the first "EQ".
struct EqTests {
  bool exists = false;
  bool band = false, lock = false, enable = false;

  explicit EqTests(const Line& line) {
    const size_t at = line.text.find("EQ");
    if (at == std::string::npos) return;
    exists = true;
    const std::string e = line.text.substr(at);
    const size_t type = e.find("TYPE");
    if (type != std::string::npos) {
      const size_t frq = e.find("FRQ", type + 4);
      if (frq != std::string::npos) {
        const size_t gain = e.find("GAIN", frq + 3);
        band = gain != std::string::npos && e.find('Q', gain + 4) != std::string::npos;
      }
    }
    const bool has_lock = e.find("LOCK") != std::string::npos;
    const bool has_on = e.find("ON") != std::string::npos;
    const bool has_off = e.find("OFF") != std::string::npos;
    lock = has_lock && (After(line.text, "LOCK", "ON") || has_off);
    enable = (has_lock && !lock && has_on) || (!has_lock && (has_on || has_off));
  }
};

// "GAIN" directly followed by a digit: "IN1GAIN5" sets the gain like "IN 1 GAIN 5".
bool HasGainDigit(const std::string& s) {
  for (size_t at = s.find("GAIN"); at != std::string::npos; at = s.find("GAIN", at + 1)) {
    if (at + 4 < s.size() && std::isdigit(static_cast<unsigned char>(s[at + 4]))) return true;
  }
  return false;
}

const TextRoute* InputRoute(const Line& l, const char* raw_upper, int raw_len) {
  const EqTests eq(l);
  if (l.Has("NAME")) return &kTermSetInputName;
  if (l.Has("CHLOCK")) return &kTermSetInputChannelLock;
  if (l.Has("PHT")) return &kTermSetInputPhantom;
  if (l.Has("MUTEON") || l.Has("MUTEOFF")) return &kTermSetInputMute;
  if (eq.band) return &kTermSetInputEqBand;
  if (eq.lock) return &kTermSetInputEqLock;
  if (eq.enable) return &kTermSetInputEqEnable;
  if (l.Has("EQCLR")) return &kTermClearInputEq;
  if (eq.exists && l.text.find("PRESET", l.text.find("EQ")) != std::string::npos) {
    return &kTermSetInputEqPreset;
  }
  // A line that names EQ is an equaliser command, whole or not: a band edit missing a part gets
  // the band command's range error and never reaches the gain commands.
  if (eq.exists) return &kTermSetInputEqBand;
  if (std::string(raw_upper, raw_len > 0 ? raw_len : 0).find("GAIN ") != std::string::npos) {
    return &kTermSetInputGain;
  }
  if (l.Has("GAIN+")) return &kTermSetInputGainUp;
  if (l.Has("GAIN-")) return &kTermSetInputGainDown;
  if (HasGainDigit(l.text)) return &kTermSetInputGain;
  if (l.Has("GROUP") && l.Has("MEMBER")) return &kTermSetInputGroupMembers;
  return nullptr;
}

const TextRoute* OutputRoute(const Line& l) {
  const EqTests eq(l);
  if (l.Has("NAME")) return &kTermSetOutputName;
  if (l.Has("CHLOCK")) return &kTermSetOutputChannelLock;
  // A line that names EQ never reaches the volume commands: it is an equaliser command, whole or
  // not, and a band edit missing a part gets the band command's range error.
  if (eq.exists && l.Has("VOL")) return &kTermSetOutputEqBand;
  if (l.Has("VOL+")) return &kTermSetOutputVolumeUp;
  if (l.Has("VOL-")) return &kTermSetOutputVolumeDown;
  if (l.Has("VOL")) return &kTermSetOutputVolume;
  if (l.Has("MUTEON") || l.Has("MUTEOFF")) return &kTermSetOutputMute;
  if (eq.band) return &kTermSetOutputEqBand;
  if (eq.lock) return &kTermSetOutputEqLock;
  if (eq.enable) return &kTermSetOutputEqEnable;
  if (l.Has("EQCLR")) return &kTermClearOutputEq;
  if (l.Has("FR")) return &kTermSetOutputSource;
  if (eq.exists && l.text.find("PRESET", l.text.find("EQ")) != std::string::npos) {
    return &kTermSetOutputEqPreset;
  }
  if (l.Has("DLYT")) return &kTermSetOutputDelay;
  if (l.Has("GROUP") && l.Has("MEMBER")) return &kTermSetOutputGroupMembers;
  return nullptr;
}

const TextRoute* PresetRoute(const Line& l) {
  if (l.ScopeHas("STATUS")) return &kTermPrintPresetStatus;
  if (l.ScopeHas("SAVE")) return &kTermSavePreset;
  if (l.ScopeHas("APPLY")) return &kTermApplyPreset;
  if (l.ScopeHas("DELETE")) return &kTermDeletePreset;
  if (l.Has("NAME")) return &kTermSetPresetName;
  return nullptr;
}

}  // namespace

const TextRoute* FindTextRoute(const char* condensed, const char* raw_upper, int raw_len) {
  Line l;
  l.text = condensed;
  l.scope = l.text.substr(0, l.text.find("NAME"));

  if (l.Begins("STATUS")) return &kTermPrintStatus;
  if (l.Begins("UPTIME")) return &kTermPrintUptime;
  if (l.Begins("TEMP")) return &kTermPrintTemperature;
  if (l.Begins("RESETALL")) return &kRouteResetAllRequest;
  if (l.Begins("RESET")) return &kRouteResetRequest;
  if (l.Begins("REBOOT")) return &kTermReboot;
  if (l.Begins("NETDHCPON") || l.Begins("NETDHCPOFF")) return &kTermSetDhcp;
  if (l.Begins("NETIP")) return &kTermSetIpAddress;
  if (l.Begins("NETGW")) return &kTermSetGateway;
  if (l.Begins("NETSM")) return &kTermSetSubnetMask;
  if (l.Begins("NETRB")) return &kTermRebootNetwork;
  if (l.Begins("NETTCPPORTON") || l.Begins("NETTCPPORTOFF")) return &kTermSetTcpPortEnable;
  if (l.Begins("NETTCPPORT")) return &kTermSetTcpPort;
  if (l.Begins("NETTNON") || l.Begins("NETTNOFF")) return &kTermSetTelnetEnable;
  if (l.Begins("NETTN")) return &kTermSetTelnetPort;
  if (l.Begins("PON")) return &kTermPowerOn;
  if (l.Begins("POFF")) return &kTermPowerOff;
  if (l.Begins("LCD")) return &kTermSetFrontLcd;
  if (l.Begins("PWLEDFOLLOWON") || l.Begins("PWLEDFOLLOWOFF")) return &kTermSetPowerLedFollow;
  if (l.Begins("KEYON") || l.Begins("KEYOFF")) return &kTermSetKeyLock;
  if (l.Begins("RSB")) return &kTermSetBaudRate;
  if (l.Begins("STANDBY")) return &kTermSetStandbyMode;
  if (l.Begins("AUTOSTB")) return &kTermSetAutoStandbyTime;
  if (l.ScopeHas("USBPORT")) return &kTermSetUsbPort;
  if (l.Begins("IN")) return InputRoute(l, raw_upper, raw_len);
  if (l.Begins("OUT")) return OutputRoute(l);
  if (l.Begins("PRESET")) return PresetRoute(l);
  if (l.Begins("NETDNS")) return &kTermSetDnsDomain;
  if (l.Begins("NETMAC")) return &kTermSetMac;
  if (l.Begins("NETSUBMAC")) return &kTermSetSubMac;
  if (l.Begins("GETNETSUBMAC")) return &kTermGetSubMac;
  if (l.Begins("NETSN")) return &kTermSetSerialNumber;
  if (l.Begins("GETNETSN")) return &kTermGetSerialNumber;
  if (l.Begins("?") || l.Begins("HELP")) return &kRouteHelp;
  return nullptr;
}
