#include "devctl/text/eq_commands.h"

#include <cstring>
#include <string>
#include <string_view>

#include "devctl/core/eq_changes.h"
#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

// Flat takes band switches but no band edits; a pair loads band by band under one line; locking
// copies into the second channel's own memory.
const EqRules kTextEqRules = {
    /*refuses_flat_edit=*/true,
    /*switches_flat=*/true,
    /*switches_whole_group=*/false,
    PairLoad::kBandByBand,
    PairLock::kCopyIntoOwnMemory,
    /*flat_analogue_input=*/"Analogue input",
    /*usb_switch_side_last=*/true,
    /*unlocked=*/" PEQ unlocked.\r\n",
    /*locked_output_pair=*/" PEQ locked.\r\n",
    /*usb_lock_by_channel=*/false,
};

namespace {

// Type TYPE (1-5) as stored; the DSP filter type is TYPE - 1.
constexpr const char* kStoredTypeNames[kEqTypes] = {"PARAMETRIC", "LOWPASS", "HIGHPASS",
                                                    "LOW_SHELF", "HIGH_SHELF"};

// The text side's description of one direction.
struct EqSide {
  int side;
  const char* prefix;         // "IN" / "OUT"
  const char* band_error;     // band, type, frequency, gain or Q out of range
  const char* channel_error;  // channel of a band command out of range
  const char* preset_error;
  const char* set_error;  // lock, enable and clear
};

const EqSide kInput{EQ_SIDE_INPUT, "IN", "[ERROR]Input PEQ param out of range.",
                    // The unit's own text ("in of range").
                    "[ERROR]Input PEQ param in of range.",
                    "[ERROR]Input PEQ preset param out of range.",
                    "[ERROR]Set input PEQ param out of range."};
const EqSide kOutput{EQ_SIDE_OUTPUT,
                     "OUT",
                     "[ERROR]Output PEQ param out of range.",
                     "[ERROR]Output PEQ param out of range.",
                     "[ERROR]Output PEQ preset param out of range.",
                     "[ERROR]Set output PEQ param out of range."};

std::string Pattern(const EqSide& s, const char* rest) { return std::string(s.prefix) + rest; }

bool Refuse(const char* error, std::string& reply) {
  reply += HelpErrorLine(error);
  return false;
}

bool Within(int v, int lo, int hi) { return lo <= v && v <= hi; }
// Written so that a NaN fails.
bool Within(float v, float lo, float hi) { return lo <= v && v <= hi; }

// Channel number (0 all, 1-18) as an EQ slot.
int SlotOf(int channel) { return channel == 0 ? kAllEqSlots : channel - 1; }
// Band number (0 all, 1-8) as a band index.
int BandOf(int band) { return band == 0 ? kAllEqBands : band - 1; }

bool SetBand(const EqSide& s, const char* line, std::string& reply) {
  int channel = -100, band = -1, type = -100, frequency = -100;
  float gain = -100.0f, quality = -100.0f;
  ScanText(line, Pattern(s, "%dEQ%dTYPE%dFRQ%dGAIN%fQ%f").c_str(), &channel, &band, &type,
           &frequency, &gain, &quality);
  if (!Within(type, 1, kEqTypes) || !Within(frequency, kEqMinFrequency, kEqMaxFrequency) ||
      !Within(gain, kEqMinGain, kEqMaxGain) || !Within(quality, kEqMinQuality, kEqMaxQuality)) {
    return Refuse(s.band_error, reply);
  }
  if (!IsChannelOrGroupNumber(channel)) return Refuse(s.channel_error, reply);
  if (!Within(band, 0, kEqBands)) return Refuse(s.band_error, reply);
  EqBandValues values;
  values.type = type - 1;
  values.type_name = kStoredTypeNames[type - 1];
  values.frequency = frequency;
  values.gain = gain;
  values.quality = quality;
  return SetEqBand(g_unit.config, s.side, SlotOf(channel), BandOf(band), values, kSelectedEqMemory,
                   kTextEqRules, reply);
}

bool SetPreset(const EqSide& s, const char* line, std::string& reply) {
  int channel = 0, preset = -1;
  ScanText(line, Pattern(s, "%dEQPRESET%d").c_str(), &channel, &preset);
  if (!Within(preset, kFirstEqMemoryNumber, kEqMemories)) return Refuse(s.preset_error, reply);
  if (IsChannelOrGroupNumber(channel)) {
    SelectEqMemory(g_unit.config, s.side, SlotOf(channel), preset - 1, kTextEqRules, reply);
  } else {
    // No line, yet the file is rewritten (as the unit does).
    reply += "\r\n";
  }
  return true;
}

// The text after the first occurrence of key; empty when there is none.
std::string_view After(const char* line, const char* key) {
  const char* at = std::strstr(line, key);
  return at ? std::string_view(at + std::strlen(key)) : std::string_view();
}

bool SetLock(const EqSide& s, const char* line, std::string& reply) {
  int channel = 0;
  ScanText(line, Pattern(s, "%d").c_str(), &channel);
  if (!Within(channel, kAllChannelsNumber, kLastChannelNumber)) return Refuse(s.set_error, reply);
  if (channel == 0) {
    // The first "LOCK" decides; a line with neither word still rewrites the file.
    const std::string_view rest = After(line, "LOCK");
    if (BeginsWith(rest, "ON"))
      SetEqLock(g_unit.config, s.side, kAllEqSlots, true, kTextEqRules, reply);
    else if (BeginsWith(rest, "OFF"))
      SetEqLock(g_unit.config, s.side, kAllEqSlots, false, kTextEqRules, reply);
    return true;
  }
  if (std::strstr(line, "LOCKON")) {
    SetEqLock(g_unit.config, s.side, channel - 1, true, kTextEqRules, reply);
  } else if (std::strstr(line, "LOCKOFF")) {
    SetEqLock(g_unit.config, s.side, channel - 1, false, kTextEqRules, reply);
  }
  return true;
}

bool SetEnable(const EqSide& s, const char* line, std::string& reply) {
  int channel = 0, band = -1;
  ScanText(line, Pattern(s, "%dEQ%d").c_str(), &channel, &band);
  if (!Within(band, 0, kEqBands) || !IsChannelOrGroupNumber(channel)) {
    return Refuse(s.set_error, reply);
  }
  int on;
  if (std::strstr(line, "ON")) {
    on = 1;
  } else if (std::strstr(line, "OFF")) {
    on = 0;
  } else {
    return Refuse(s.set_error, reply);
  }
  SetEqBandSwitch(g_unit.config, s.side, SlotOf(channel), BandOf(band), on, kTextEqRules, reply);
  return true;
}

bool Clear(const EqSide& s, const char* line, std::string& reply) {
  int channel = 0;
  ScanText(line, Pattern(s, "%d").c_str(), &channel);
  if (!IsChannelOrGroupNumber(channel)) return Refuse(s.set_error, reply);
  ClearEqMemory(g_unit.config, s.side, SlotOf(channel), reply);
  return true;
}

}  // namespace

bool TermSetInputEqBand(const PreparedLine& line, std::string& reply) {
  return SetBand(kInput, line.condensed, reply);
}
bool TermSetOutputEqBand(const PreparedLine& line, std::string& reply) {
  return SetBand(kOutput, line.condensed, reply);
}
bool TermSetInputEqPreset(const PreparedLine& line, std::string& reply) {
  return SetPreset(kInput, line.condensed, reply);
}
bool TermSetOutputEqPreset(const PreparedLine& line, std::string& reply) {
  return SetPreset(kOutput, line.condensed, reply);
}
bool TermSetInputEqLock(const PreparedLine& line, std::string& reply) {
  return SetLock(kInput, line.condensed, reply);
}
bool TermSetOutputEqLock(const PreparedLine& line, std::string& reply) {
  return SetLock(kOutput, line.condensed, reply);
}
bool TermSetInputEqEnable(const PreparedLine& line, std::string& reply) {
  return SetEnable(kInput, line.condensed, reply);
}
bool TermSetOutputEqEnable(const PreparedLine& line, std::string& reply) {
  return SetEnable(kOutput, line.condensed, reply);
}
bool TermClearInputEq(const PreparedLine& line, std::string& reply) {
  return Clear(kInput, line.condensed, reply);
}
bool TermClearOutputEq(const PreparedLine& line, std::string& reply) {
  return Clear(kOutput, line.condensed, reply);
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// The keyword tests look at E, the text from the first "EQ" of the line.
const char* EqText(const PreparedLine& l) { return std::strstr(l.condensed, "EQ"); }

// E has TYPE, then FRQ, then GAIN, then Q, each after the one before.
bool IsBandLine(const PreparedLine& l) {
  const char* e = EqText(l);
  const char* type = e ? std::strstr(e, "TYPE") : nullptr;
  const char* frq = type ? std::strstr(type + 4, "FRQ") : nullptr;
  const char* gain = frq ? std::strstr(frq + 3, "GAIN") : nullptr;
  return gain != nullptr && std::strchr(gain + 4, 'Q') != nullptr;
}

// E has LOCK, and ON follows the line's first LOCK or E has OFF.
bool IsLockLine(const PreparedLine& l) {
  const char* e = EqText(l);
  return e && std::strstr(e, "LOCK") && (l.HasAfter("LOCK", "ON") || std::strstr(e, "OFF"));
}

// E has ON, or OFF without LOCK (a lock line is taken by the row before).
bool IsEnableLine(const PreparedLine& l) {
  const char* e = EqText(l);
  return e && (std::strstr(e, "ON") || (!std::strstr(e, "LOCK") && std::strstr(e, "OFF")));
}

bool IsMemoryLine(const PreparedLine& l) { return l.HasAfter("EQ", "PRESET"); }

// An OUT line that names EQ never reaches the volume commands: it is an equaliser command, whole
// or not, and a band edit missing a part gets the band command's range error.
const TextRow kEqVolumeLineRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("OUT") && EqText(l) && l.Has("VOL"); },
     TermSetOutputEqBand, kWakes | kSaves, "OUT 1 EQ 1 TYPE 1 VOL 5"},
};

const TextRow kEqRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("IN") && IsBandLine(l); }, TermSetInputEqBand,
     kWakes | kSaves, "IN 1 EQ 1 TYPE 1 FRQ 100 GAIN 3 Q 1"},
    {[](const PreparedLine& l) { return l.Begins("IN") && IsLockLine(l); }, TermSetInputEqLock,
     kWakes | kSaves, "IN 1 EQ LOCK ON"},
    {[](const PreparedLine& l) { return l.Begins("IN") && IsEnableLine(l); }, TermSetInputEqEnable,
     kWakes | kSaves, "IN 1 EQ 2 ON"},
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("EQCLR"); }, TermClearInputEq,
     kWakes | kSaves, "IN 1 EQ CLR"},
    {[](const PreparedLine& l) { return l.Begins("IN") && IsMemoryLine(l); }, TermSetInputEqPreset,
     kWakes | kSaves, "IN 1 EQ PRESET 2"},
    // An IN line that names EQ is an equaliser command, whole or not: a band edit missing a part
    // gets the band command's range error and never reaches the gain commands.
    {[](const PreparedLine& l) { return l.Begins("IN") && EqText(l); }, TermSetInputEqBand,
     kWakes | kSaves, "IN 1 EQ 1 TYPE 1 FRQ 100 GAIN 3"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && IsBandLine(l); }, TermSetOutputEqBand,
     kWakes | kSaves, "OUT 1 EQ 1 TYPE 2 FRQ 1000 GAIN -3 Q 0.7"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && IsLockLine(l); }, TermSetOutputEqLock,
     kWakes | kSaves, "OUT 1 EQ LOCK OFF"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && IsEnableLine(l); },
     TermSetOutputEqEnable, kWakes | kSaves, "OUT 1 EQ 3 OFF"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("EQCLR"); }, TermClearOutputEq,
     kWakes | kSaves, "OUT 1 EQ CLR"},
};

// Tried after the routing command: an OUT line with FR and EQ PRESET routes.
const TextRow kOutputEqPresetRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("OUT") && IsMemoryLine(l); },
     TermSetOutputEqPreset, kWakes | kSaves, "OUT 1 EQ PRESET 3"},
};

const text_command_s kInputEqHelpList[] = {
    {0, "IN xx EQ PRESET yy", TermSetInputEqPreset,
     FormatHelpText(nullptr, "IN xx EQ PRESET yy",
                    {"Set Input:xx GEQ:yy To Preset:yy", "xx=[0]:All Input Ports",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4",
                     "yy=[1...3]:1:Flat,2:Custom1,3:Custom2"})},
    {0, "IN xx EQ LOCK ON/OFF", TermSetInputEqLock,
     FormatHelpText(nullptr, "IN xx EQ LOCK ON/OFF",
                    {"Set Input:xx EQ L/R Lock/Unlock", "xx=[0]:All Inputs",
                     "xx=[1...14]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right"})},
    {0, "IN xx EQ yy ON/OFF", TermSetInputEqEnable,
     FormatHelpText(nullptr, "IN xx EQ yy ON/OFF",
                    {"Set Input:xx EQ yy On/Off", "xx=[0]:All Inputs",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4",
                     "yy=[0...8]:EQ Index 0:All"})},
    {0, "IN xx EQ vv TYPE ww FRQ yy GAIN zz Q aa", TermSetInputEqBand,
     FormatHelpText(
         nullptr, "IN xx EQ vv TYPE ww FRQ yy GAIN zz Q aa",
         {"Set Input: xx EQ vv To Type ww With FRQ yy GAIN zz Q aa", "xx=[0]:All Inputs",
          "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
          "Left,14:USB Input Right,15-18:Input Group 1-4",
          "vv=[0...8]:EQ Index 0:All",
          "ww=[1...5]:Filter Type:1:Parametric,2:Lowpass,3:Highpass,4:Low Shelf,5:High Shelf",
          "yy=[20...20000]:Frequency Value[Hz]", "zz=[-15...+15]:Gain Value[dB](Step=0.1)",
          "aa=[0.02...50]:Q Value(Step=0.01)"})},
    {0, "IN xx EQ CLR", TermClearInputEq,
     FormatHelpText(nullptr, "IN xx EQ CLR",
                    {"Set Input:xx EQ Clear", "xx=[0]:All Inputs",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4"})},
};

const text_command_s kOutputEqHelpList[] = {
    {0, "OUT xx EQ PRESET yy", TermSetOutputEqPreset,
     FormatHelpText(nullptr, "OUT xx EQ PRESET yy",
                    {"Set Output:xx PEQ:yy To Preset:yy", "xx=[0]:All Output Ports",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D",
                     "yy=[1...3]:1:Flat,2:Custom1,3:Custom2"})},
    {0, "OUT xx EQ LOCK ON/OFF", TermSetOutputEqLock,
     FormatHelpText(nullptr, "OUT xx EQ LOCK ON/OFF",
                    {"Set Output:xx EQ L/R Lock/Unlock", "xx=[0]:All Outputs",
                     "xx=[1...14]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right"})},
    {0, "OUT xx EQ yy ON/OFF", TermSetOutputEqEnable,
     FormatHelpText(nullptr, "OUT xx EQ yy ON/OFF",
                    {"Set Output:xx EQ yy On/Off", "xx=[0]:All Outputs",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D",
                     "yy=[0...8]:EQ Index 0:All"})},
    {0, "OUT xx EQ vv TYPE ww FRQ yy GAIN zz Q aa", TermSetOutputEqBand,
     FormatHelpText(
         nullptr, "OUT xx EQ vv TYPE ww FRQ yy GAIN zz Q aa",
         {"Set Output: xx EQ vv To Type ww With FRQ yy GAIN zz Q aa", "xx=[0]:All Outputs",
          "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB Output "
          "Left,14:USB Output Right,15-18:Output Group A-D",
          "vv=[0...8]:EQ Index 0:All",
          "ww=[1...5]:Filter Type:1:Parametric,2:Lowpass,3:Highpass,4:Low Shelf,5:High Shelf",
          "yy=[20...20000]:Frequency Value[Hz]", "zz=[-15...+15]:Gain Value[dB](Step=0.1)",
          "aa=[0.02...50]:Q Value(Step=0.01)"})},
    {0, "OUT xx EQ CLR", TermClearOutputEq,
     FormatHelpText(nullptr, "OUT xx EQ CLR",
                    {"Set Output:xx EQ Clear", "xx=[0]:All Outputs",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D"})},
};

}  // namespace

const TextRows kEqVolumeLineRows = SliceOf(kEqVolumeLineRowList);
const TextRows kEqRows = SliceOf(kEqRowList);
const TextRows kOutputEqPresetRows = SliceOf(kOutputEqPresetRowList);

const HelpRows kInputEqHelp = SliceOf(kInputEqHelpList);
const HelpRows kOutputEqHelp = SliceOf(kOutputEqHelpList);
