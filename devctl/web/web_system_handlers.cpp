// The settings commands compare first: a value equal to the stored one answers "result" 1 with
// nothing sent or saved ("set front lcd", phantom power, reboot and factory reset always act).
#include "devctl/web/web_system_handlers.h"

#include <climits>

#include "devctl/core/config_file.h"
#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/reset_changes.h"
#include "devctl/hardware/power_wake.h"
#include "devctl/hardware/system_changes.h"
#include "devctl/web/set_command.h"

namespace {

// Any number is taken (and stored as it is).
WebIntMember AnyNumber(const char* key) { return {key, INT_MIN, INT_MAX}; }

bool Accept(const std::string& lines, WebAnswer& answer) {
  answer.notice += lines;
  answer.save = true;
  answer.set_result = true;
  return true;
}

// A command that ends in a reboot: its line and "result" 1, or "result" 0 with why nothing was
// done. It saved what it changed itself.
bool RebootAnswer(RebootOutcome outcome, const char* line, WebAnswer& answer) {
  answer.set_result = true;
  answer.error = OutcomeError(outcome);
  if (outcome == RebootOutcome::kRebooting) answer.notice += line;
  return true;
}

// Nothing to change: "result" 1, nothing sent or saved.
bool Unchanged(WebAnswer& answer) {
  answer.set_result = true;
  return true;
}

// The shape of the compare-first setters: one member, then act only when it differs.
template <typename Change>
bool CompareAndSet(const cJSON* request, WebIntMember member, int stored_of(), WebWake wake,
                   WebAnswer& answer, Change change) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {member}, &v, answer, wake)) return false;
  if (v[0] == stored_of()) return Unchanged(answer);
  std::string lines;
  change(v[0], lines);
  return Accept(lines, answer);
}

int StoredStandbyMode() { return g_app_config.standby_mode; }
int StoredBaudRate() { return g_app_config.baudrate; }
int StoredKeyLock() { return g_app_config.key_lock; }
int StoredTcpPortEnable() { return g_app_config.tcpportenable; }
int StoredTelnetEnable() { return g_app_config.telnet_enable; }
int StoredPower() { return g_app_config.power; }
int StoredPowerLed() { return g_app_config.powerled; }
int StoredStandbyTime() { return g_app_config.standbytime; }
int StoredUsbStatus() { return g_app_config.usb_status; }

}  // namespace

bool WebSetStandbyMode(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, AnyNumber("standby"), StoredStandbyMode, WebWake::kAfterRead,
                       answer, [](int v, std::string& lines) { SetStandbyMode(v, lines); });
}

bool WebSetBaudRate(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, {"baudrate", kMinBaudRateIndex, kMaxBaudRateIndex},
                       StoredBaudRate, WebWake::kAfterRead, answer,
                       [](int v, std::string& lines) { SetBaudRate(v, lines); });
}

bool WebSetKeyLock(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, AnyNumber("lock"), StoredKeyLock, WebWake::kAfterRead, answer,
                       [](int v, std::string& lines) { SetKeyLock(v, lines); });
}

bool WebSetTcpPortEnable(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, AnyNumber("value"), StoredTcpPortEnable, WebWake::kAfterRead,
                       answer, [](int v, std::string& lines) { SetTcpPortEnable(v, lines); });
}

bool WebSetTelnetPortEnable(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, AnyNumber("value"), StoredTelnetEnable, WebWake::kAfterRead,
                       answer, [](int v, std::string& lines) { SetTelnetEnable(v, lines); });
}

// The request only changes a power that differs, so an unchanged power has no line.
const PowerLines kWebPowerLines = {"[SUCCESS]Set power to on, please wait a moment...\r\n",
                                   "[SUCCESS]Set power to off, please wait a moment...\r\n",
                                   nullptr, nullptr};

bool WebSetPower(const cJSON* request, WebAnswer& answer) {
  // Only 0 and 1 may be stored: the power worker settles on nothing else.
  return CompareAndSet(request, {"power", 0, 1}, StoredPower, WebWake::kNo, answer,
                       [](int v, std::string& lines) { SetPower(v, kWebPowerLines, lines); });
}

bool WebSetPowerLed(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, {"led", 0, 1}, StoredPowerLed, WebWake::kAfterRead, answer,
                       [](int v, std::string& lines) { SetPowerLedFollow(v, lines); });
}

bool WebSetFrontLcd(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {{"lcd", kMinLcdMode, kMaxLcdMode}}, &v, answer, WebWake::kNo))
    return false;
  std::string lines;
  SetFrontLcd(v[0], lines);
  // A unit in standby wakes only now, with the new mode in place; its power-on notice goes out
  // ahead of this command's line.
  WakeOnCommand(&answer.notice);
  return Accept(lines, answer);
}

bool WebSetAutoStandbyTime(const cJSON* request, WebAnswer& answer) {
  return CompareAndSet(request, {"time", kMinStandbyMinutes, kMaxStandbyMinutes},
                       StoredStandbyTime, WebWake::kAfterRead, answer,
                       [](int v, std::string& lines) { SetAutoStandbyTime(v, lines); });
}

bool WebSetInputPhantom(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {{"chn", 0, kAnalogueChannels - 1}, {"phantom", 0, 1}}, &v,
                      answer))
    return false;
  std::string lines;
  SetLinkedInputPhantom(v[0], v[1], lines);
  return Accept(lines, answer);
}

bool WebSetInputUsb(const cJSON* request, WebAnswer& answer) {
  // 1 selects USB-B, any other value USB-C; the value as sent is compared with the stored one.
  return CompareAndSet(request, AnyNumber("usb"), StoredUsbStatus, WebWake::kAfterRead, answer,
                       [](int v, std::string& lines) { SetUsbPort(v, lines); });
}

bool WebReboot(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {AnyNumber("reboot")}, &v, answer, WebWake::kNo)) return false;
  return RebootAnswer(RebootWithoutSave(), kRebootLine, answer);
}

bool WebSetFactory(const cJSON* request, WebAnswer& answer) {
  constexpr int kSystemReset = 1;  // any other value resets everything
  std::vector<int> v;
  if (!ReadSetCommand(request, {AnyNumber("factory")}, &v, answer, WebWake::kNo)) return false;
  if (v[0] == kSystemReset) {
    return RebootAnswer(ResetSystemSettingsAndReboot(), kSystemResetLine, answer);
  }
  // The live record keeps its settings until the restart loads the factory file.
  return RebootAnswer(ResetAllSettingsAndReboot(/*for_next_start=*/true), kResetAllLine, answer);
}
