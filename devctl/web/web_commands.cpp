#include "devctl/web/web_commands.h"

#include <iterator>

#include "devctl/web/web_eq_handlers.h"
#include "devctl/web/web_handlers.h"
#include "devctl/web/web_upgrade_handlers.h"
#include "devctl/web/web_preset_handlers.h"
#include "devctl/web/web_system_handlers.h"
#include "devctl/web/web_output_handlers.h"

// One line per command: name, handler (nullptr while the command is not in this build; it then
// answers exactly as an unknown command), help text.
const web_command_s g_web_commands[] = {
    {"login", nullptr, "help:"},
    {"logout", nullptr, "help:"},
    {"modify password", nullptr, "help:"},
    {"modify username", nullptr, "help:"},
    {"get user", nullptr, "help:"},
    {"get login user", nullptr, "help:"},
    {"add login user", nullptr, "help:"},
    {"delete login user", nullptr, "help:"},
    {"get user limit", nullptr, "help:"},
    {"set user limit", nullptr, "help:"},
    {"set user enabled", nullptr, "help:"},
    {"get control status", nullptr, "help:"},
    {"set control status", WebSetControlStatus, "help:"},
    {"get input status", nullptr, "help:"},
    {"set input gain", WebSetInputGain, "help:"},
    {"set input phantom", WebSetInputPhantom, "help:"},
    {"set input stereo", WebSetInputStereo, "help:"},
    {"set input mute", WebSetInputMute, "help:"},
    {"set input name", WebSetInputName, "help:"},
    {"set input usb", WebSetInputUsb, "help:"},
    {"get output status", nullptr, "help:"},
    {"set output vol", WebSetOutputVolume, "help:"},
    {"set output mute", WebSetOutputMute, "help:"},
    {"set output stereo", WebSetOutputStereo, "help:"},
    {"set output delay", WebSetOutputDelay, "help:"},
    {"set output name", WebSetOutputName, "help:"},
    {"get peq status", nullptr, "help:"},
    {"set peq chn", WebSetPeqChannel, "help:"},
    {"set peq", WebSetPeq, "help:"},
    {"set peq bypass", WebSetPeqBypass, "help:"},
    {"set eq stereo", WebSetEqStereo, "help:"},
    {"set eq preset", WebSetEqPreset, "help:"},
    {"set peq reset", WebSetPeqReset, "help:"},
    {"get preset status", nullptr, "help:"},
    {"get preset user", nullptr, "help:"},
    {"set preset recall", WebSetPresetRecall, "help:"},
    {"set preset name", WebSetPresetName, "help:"},
    {"delete preset", WebDeletePreset, "help:"},
    {"set preset save", WebSetPresetSave, "help:"},
    {"reboot", WebReboot, "help:"},
    {"set factory", WebSetFactory, "help:"},
    {"get status", nullptr, "help:"},
    {"set network", nullptr, "help:"},
    {"set telnetportenable", WebSetTelnetPortEnable, "help:"},
    {"set tcpportenable", WebSetTcpPortEnable, "help:"},
    {"get system status", nullptr, "help:"},
    {"set key lock", WebSetKeyLock, "help:"},
    {"set power", WebSetPower, "help:"},
    {"set front lcd", WebSetFrontLcd, "help:"},
    {"set power led", WebSetPowerLed, "help:"},
    {"set baudrate", WebSetBaudRate, "help:"},
    {"set standby mode", WebSetStandbyMode, "help:"},
    {"set_auto_standby_time", WebSetAutoStandbyTime, "help:"},
    {"get upgrade status", WebGetUpgradeStatus, "help:"},
    {"set defaults network", nullptr, "help:"},
    {"GetUpgradeFW", WebGetUpgradeFw, "help:"},
};
const size_t g_web_command_count = std::size(g_web_commands);
