#include "devctl/text/text_commands.h"

#include <cstring>
#include <iterator>

#include "devctl/text/device_commands.h"
#include "devctl/text/eq_commands.h"
#include "devctl/text/input_gain_commands.h"
#include "devctl/text/preset_commands.h"
#include "devctl/text/system_commands.h"
#include "devctl/text/link_group_commands.h"
#include "devctl/text/mute_commands.h"
#include "devctl/text/name_commands.h"
#include "devctl/text/network_commands.h"
#include "devctl/text/output_volume_commands.h"
#include "devctl/text/routing_commands.h"
#include "devctl/text/status_report.h"

// Routes: the handler of each command and how the dispatcher frames it (text_commands.h). A
// command whose handler is not in this build has nullptr and is answered "Command not found.".
const TextRoute kRouteResetRequest{"ResetRequest", nullptr, 0};
const TextRoute kRouteResetAllRequest{"ResetAllRequest", nullptr, 0};
const TextRoute kRouteHelp{"Help", nullptr, 0};

const TextRoute kTermResetSystem{"TermResetSystem", TermResetSystem, kWakes | kSaves};
const TextRoute kTermResetAll{"TermResetAll", TermResetAll, kSaves};
const TextRoute kTermPrintStatus{"TermPrintStatus", TermPrintStatus, 0};
const TextRoute kTermPrintUptime{"TermPrintUptime", TermPrintUptime, 0};
const TextRoute kTermPrintTemperature{"TermPrintTemperature", TermPrintTemperature, 0};
const TextRoute kTermReboot{"TermReboot", TermReboot, kWakesWhenOff};
const TextRoute kTermSetDhcp{"TermSetDhcp", TermSetDhcp, kWakes};
const TextRoute kTermSetIpAddress{"TermSetIpAddress", TermSetIpAddress, kWakes};
const TextRoute kTermSetGateway{"TermSetGateway", TermSetGateway, kWakes};
const TextRoute kTermSetSubnetMask{"TermSetSubnetMask", TermSetSubnetMask, kWakes};
const TextRoute kTermRebootNetwork{"TermRebootNetwork", TermRebootNetwork, kWakesWhenOff};
const TextRoute kTermSetTcpPortEnable{"TermSetTcpPortEnable", TermSetTcpPortEnable, kWakes | kSaves};
const TextRoute kTermSetTcpPort{"TermSetTcpPort", TermSetTcpPort, kWakes | kSaves};
const TextRoute kTermSetTelnetEnable{"TermSetTelnetEnable", TermSetTelnetEnable, kWakes | kSaves};
const TextRoute kTermSetTelnetPort{"TermSetTelnetPort", TermSetTelnetPort, kWakes | kSaves};
const TextRoute kTermPowerOn{"TermPowerOn", TermPowerOn, kSaves};
const TextRoute kTermPowerOff{"TermPowerOff", TermPowerOff, kSaves};
const TextRoute kTermSetFrontLcd{"TermSetFrontLcd", TermSetFrontLcd, kWakesAfter | kSaves};
const TextRoute kTermSetPowerLedFollow{"TermSetPowerLedFollow", TermSetPowerLedFollow, kWakes | kSaves};
const TextRoute kTermSetKeyLock{"TermSetKeyLock", TermSetKeyLock, kWakes | kSaves};
const TextRoute kTermSetBaudRate{"TermSetBaudRate", TermSetBaudRate, kWakes | kSaves};
const TextRoute kTermSetStandbyMode{"TermSetStandbyMode", TermSetStandbyMode, kWakes | kSaves};
const TextRoute kTermSetAutoStandbyTime{"TermSetAutoStandbyTime", TermSetAutoStandbyTime, kWakes | kSaves};
const TextRoute kTermSetUsbPort{"TermSetUsbPort", TermSetUsbPort, kSaves};
const TextRoute kTermSetDnsDomain{"TermSetDnsDomain", TermSetDnsDomain, kWakes};
const TextRoute kTermSetMac{"TermSetMac", TermSetMac, kSaves};
const TextRoute kTermSetSubMac{"TermSetSubMac", TermSetSubMac, 0};
const TextRoute kTermGetSubMac{"TermGetSubMac", TermGetSubMac, 0};
const TextRoute kTermSetSerialNumber{"TermSetSerialNumber", TermSetSerialNumber, 0};
const TextRoute kTermGetSerialNumber{"TermGetSerialNumber", TermGetSerialNumber, 0};

const TextRoute kTermSetInputName{"TermSetInputName", TermSetInputName, kWakes | kSaves};
const TextRoute kTermSetInputChannelLock{"TermSetInputChannelLock", TermSetInputChannelLock, kWakes | kSaves};
const TextRoute kTermSetInputPhantom{"TermSetInputPhantom", TermSetInputPhantom, kWakes | kSaves};
const TextRoute kTermSetInputMute{"TermSetInputMute", TermSetInputMute, kWakes | kSaves};
const TextRoute kTermSetInputEqBand{"TermSetInputEqBand", TermSetInputEqBand, kWakes | kSaves};
const TextRoute kTermSetInputEqLock{"TermSetInputEqLock", TermSetInputEqLock, kWakes | kSaves};
const TextRoute kTermSetInputEqEnable{"TermSetInputEqEnable", TermSetInputEqEnable, kWakes | kSaves};
const TextRoute kTermClearInputEq{"TermClearInputEq", TermClearInputEq, kWakes | kSaves};
const TextRoute kTermSetInputEqPreset{"TermSetInputEqPreset", TermSetInputEqPreset, kWakes | kSaves};
const TextRoute kTermSetInputGain{"TermSetInputGain", TermSetInputGain, kWakes | kSaves};
const TextRoute kTermSetInputGainUp{"TermSetInputGainUp", TermSetInputGainUp, kWakes | kSaves};
const TextRoute kTermSetInputGainDown{"TermSetInputGainDown", TermSetInputGainDown, kWakes | kSaves};
const TextRoute kTermSetInputGroupMembers{"TermSetInputGroupMembers", TermSetInputGroupMembers, kWakes | kSaves};

const TextRoute kTermSetOutputName{"TermSetOutputName", TermSetOutputName, kWakes | kSaves};
const TextRoute kTermSetOutputChannelLock{"TermSetOutputChannelLock", TermSetOutputChannelLock, kWakes | kSaves};
const TextRoute kTermSetOutputVolumeUp{"TermSetOutputVolumeUp", TermSetOutputVolumeUp, kWakes | kSaves};
const TextRoute kTermSetOutputVolumeDown{"TermSetOutputVolumeDown", TermSetOutputVolumeDown, kWakes | kSaves};
const TextRoute kTermSetOutputVolume{"TermSetOutputVolume", TermSetOutputVolume, kWakes | kSaves};
const TextRoute kTermSetOutputMute{"TermSetOutputMute", TermSetOutputMute, kWakes | kSaves};
const TextRoute kTermSetOutputEqBand{"TermSetOutputEqBand", TermSetOutputEqBand, kWakes | kSaves};
const TextRoute kTermSetOutputEqLock{"TermSetOutputEqLock", TermSetOutputEqLock, kWakes | kSaves};
const TextRoute kTermSetOutputEqEnable{"TermSetOutputEqEnable", TermSetOutputEqEnable, kWakes | kSaves};
const TextRoute kTermClearOutputEq{"TermClearOutputEq", TermClearOutputEq, kWakes | kSaves};
const TextRoute kTermSetOutputSource{"TermSetOutputSource", TermSetOutputSource, kWakes | kSaves};
const TextRoute kTermSetOutputEqPreset{"TermSetOutputEqPreset", TermSetOutputEqPreset, kWakes | kSaves};
const TextRoute kTermSetOutputDelay{"TermSetOutputDelay", TermSetOutputDelay, kWakes | kSaves};
const TextRoute kTermSetOutputGroupMembers{"TermSetOutputGroupMembers", TermSetOutputGroupMembers, kWakes | kSaves};

const TextRoute kTermPrintPresetStatus{"TermPrintPresetStatus", TermPrintPresetStatus, 0};
const TextRoute kTermSavePreset{"TermSavePreset", TermSavePreset, kWakes | kSaves};
const TextRoute kTermApplyPreset{"TermApplyPreset", TermApplyPreset, kWakes};
const TextRoute kTermDeletePreset{"TermDeletePreset", TermDeletePreset, kWakes | kSaves};
const TextRoute kTermSetPresetName{"TermSetPresetName", TermSetPresetName, kWakes | kSaves};

namespace {

constexpr size_t kSyntaxColumns = 30;
constexpr size_t kSectionRuleLength = 29;

}  // namespace

std::string FormatHelpText(const char* section_title, const char* syntax,
                           std::initializer_list<const char*> description) {
  const std::string indent(kSyntaxColumns, ' ');
  std::string text;
  if (section_title) text += std::string(kSectionRuleLength, '=') + " " + section_title + "\r\n";
  text += syntax;
  auto line = description.begin();
  if (std::strlen(syntax) < kSyntaxColumns && line != description.end()) {
    text += std::string(kSyntaxColumns - std::strlen(syntax), ' ') + *line++;
  }
  for (; line != description.end(); ++line) text += "\r\n" + indent + *line;
  return text;
}

// The HELP table in listing order: keyword, the command's route and its help text from the section
// title, the syntax and the description lines.
const text_command_s g_text_commands[] = {
    {0, "?/HELP", &kRouteHelp, FormatHelpText("System Information Command", "?/HELP", {
         "Print Help Information"})},
    {0, "STATUS", &kTermPrintStatus, FormatHelpText(nullptr, "STATUS", {
         "Print System Status And Port Status"})},
    {0, "UPTIME", &kTermPrintUptime, FormatHelpText(nullptr, "UPTIME", {
         "Print System Uptime"})},
    {0, "TEMP", &kTermPrintTemperature, FormatHelpText(nullptr, "TEMP", {
         "Print System Temperature"})},
    {0, "PON", &kTermPowerOn, FormatHelpText("System Control Command", "PON", {
         "Power On, System Run On Normal State"})},
    {0, "POFF", &kTermPowerOff, FormatHelpText(nullptr, "POFF", {
         "Power Off, System Run On Power Save State"})},
    {0, "PWLED FOLLOW ON/OFF", &kTermSetPowerLedFollow, FormatHelpText(nullptr, "PWLED FOLLOW ON/OFF", {
         "ON:Set System Power LED Follow LCD Status",
         "OFF:Set System Power LED Not Follow LCD Status,",
         "In Power On State,Power LED Always On"})},
    {0, "RESET", &kTermResetSystem, FormatHelpText(nullptr, "RESET", {
         "Reset System Settings To Default",
         "(Should Type \"Yes\" To Confirm, \"No\" To Discard)"})},
    {0, "RESET ALL", &kTermResetAll, FormatHelpText(nullptr, "RESET ALL", {
         "Reset System And Network Settings To Default",
         "(Should Type \"Yes\" To Confirm, \"No\" To Discard)"})},
    {0, "REBOOT", &kTermReboot, FormatHelpText(nullptr, "REBOOT", {
         "Set System Reboot"})},
    {0, "STANDBY xx", &kTermSetStandbyMode, FormatHelpText(nullptr, "STANDBY xx", {
         "Set System Standby Mode To xx",
         "xx=0:Sleep,1:Standby"})},
    {0, "AUTO STB xx", &kTermSetAutoStandbyTime, FormatHelpText(nullptr, "AUTO STB xx", {
         "Set System Auto Standby Time",
         "xx=0:Auto Standby Off",
         "xx=[1...120]:Auto Standby Time(mins)"})},
    {0, "KEY ON/OFF", &kTermSetKeyLock, FormatHelpText(nullptr, "KEY ON/OFF", {
         "Set System KEY Control On Or Off"})},
    {0, "LCD ON/OFF/15/30/60", &kTermSetFrontLcd, FormatHelpText(nullptr, "LCD ON/OFF/15/30/60", {
         "Set LCD Always On Or Auto Turn Off In 15/30/60s"})},
    {0, "RSB xx", &kTermSetBaudRate, FormatHelpText(nullptr, "RSB xx", {
         "Set RS232 Baud Rate To xx bps",
         "xx=[1...6]:1:4800,2:9600,3:19200,4:38400,5:57600,6:115200"})},
    {0, "PORT", &kTermSetUsbPort, FormatHelpText("Input Control Command", "USB PORT xx", {
         "Set USB Port To xx",
         "xx=[1,2]:1:USB-B,2:USB-C"})},
    {0, "IN xx NAME yy", &kTermSetInputName, FormatHelpText(nullptr, "IN xx NAME yy", {
         "Set Input: xx To Name: yy",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy:Max 24 Characters"})},
    {0, "IN xx CH LOCK ON/OFF", &kTermSetInputChannelLock, FormatHelpText(nullptr, "IN xx CH LOCK ON/OFF", {
         "Set Input:xx L/R Channels Lock/Unlock",
         "xx=[1...14]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right",
         "Note:Only Adjacent Two Inputs Can Be Locked As One L/R Pair Likes Input 1/2 Or 3/4 Or USB Left/Right"})},
    {0, "IN xx PHT ON/OFF", &kTermSetInputPhantom, FormatHelpText(nullptr, "IN xx PHT ON/OFF", {
         "Set Input:xx Phantom Power On Or Off",
         "xx=[0]:All Analogue Input Ports",
         "xx=[1...4]:Analogue Input CH1-CH4"})},
    {0, "IN xx GAIN yy", &kTermSetInputGain, FormatHelpText(nullptr, "IN xx GAIN yy", {
         "Set Input:xx Gain To yy",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[-30...+30]:Input Gain,Step=1dB"})},
    {0, "IN xx GAIN+yy", &kTermSetInputGainUp, FormatHelpText(nullptr, "IN xx GAIN+yy", {
         "Increase Input:xx Gain",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step)"})},
    {0, "IN xx GAIN-yy", &kTermSetInputGainDown, FormatHelpText(nullptr, "IN xx GAIN-yy", {
         "Decrease Input:xx Gain",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step))"})},
    {0, "IN xx MUTE ON/OFF", &kTermSetInputMute, FormatHelpText(nullptr, "IN xx MUTE ON/OFF", {
         "Set Input:xx Mute On Or Off",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4"})},
    {0, "IN xx EQ PRESET yy", &kTermSetInputEqPreset, FormatHelpText(nullptr, "IN xx EQ PRESET yy", {
         "Set Input:xx GEQ:yy To Preset:yy",
         "xx=[0]:All Input Ports",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[1...3]:1:Flat,2:Custom1,3:Custom2"})},
    {0, "IN xx EQ LOCK ON/OFF", &kTermSetInputEqLock, FormatHelpText(nullptr, "IN xx EQ LOCK ON/OFF", {
         "Set Input:xx EQ L/R Lock/Unlock",
         "xx=[0]:All Inputs",
         "xx=[1...14]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right"})},
    {0, "IN xx EQ yy ON/OFF", &kTermSetInputEqEnable, FormatHelpText(nullptr, "IN xx EQ yy ON/OFF", {
         "Set Input:xx EQ yy On/Off",
         "xx=[0]:All Inputs",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "yy=[0...8]:EQ Index 0:All"})},
    {0, "IN xx EQ vv TYPE ww FRQ yy GAIN zz Q aa", &kTermSetInputEqBand, FormatHelpText(nullptr, "IN xx EQ vv TYPE ww FRQ yy GAIN zz Q aa", {
         "Set Input: xx EQ vv To Type ww With FRQ yy GAIN zz Q aa",
         "xx=[0]:All Inputs",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4",
         "vv=[0...8]:EQ Index 0:All",
         "ww=[1...5]:Filter Type:1:Parametric,2:Lowpass,3:Highpass,4:Low Shelf,5:High Shelf",
         "yy=[20...20000]:Frequency Value[Hz]",
         "zz=[-15...+15]:Gain Value[dB](Step=0.1)",
         "aa=[0.02...50]:Q Value(Step=0.01)"})},
    {0, "IN xx EQ CLR", &kTermClearInputEq, FormatHelpText(nullptr, "IN xx EQ CLR", {
         "Set Input:xx EQ Clear",
         "xx=[0]:All Inputs",
         "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right,15-18:Input Group 1-4"})},
    {0, "IN GROUP zz MEMBER yy", &kTermSetInputGroupMembers, FormatHelpText(nullptr, "IN GROUP zz MEMBER yy", {
         "Set Input Group:zz Includes yy",
         "zz=01:Input Group 1",
         "zz=02:Input Group 2",
         "zz=03:Input Group 3",
         "zz=04:Input Group 4",
         "yy[13]:Analogue CH1 In",
         "yy[12]:Analogue CH2 In",
         "yy[11]:Analogue CH3 In",
         "yy[10]:Analogue CH4 In",
         "yy[9]:Tarvo CH1 In",
         "yy[8]:Tarvo CH2 In",
         "yy[7]:Tarvo CH3 In",
         "yy[6]:Tarvo CH4 In",
         "yy[5]:Tarvo CH5 In",
         "yy[4]:Tarvo CH6 In",
         "yy[3]:Tarvo CH7 In",
         "yy[2]:Tarvo CH8 In",
         "yy[1]:USB Left In",
         "yy[0]:USB Right In",
         "[bit]=1:Included [bit]=0:Excluded"})},
    {0, "OUT xx NAME yy", &kTermSetOutputName, FormatHelpText("Output Control Command", "OUT xx NAME yy", {
         "Set Output:xx To Name:yy",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy:Max 24 Characters"})},
    {0, "OUT xx CH LOCK ON/OFF", &kTermSetOutputChannelLock, FormatHelpText(nullptr, "OUT xx CH LOCK ON/OFF", {
         "Set Output:xx L/R Channels Lock/Unlock",
         "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right",
         "Note:Only Adjacent Two Outputs Can Be Locked As One L/R Pair Likes Output 1/2 Or 3/4 Or USB Left/Right"})},
    {0, "OUT xx FR yy", &kTermSetOutputSource, FormatHelpText(nullptr, "OUT xx FR yy", {
         "Set Output:xx From Input:yy",
         "xx=[0]:All Output Ports",
         "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right",
         "yy=[0...14]:0:None,1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input Left,14:USB Input Right"})},
    {0, "OUT xx VOL yy", &kTermSetOutputVolume, FormatHelpText(nullptr, "OUT xx VOL yy", {
         "Set Output:xx Volume To yy",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[0...100]:Volume Value"})},
    {0, "OUT xx VOL+", &kTermSetOutputVolumeUp, FormatHelpText(nullptr, "OUT xx VOL+yy", {
         "Increase Output:xx Volume",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step)"})},
    {0, "OUT xx VOL-", &kTermSetOutputVolumeDown, FormatHelpText(nullptr, "OUT xx VOL-yy", {
         "Decrease Output:xx Volume",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[1...10]:Steps",
         "yy Can Be Empty(1 Step)"})},
    {0, "OUT xx MUTE ON/OFF", &kTermSetOutputMute, FormatHelpText(nullptr, "OUT xx MUTE ON/OFF", {
         "Set Output:xx Mute On Or Off",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D"})},
    {0, "OUT xx EQ PRESET yy", &kTermSetOutputEqPreset, FormatHelpText(nullptr, "OUT xx EQ PRESET yy", {
         "Set Output:xx PEQ:yy To Preset:yy",
         "xx=[0]:All Output Ports",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[1...3]:1:Flat,2:Custom1,3:Custom2"})},
    {0, "OUT xx EQ LOCK ON/OFF", &kTermSetOutputEqLock, FormatHelpText(nullptr, "OUT xx EQ LOCK ON/OFF", {
         "Set Output:xx EQ L/R Lock/Unlock",
         "xx=[0]:All Outputs",
         "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right"})},
    {0, "OUT xx EQ yy ON/OFF", &kTermSetOutputEqEnable, FormatHelpText(nullptr, "OUT xx EQ yy ON/OFF", {
         "Set Output:xx EQ yy On/Off",
         "xx=[0]:All Outputs",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "yy=[0...8]:EQ Index 0:All"})},
    {0, "OUT xx EQ vv TYPE ww FRQ yy GAIN zz Q aa", &kTermSetOutputEqBand, FormatHelpText(nullptr, "OUT xx EQ vv TYPE ww FRQ yy GAIN zz Q aa", {
         "Set Output: xx EQ vv To Type ww With FRQ yy GAIN zz Q aa",
         "xx=[0]:All Outputs",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D",
         "vv=[0...8]:EQ Index 0:All",
         "ww=[1...5]:Filter Type:1:Parametric,2:Lowpass,3:Highpass,4:Low Shelf,5:High Shelf",
         "yy=[20...20000]:Frequency Value[Hz]",
         "zz=[-15...+15]:Gain Value[dB](Step=0.1)",
         "aa=[0.02...50]:Q Value(Step=0.01)"})},
    {0, "OUT xx EQ CLR", &kTermClearOutputEq, FormatHelpText(nullptr, "OUT xx EQ CLR", {
         "Set Output:xx EQ Clear",
         "xx=[0]:All Outputs",
         "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right,15-18:Output Group A-D"})},
    {0, "OUT xx DLYT yy", &kTermSetOutputDelay, FormatHelpText(nullptr, "OUT xx DLYT yy", {
         "Set Output:xx Delay Time To yy(ms)",
         "xx=[0]:All Output Ports",
         "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output Left,14:USB Output Right",
         "yy=[0...50]:Delay Time,Millisecond"})},
    {0, "OUT GROUP zz MEMBER yy", &kTermSetOutputGroupMembers, FormatHelpText(nullptr, "OUT GROUP zz MEMBER yy", {
         "Set Output Group:zz Includes yy",
         "zz=01:Output Group A",
         "zz=02:Output Group B",
         "zz=03:Output Group C",
         "zz=04:Output Group D",
         "yy[13]:Analogue CH1 Out",
         "yy[12]:Analogue CH2 Out",
         "yy[11]:Analogue CH3 Out",
         "yy[10]:Analogue CH4 Out",
         "yy[9]:Tarvo CH1 Out",
         "yy[8]:Tarvo CH2 Out",
         "yy[7]:Tarvo CH3 Out",
         "yy[6]:Tarvo CH4 Out",
         "yy[5]:Tarvo CH5 Out",
         "yy[4]:Tarvo CH6 Out",
         "yy[3]:Tarvo CH7 Out",
         "yy[2]:Tarvo CH8 Out",
         "yy[1]:USB Left Out",
         "yy[0]:USB Right Out",
         "[bit]=1:Included [bit]=0:Excluded"})},
    {0, "PRESET xx STATUS", &kTermPrintPresetStatus, FormatHelpText("Preset Control Command", "PRESET xx STATUS", {
         "Print Preset Config Status",
         "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx SAVE", &kTermSavePreset, FormatHelpText(nullptr, "PRESET xx SAVE", {
         "Save Current Config To Preset:xx",
         "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx APPLY", &kTermApplyPreset, FormatHelpText(nullptr, "PRESET xx APPLY", {
         "Recall Preset:xx Config To The Current Setting",
         "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx DELETE", &kTermDeletePreset, FormatHelpText(nullptr, "PRESET xx DELETE", {
         "Delete Preset:xx From The System",
         "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx NAME yy", &kTermSetPresetName, FormatHelpText(nullptr, "PRESET xx NAME yy", {
         "Set Preset:xx To Name:yy",
         "xx=[1...8]:Select Preset Index",
         "yy:Max 24 Characters"})},
    {0, "NET DHCP ON/OFF", &kTermSetDhcp, FormatHelpText("Network Control Command", "NET DHCP ON/OFF", {
         "Set Auto IP(DHCP) On Or Off"})},
    {0, "NET IP", &kTermSetIpAddress, FormatHelpText(nullptr, "NET IP xxx.xxx.xxx.xxx", {
         "Set IP Address"})},
    {0, "NET GW", &kTermSetGateway, FormatHelpText(nullptr, "NET GW xxx.xxx.xxx.xxx", {
         "Set Gateway Address"})},
    {0, "NET SM", &kTermSetSubnetMask, FormatHelpText(nullptr, "NET SM xxx.xxx.xxx.xxx", {
         "Set Subnet Mask Address"})},
    {0, "NET TCPPORT ON/OFF", &kTermSetTcpPortEnable, FormatHelpText(nullptr, "NET TCPPORT ON/OFF", {
         "Set TCP/IP On Or Off"})},
    {0, "NET TCPPORT", &kTermSetTcpPort, FormatHelpText(nullptr, "NET TCPPORT xxxx", {
         "Set TCP/IP Port"})},
    {0, "NET TN ON/OFF", &kTermSetTelnetEnable, FormatHelpText(nullptr, "NET TN ON/OFF", {
         "Set Telnet On Or Off"})},
    {0, "NET TN", &kTermSetTelnetPort, FormatHelpText(nullptr, "NET TN xxxx", {
         "Set Telnet Port"})},
    {0, "NET RB", &kTermRebootNetwork, FormatHelpText(nullptr, "NET RB", {
         "Network Reboot And Apply New Config!!!"})},
    {0, "NET DNS", &kTermSetDnsDomain, FormatHelpText(nullptr, "NET DNS xxxx", {
         "Set DNS Domain Name To xxxx"})},
};
const size_t g_text_command_count = std::size(g_text_commands);
