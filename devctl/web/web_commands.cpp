#include "devctl/web/web_commands.h"

#include <iterator>

#include "devctl/web/web_eq_handlers.h"
#include "devctl/web/web_handlers.h"
#include "devctl/web/web_network_handlers.h"
#include "devctl/web/web_upgrade_handlers.h"
#include "devctl/web/web_preset_handlers.h"
#include "devctl/web/web_system_handlers.h"
#include "devctl/web/web_output_handlers.h"

// One line per command: name, handler (nullptr while the command is not in this build; it then
// answers exactly as an unknown command), help text.
const web_command_s g_web_commands[] = {
    {"login", WebLogin, "help:"},
    {"logout", WebLogout, "help:"},
    {"modify password", WebModifyPassword, "help:"},
    {"modify username", WebModifyUsername, "help:"},
    {"get user", WebGetUser, "help:"},
    {"get login user", WebGetLoginUser, "help:"},
    {"add login user", WebAddLoginUser, "help:"},
    {"delete login user", WebDeleteLoginUser, "help:"},
    {"get user limit", WebGetUserLimit, "help:"},
    {"set user limit", WebSetUserLimit, "help:"},
    {"set user enabled", WebSetUserEnabled, "help:"},
    {"get control status", WebGetControlStatus, "help:"},
    {"set control status", WebSetControlStatus, "help:"},
    {"get input status", WebGetInputStatus, "help:"},
    {"set input gain", WebSetInputGain, "help:"},
    {"set input phantom", WebSetInputPhantom, "help:"},
    {"set input stereo", WebSetInputStereo, "help:"},
    {"set input mute", WebSetInputMute, "help:"},
    {"set input name", WebSetInputName, "help:"},
    {"set input usb", WebSetInputUsb, "help:"},
    {"get output status", WebGetOutputStatus, "help:"},
    {"set output vol", WebSetOutputVolume, "help:"},
    {"set output mute", WebSetOutputMute, "help:"},
    {"set output stereo", WebSetOutputStereo, "help:"},
    {"set output delay", WebSetOutputDelay, "help:"},
    {"set output name", WebSetOutputName, "help:"},
    {"get peq status", WebGetPeqStatus, "help:"},
    {"set peq chn", WebSetPeqChannel, "help:"},
    {"set peq", WebSetPeq, "help:"},
    {"set peq bypass", WebSetPeqBypass, "help:"},
    {"set eq stereo", WebSetEqStereo, "help:"},
    {"set eq preset", WebSetEqPreset, "help:"},
    {"set peq reset", WebSetPeqReset, "help:"},
    {"get preset status", WebGetPresetStatus, "help:"},
    {"get preset user", WebGetPresetUser, "help:"},
    {"set preset recall", WebSetPresetRecall, "help:"},
    {"set preset name", WebSetPresetName, "help:"},
    {"delete preset", WebDeletePreset, "help:"},
    {"set preset save", WebSetPresetSave, "help:"},
    {"reboot", WebReboot, "help:"},
    {"set factory", WebSetFactory, "help:"},
    {"get status", WebGetStatus, "help:"},
    {"set network", WebSetNetwork, "help:"},
    {"set telnetportenable", WebSetTelnetPortEnable, "help:"},
    {"set tcpportenable", WebSetTcpPortEnable, "help:"},
    {"get system status", WebGetSystemStatus, "help:"},
    {"set key lock", WebSetKeyLock, "help:"},
    {"set power", WebSetPower, "help:"},
    {"set front lcd", WebSetFrontLcd, "help:"},
    {"set power led", WebSetPowerLed, "help:"},
    {"set baudrate", WebSetBaudRate, "help:"},
    {"set standby mode", WebSetStandbyMode, "help:"},
    {"set_auto_standby_time", WebSetAutoStandbyTime, "help:"},
    {"get upgrade status", WebGetUpgradeStatus, "help:"},
    {"set defaults network", WebSetDefaultsNetwork, "help:"},
    {"GetUpgradeFW", WebGetUpgradeFw, "help:"},
};
const size_t g_web_command_count = std::size(g_web_commands);
