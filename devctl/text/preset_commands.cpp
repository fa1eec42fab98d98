#include "devctl/text/preset_commands.h"

#include <cstdio>
#include <cstring>

#include "devctl/core/limits.h"
#include "devctl/core/name_text.h"
#include "devctl/core/preset_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kStatusNoPreset = -1;  // preset number when STATUS names none
constexpr int kNoPreset = -255;      // and for the other commands

const std::string kRangeError = RangeErrorLine("Set preset");

const char* const kInputLabels[kDspChannels] = {
    "Analogue_In_CH1", "Analogue_In_CH2", "Analogue_In_CH3", "Analogue_In_CH4", "Tarvo_In_CH1",
    "Tarvo_In_CH2",    "Tarvo_In_CH3",    "Tarvo_In_CH4",    "Tarvo_In_CH5",    "Tarvo_In_CH6",
    "Tarvo_In_CH7",    "Tarvo_In_CH8",    "USB_In_Left",     "USB_In_Right"};
const char* const kOutputLabels[kDspChannels] = {
    "Analogue_Out_CH1", "Analogue_Out_CH2", "Analogue_Out_CH3", "Analogue_Out_CH4", "Tarvo_Out_CH1",
    "Tarvo_Out_CH2",    "Tarvo_Out_CH3",    "Tarvo_Out_CH4",    "Tarvo_Out_CH5",    "Tarvo_Out_CH6",
    "Tarvo_Out_CH7",    "Tarvo_Out_CH8",    "USB_Out_Left",     "USB_Out_Right"};

std::string Text(const PreparedLine& line) { return std::string(line.condensed, line.count); }

int ScanPreset(const std::string& text, int preset) {
  ScanText(text.c_str(), "PRESET%d", &preset);
  return preset;
}

bool InRange(int n) { return n >= kFirstPresetNumber && n <= kLastPresetNumber; }

std::string NotEnabled(int n) { return "[ERROR]Preset " + std::to_string(n) + " not enable.\r\n"; }

// The input whose number (1-14) an output's source holds; "None" for 0 and anything else.
const char* SourceName(int source) {
  if (source < 1 || source > kDspChannels) return "None";
  return kInputLabels[source - 1];
}

}  // namespace

std::string PresetStatusTable(int n) {
  const app_config_s& p = g_unit.presets[n - 1];
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

bool TermPrintPresetStatus(const PreparedLine& line, std::string& reply) {
  const int n = ScanPreset(Text(line), kStatusNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
  } else if (g_unit.config.preset_enable[n - 1] == 0) {
    reply += NotEnabled(n);
  } else {
    reply += PresetStatusTable(n) + "\r\n";
  }
  return false;
}

bool TermSavePreset(const PreparedLine& line, std::string& reply) {
  const int n = ScanPreset(Text(line), kNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
    return false;
  }
  if (g_unit.config.preset_name[n - 1][0] == '\0') {
    reply += "[ERROR]Preset " + std::to_string(n) + " not name.\r\n";
    return false;
  }
  if (!SavePreset(g_unit, n, reply)) {
    reply += "[ERROR]Preset " + std::to_string(n) + " could not be saved.\r\n";
    return false;  // nothing changed: a preset saved before keeps its file
  }
  return true;
}

bool TermApplyPreset(const PreparedLine& line, std::string& reply) {
  const int n = ScanPreset(Text(line), kNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
    return false;
  }
  switch (RequestPresetRecall(g_unit, n, RecallLineEnd::kPlain, reply)) {
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

bool TermDeletePreset(const PreparedLine& line, std::string& reply) {
  const int n = ScanPreset(Text(line), kNoPreset);
  if (!InRange(n)) {
    reply += kRangeError;
    return false;
  }
  DeletePreset(g_unit, n, reply);
  return true;
}

bool TermSetPresetName(const PreparedLine& line, std::string& reply) {
  const std::string text = Text(line);
  const int n = ScanPreset(text, kNoPreset);
  std::string name;
  const size_t at = text.find("NAME");
  if (at != std::string::npos) {
    name = text.substr(at + 4);
    name = name.substr(0, name.find_first_of("\r\n"));
  }
  if (!InRange(n) || name.empty() || name.size() > size_t(kMaxNameLength) || !IsCleanName(name)) {
    reply += kRangeError;
    return false;
  }
  SetPresetName(g_unit, n, name, reply);
  return true;
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// STATUS, SAVE, APPLY and DELETE count before a name only: "PRESET 1 NAME SAVE" names.
const TextRow kPresetRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("PRESET") && l.ScopeHas("STATUS"); },
     TermPrintPresetStatus, 0, "PRESET 1 STATUS"},
    {[](const PreparedLine& l) { return l.Begins("PRESET") && l.ScopeHas("SAVE"); }, TermSavePreset,
     kWakes | kSaves, "PRESET 1 SAVE"},
    {[](const PreparedLine& l) { return l.Begins("PRESET") && l.ScopeHas("APPLY"); },
     TermApplyPreset, kWakes | kSaves, "PRESET 1 APPLY"},
    {[](const PreparedLine& l) { return l.Begins("PRESET") && l.ScopeHas("DELETE"); },
     TermDeletePreset, kWakes | kSaves, "PRESET 2 DELETE"},
    {[](const PreparedLine& l) { return l.Begins("PRESET") && l.Has("NAME"); }, TermSetPresetName,
     kWakes | kSaves, "PRESET 1 NAME Stage"},
};

const text_command_s kPresetHelpList[] = {
    {0, "PRESET xx STATUS", TermPrintPresetStatus,
     FormatHelpText("Preset Control Command", "PRESET xx STATUS",
                    {"Print Preset Config Status", "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx SAVE", TermSavePreset,
     FormatHelpText(nullptr, "PRESET xx SAVE",
                    {"Save Current Config To Preset:xx", "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx APPLY", TermApplyPreset,
     FormatHelpText(
         nullptr, "PRESET xx APPLY",
         {"Recall Preset:xx Config To The Current Setting", "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx DELETE", TermDeletePreset,
     FormatHelpText(nullptr, "PRESET xx DELETE",
                    {"Delete Preset:xx From The System", "xx=[1...8]:Select Preset Index"})},
    {0, "PRESET xx NAME yy", TermSetPresetName,
     FormatHelpText(
         nullptr, "PRESET xx NAME yy",
         {"Set Preset:xx To Name:yy", "xx=[1...8]:Select Preset Index", "yy:Max 24 Characters"})},
};

}  // namespace

const TextRows kPresetRows = SliceOf(kPresetRowList);

const HelpRows kPresetHelp = SliceOf(kPresetHelpList);
