// The settings commands compare first: a value equal to the stored one answers "result" 1 with
// nothing sent or saved ("set front lcd", phantom power, reboot and factory reset always act).
#include "devctl/web/web_system_handlers.h"

#include <climits>
#include <iterator>

#include "devctl/core/config_file.h"
#include "devctl/core/limits.h"
#include "devctl/core/reset_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/hardware/system_changes.h"
#include "devctl/web/set_command.h"

namespace {

// Any number is taken (and stored as it is).
WebIntMember AnyNumber(const char* key) { return {key, INT_MIN, INT_MAX}; }

// A command that ends in a reboot: its line and "result" 1, or "result" 0 with why nothing was
// done. It saved what it changed itself.
WebOutcome RebootAnswer(RebootOutcome outcome, const char* line, WebAnswer& answer) {
  answer.error = OutcomeError(outcome);
  if (outcome == RebootOutcome::kRebooting) answer.notice += line;
  return WebOutcome::kChanged;
}

// The shape of the compare-first setters: one member, then, after the wake-up, act only when
// check (when given) finds the value free and it differs from the stored value. The check comes
// first: turning on a server that is on but does not listen starts it or is refused.
bool CompareAndSet(const cJSON* request, WebIntMember member, int stored_of(),
                   void change(int, std::string&), WebAnswer& answer,
                   PortCheck check(int) = nullptr) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {member}, &v, answer)) return false;
  answer.change = [value = v[0], stored_of, change, check](WebAnswer& answer) {
    if (check != nullptr && check(value) != PortCheck::kFree) return RefuseChange(answer);
    if (value == stored_of()) return WebOutcome::kUnchanged;
    change(value, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

int StoredStandbyMode() { return g_unit.config.standby_mode; }
int StoredBaudRate() { return g_unit.config.baudrate; }
int StoredKeyLock() { return g_unit.config.key_lock; }
int StoredTcpPortEnable() { return g_unit.config.tcpportenable; }
int StoredTelnetEnable() { return g_unit.config.telnet_enable; }
int StoredPower() { return g_unit.config.power; }
int StoredPowerLed() { return g_unit.config.powerled; }
int StoredStandbyTime() { return g_unit.config.standbytime; }
int StoredUsbStatus() { return g_unit.config.usb_status; }

}  // namespace

bool WebSetStandbyMode(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, AnyNumber("standby"), StoredStandbyMode,
      [](int v, std::string& lines) { SetStandbyMode(v, lines); }, answer);
}

bool WebSetBaudRate(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, {"baudrate", kMinBaudRateIndex, kMaxBaudRateIndex}, StoredBaudRate,
      [](int v, std::string& lines) { SetBaudRate(v, lines); }, answer);
}

bool WebSetKeyLock(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, AnyNumber("lock"), StoredKeyLock,
      [](int v, std::string& lines) { SetKeyLock(v, lines); }, answer);
}

bool WebSetTcpPortEnable(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, AnyNumber("value"), StoredTcpPortEnable,
      [](int v, std::string& lines) { SetTcpPortEnable(v, lines); }, answer, CheckTcpPortEnable);
}

bool WebSetTelnetPortEnable(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, AnyNumber("value"), StoredTelnetEnable,
      [](int v, std::string& lines) { SetTelnetEnable(v, lines); }, answer, CheckTelnetEnable);
}

// The request only changes a power that differs, so an unchanged power has no line.
const PowerLines kWebPowerLines = {"[SUCCESS]Set power to on, please wait a moment...\r\n",
                                   "[SUCCESS]Set power to off, please wait a moment...\r\n",
                                   nullptr, nullptr};

bool WebSetPower(const cJSON* request, WebAnswer& answer) {
  // Only 0 and 1 may be stored: the power worker settles on nothing else.
  return CompareAndSet(
      request, {"power", 0, 1}, StoredPower,
      [](int v, std::string& lines) { SetPower(v, kWebPowerLines, lines); }, answer);
}

bool WebSetPowerLed(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, {"led", 0, 1}, StoredPowerLed,
      [](int v, std::string& lines) { SetPowerLedFollow(v, lines); }, answer);
}

bool WebSetFrontLcd(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {{"lcd", kMinLcdMode, kMaxLcdMode}}, &v, answer)) return false;
  answer.change = [mode = v[0]](WebAnswer& answer) {
    SetFrontLcd(mode, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetAutoStandbyTime(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(
      request, {"time", kMinStandbyMinutes, kMaxStandbyMinutes}, StoredStandbyTime,
      [](int v, std::string& lines) { SetAutoStandbyTime(v, lines); }, answer);
}

bool WebSetInputPhantom(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {{"chn", 0, kAnalogueChannels - 1}, {"phantom", 0, 1}}, &v, answer))
    return false;
  answer.change = [input = v[0], on = v[1]](WebAnswer& answer) {
    SetLinkedInputPhantom(input, on, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetInputUsb(const cJSON* request, WebAnswer& answer) {
  // 1 selects USB-B, any other value USB-C; the value as sent is compared with the stored one.
  return CompareAndSet(
      request, AnyNumber("usb"), StoredUsbStatus,
      [](int v, std::string& lines) { SetUsbPort(v, lines); }, answer);
}

bool WebReboot(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {AnyNumber("reboot")}, &v, answer)) return false;
  answer.change = [](WebAnswer& answer) {
    return RebootAnswer(RebootWithoutSave(), kRebootLine, answer);
  };
  return true;
}

bool WebSetFactory(const cJSON* request, WebAnswer& answer) {
  constexpr int kSystemReset = 1;  // any other value resets everything
  std::vector<int> v;
  if (!ReadSetCommand(request, {AnyNumber("factory")}, &v, answer)) return false;
  answer.change = [system_only = v[0] == kSystemReset](WebAnswer& answer) {
    if (system_only) {
      return RebootAnswer(ResetSystemSettingsAndReboot(g_unit), kSystemResetLine, answer);
    }
    // The live record keeps its settings until the restart loads the factory file.
    return RebootAnswer(ResetAllForNextStartAndReboot(g_unit), kResetAllLine, answer);
  };
  return true;
}

namespace {

// "set power", "reboot" and "set factory" never wake the unit; "set front lcd" wakes it only once
// the new mode is in place. "reboot" and "set factory" save what they change themselves.
const WebCommandRow kRows[] = {
    {"set input phantom", WebSetInputPhantom, kWebSetCommand},
    {"set input usb", WebSetInputUsb, kWebSetCommand},
    {"reboot", WebReboot, kWebAnswersResult},
    {"set factory", WebSetFactory, kWebAnswersResult},
    {"set telnetportenable", WebSetTelnetPortEnable, kWebSetCommand},
    {"set tcpportenable", WebSetTcpPortEnable, kWebSetCommand},
    {"set key lock", WebSetKeyLock, kWebSetCommand},
    {"set power", WebSetPower, kWebSaves | kWebAnswersResult},
    {"set front lcd", WebSetFrontLcd, kWebWakesAfter | kWebSaves | kWebAnswersResult},
    {"set power led", WebSetPowerLed, kWebSetCommand},
    {"set baudrate", WebSetBaudRate, kWebSetCommand},
    {"set standby mode", WebSetStandbyMode, kWebSetCommand},
    {"set_auto_standby_time", WebSetAutoStandbyTime, kWebSetCommand},
};

}  // namespace

const WebCommandRows kWebSystemRows{kRows, std::size(kRows)};
