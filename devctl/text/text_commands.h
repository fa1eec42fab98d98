// The commands of the text protocol: one route per command (its handler and how the dispatcher
// frames it) and the HELP table. Both live in text_commands.cpp, one line per command; the keyword
// tests (dispatch_routes.cpp) return these routes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "devctl/text/text_handler.h"

// What the dispatcher does around a handler. The handler returns true when it changed the
// configuration.
enum TextRouteFlag : unsigned {
  kWakes = 1u << 0,         // WakeOnCommand before the handler
  kSaves = 1u << 1,         // save the live configuration when the handler returned true
  kWakesAfter = 1u << 3,    // WakeOnCommand after the handler, when it returned true
  kWakesWhenOff = 1u << 4,  // unit off: WakeOnCommand before the handler and save the live
                            // configuration whatever the handler returned
};

// A destination of the keyword tests. handler is null while that command is not part of the
// build; the dispatcher then answers "[ERROR]Command not found.".
struct TextRoute {
  const char* name;
  TextHandler handler;
  unsigned flags;
};

// One entry of the HELP table.
struct text_command_s {
  // 0 listed for every device type; 1 hidden when the type begins "RX"; 2 when it begins "TX".
  uint32_t variant;
  const char* keyword;      // the command keyword as the table stores it
  const TextRoute* route;   // the command this entry lists
  std::string help;         // one or more lines joined by "\r\n", none after the last
};

// The HELP table in listing order.
extern const text_command_s g_text_commands[];
extern const size_t g_text_command_count;

// A help text: an optional section header line, the syntax padded to 30 columns followed by the
// first description line, and the other description lines indented by 30 blanks. A syntax of 30
// characters or more stands alone and all description lines are indented.
std::string FormatHelpText(const char* section_title, const char* syntax,
                           std::initializer_list<const char*> description);

// Destinations the dispatcher handles itself.
extern const TextRoute kRouteResetRequest;     // "RESET": asks for confirmation
extern const TextRoute kRouteResetAllRequest;  // "RESET ALL": asks for confirmation
extern const TextRoute kRouteHelp;             // "?" / "HELP": the listing

// Commands.
extern const TextRoute kTermResetSystem;  // what a confirmed RESET runs
extern const TextRoute kTermResetAll;     // what a confirmed RESET ALL runs
extern const TextRoute kTermPrintStatus;
extern const TextRoute kTermPrintUptime;
extern const TextRoute kTermPrintTemperature;
extern const TextRoute kTermReboot;
extern const TextRoute kTermSetDhcp;
extern const TextRoute kTermSetIpAddress;
extern const TextRoute kTermSetGateway;
extern const TextRoute kTermSetSubnetMask;
extern const TextRoute kTermRebootNetwork;
extern const TextRoute kTermSetTcpPortEnable;
extern const TextRoute kTermSetTcpPort;
extern const TextRoute kTermSetTelnetEnable;
extern const TextRoute kTermSetTelnetPort;
extern const TextRoute kTermPowerOn;
extern const TextRoute kTermPowerOff;
extern const TextRoute kTermSetFrontLcd;
extern const TextRoute kTermSetPowerLedFollow;
extern const TextRoute kTermSetKeyLock;
extern const TextRoute kTermSetBaudRate;
extern const TextRoute kTermSetStandbyMode;
extern const TextRoute kTermSetAutoStandbyTime;
extern const TextRoute kTermSetUsbPort;
extern const TextRoute kTermSetDnsDomain;
extern const TextRoute kTermSetMac;
extern const TextRoute kTermSetSubMac;
extern const TextRoute kTermGetSubMac;
extern const TextRoute kTermSetSerialNumber;
extern const TextRoute kTermGetSerialNumber;

extern const TextRoute kTermSetInputName;
extern const TextRoute kTermSetInputChannelLock;
extern const TextRoute kTermSetInputPhantom;
extern const TextRoute kTermSetInputMute;
extern const TextRoute kTermSetInputEqBand;
extern const TextRoute kTermSetInputEqLock;
extern const TextRoute kTermSetInputEqEnable;
extern const TextRoute kTermClearInputEq;
extern const TextRoute kTermSetInputEqPreset;
extern const TextRoute kTermSetInputGain;
extern const TextRoute kTermSetInputGainUp;
extern const TextRoute kTermSetInputGainDown;
extern const TextRoute kTermSetInputGroupMembers;

extern const TextRoute kTermSetOutputName;
extern const TextRoute kTermSetOutputChannelLock;
extern const TextRoute kTermSetOutputVolumeUp;
extern const TextRoute kTermSetOutputVolumeDown;
extern const TextRoute kTermSetOutputVolume;
extern const TextRoute kTermSetOutputMute;
extern const TextRoute kTermSetOutputEqBand;
extern const TextRoute kTermSetOutputEqLock;
extern const TextRoute kTermSetOutputEqEnable;
extern const TextRoute kTermClearOutputEq;
extern const TextRoute kTermSetOutputSource;
extern const TextRoute kTermSetOutputEqPreset;
extern const TextRoute kTermSetOutputDelay;
extern const TextRoute kTermSetOutputGroupMembers;

extern const TextRoute kTermPrintPresetStatus;
extern const TextRoute kTermSavePreset;
extern const TextRoute kTermApplyPreset;
extern const TextRoute kTermDeletePreset;
extern const TextRoute kTermSetPresetName;
