#include "devctl/text/preset_commands.h"

#include <cstdio>
#include <cstring>

#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/name_text.h"
#include "devctl/core/preset_changes.h"
#include "devctl/text/line_text.h"

namespace {

constexpr int kStatusNoPreset = -1;  // preset number when STATUS names none
constexpr int kNoPreset = -255;      // and for the other commands

constexpr char kRangeError[] =
    "[ERROR]Set preset param out of range. Type \"HELP\" for more reference.\r\n";

const char* const kInputLabels[kDspChannels] = {
    "Analogue_In_CH1", "Analogue_In_CH2", "Analogue_In_CH3", "Analogue_In_CH4",
    "Tarvo_In_CH1",    "Tarvo_In_CH2",    "Tarvo_In_CH3",    "Tarvo_In_CH4",
    "Tarvo_In_CH5",    "Tarvo_In_CH6",    "Tarvo_In_CH7",    "Tarvo_In_CH8",
    "USB_In_Left",     "USB_In_Right"};
const char* const kOutputLabels[kDspChannels] = {
    "Analogue_Out_CH1", "Analogue_Out_CH2", "Analogue_Out_CH3", "Analogue_Out_CH4",
    "Tarvo_Out_CH1",    "Tarvo_Out_CH2",    "Tarvo_Out_CH3",    "Tarvo_Out_CH4",
    "Tarvo_Out_CH5",    "Tarvo_Out_CH6",    "Tarvo_Out_CH7",    "Tarvo_Out_CH8",
    "USB_Out_Left",     "USB_Out_Right"};

// The condensed line as a string (the frame hands over count bytes, not always terminated).
std::string Text(const char* line, int len) {
  return len > 0 ? std::string(line, size_t(len)) : std::string();
}

int ScanPreset(const std::string& text, int preset) {
  ScanText(text.c_str(), "PRESET%d", &preset);
  return preset;
}

bool InRange(int n) { return n >= kFirstPresetNumber && n <= kLastPresetNumber; }

std::string NotEnabled(int n) { return "[ERROR]Preset " + std::to_string(n) + " not enable.\r\n"; }

const char* OnOff(int value) { return value == 1 ? "On" : "Off"; }
const char* YesNo(int value) { return value == 1 ? "Yes" : "No"; }

// The input whose number (1-14) an output's source holds; "None" for 0 and anything else.
const char* SourceName(int source) {
  if (source < 1 || source > kDspChannels) return "None";
  return kInputLabels[source - 1];
}

}  // namespace

std::string PresetStatusTable(int n) {
  const app_config_s& p = g_preset_configs[n - 1];
  app_config_s& q = const_cast<app_config_s&>(p);  // the channel accessors are not const
  std::string table = "Input   Name               Phantom_Power   Locked      Gain(dB)   Mute";
  char row[160];
  for (int c = 0; c < kDspChannels; ++c) {
    if (c < kAnalogueChannels) {
      std::snprintf(row, sizeof row, "%02d      %-19s%-3s             %-6s      %-3d        %-3s",
                    c + 1, kInputLabels[c], OnOff(p.analogue_input_phantom[c]),
                    YesNo(q.InputLinkRef(c / 2)), q.InputGainRef(c), OnOff(q.InputMuteRef(c)));
    } else {
      std::snprintf(row, sizeof row, "%02d      %-19s--              %-6s      %-3d        %-3s",
                    c + 1, kInputLabels[c], YesNo(q.InputLinkRef(c / 2)), q.InputGainRef(c),
                    OnOff(q.InputMuteRef(c)));
    }
    table += "\r\n";
    table += row;
  }
  table += "\r\n\r\nOutput   Name               From              Locked      Volume    Mute";
  for (int o = 0; o < kDspChannels; ++o) {
    std::snprintf(row, sizeof row, "%02d      %-20s%-15s   %-6s      %-3d        %-3s", o + 1,
                  kOutputLabels[o], SourceName(p.control[o]), YesNo(q.OutputLinkRef(o / 2)),
                  q.OutputVolRef(o), OnOff(q.OutputMuteRef(o)));
    table += "\r\n";
    table += row;
  }
  return table;
}

bool TermPrintPresetStatus(int, char* line, int len, std::string& reply) {
  const int n = ScanPreset(Text(line, len), kStatusNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
  } else if (g_app_config.preset_enable[n - 1] == 0) {
    reply += NotEnabled(n);
  } else {
    reply += PresetStatusTable(n) + "\r\n";
  }
  return false;
}

bool TermSavePreset(int, char* line, int len, std::string& reply) {
  const int n = ScanPreset(Text(line, len), kNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
    return false;
  }
  if (g_app_config.preset_name[n - 1][0] == '\0') {
    reply += "[ERROR]Preset " + std::to_string(n) + " not name.\r\n";
    return false;
  }
  if (!SavePreset(n, reply)) {
    reply += "[ERROR]Preset " + std::to_string(n) + " could not be saved.\r\n";
    return false;  // nothing changed: a preset saved before keeps its file
  }
  return true;
}

bool TermApplyPreset(int, char* line, int len, std::string& reply) {
  const int n = ScanPreset(Text(line, len), kNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
    return false;
  }
  switch (RequestPresetRecall(n, RecallLineEnd::kPlain, reply)) {
    case RecallRequest::kRequested:
      return true;
    case RecallRequest::kNotEnabled:
      reply += NotEnabled(n);
      return false;
    case RecallRequest::kUnreadable:
      break;
  }
  reply += "[ERROR]Preset " + std::to_string(n) + " could not be read.\r\n";
  return false;
}

bool TermDeletePreset(int, char* line, int len, std::string& reply) {
  const int n = ScanPreset(Text(line, len), kNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
    return false;
  }
  DeletePreset(n, reply);
  return true;
}

bool TermSetPresetName(int, char* line, int len, std::string& reply) {
  const std::string text = Text(line, len);
  const int n = ScanPreset(text, kNoPreset);
  std::string name;
  const size_t at = text.find("NAME");
  if (at != std::string::npos) {
    name = text.substr(at + 4);
    name = name.substr(0, name.find_first_of("\r\n"));
  }
  if (!InRange(n) || name.empty() || name.size() > size_t(kMaxNameLength) ||
      !IsCleanName(name)) {
    reply += kRangeError;
    return false;
  }
  SetPresetName(n, name, reply);
  return true;
}
