#include "devctl/text/eq_commands.h"

#include <cstring>
#include <string>

#include "devctl/core/eq_changes.h"
#include "devctl/core/limits.h"
#include "devctl/text/line_text.h"

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
constexpr int kHighestChannel = 18;
constexpr int kHighestLockChannel = 14;
constexpr int kHighestBand = 8;  // 0 all, 1-8 one band
constexpr int kHighestPreset = 3;  // typed memory numbers 1-3

constexpr char kHelpTail[] = " Type \"HELP\" for more reference.\r\n";

// The text side's description of one direction.
struct EqSide {
  int side;
  const char* prefix;           // "IN" / "OUT"
  const char* band_error;       // band, type, frequency, gain or Q out of range
  const char* channel_error;    // channel of a band command out of range
  const char* preset_error;
  const char* set_error;        // lock, enable and clear
};

const EqSide kInput{EQ_SIDE_INPUT, "IN", "[ERROR]Input PEQ param out of range.",
                    // The unit's own text ("in of range").
                    "[ERROR]Input PEQ param in of range.", "[ERROR]Input PEQ preset param out of range.",
                    "[ERROR]Set input PEQ param out of range."};
const EqSide kOutput{EQ_SIDE_OUTPUT, "OUT", "[ERROR]Output PEQ param out of range.",
                     "[ERROR]Output PEQ param out of range.",
                     "[ERROR]Output PEQ preset param out of range.",
                     "[ERROR]Set output PEQ param out of range."};

std::string Pattern(const EqSide& s, const char* rest) { return std::string(s.prefix) + rest; }

bool Refuse(const char* error, std::string& reply) {
  reply += std::string(error) + kHelpTail;
  return false;
}

bool Within(int v, int lo, int hi) { return lo <= v && v <= hi; }
// Written so that a NaN fails.
bool Within(float v, float lo, float hi) { return lo <= v && v <= hi; }

// Channel number (0 all, 1-18) as an EQ slot.
int SlotOf(int channel) { return channel == 0 ? kAllEqSlots : channel - 1; }
// Band number (0 all, 1-8) as a band index.
int BandOf(int band) { return band == 0 ? kAllEqBands : band - 1; }

bool SetBand(const EqSide& s, char* line, std::string& reply) {
  int channel = -100, band = -1, type = -100, frequency = -100;
  float gain = -100.0f, quality = -100.0f;
  ScanText(line, Pattern(s, "%dEQ%dTYPE%dFRQ%dGAIN%fQ%f").c_str(), &channel, &band, &type,
           &frequency, &gain, &quality);
  if (!Within(type, 1, kEqTypes) || !Within(frequency, kEqMinFrequency, kEqMaxFrequency) ||
      !Within(gain, kEqMinGain, kEqMaxGain) || !Within(quality, kEqMinQuality, kEqMaxQuality)) {
    return Refuse(s.band_error, reply);
  }
  if (!Within(channel, 0, kHighestChannel)) return Refuse(s.channel_error, reply);
  if (!Within(band, 0, kHighestBand)) return Refuse(s.band_error, reply);
  EqBandValues values;
  values.type = type - 1;
  values.type_name = kStoredTypeNames[type - 1];
  values.frequency = frequency;
  values.gain = gain;
  values.quality = quality;
  return SetEqBand(s.side, SlotOf(channel), BandOf(band), values, kSelectedEqMemory, kTextEqRules,
                   reply);
}

bool SetPreset(const EqSide& s, char* line, std::string& reply) {
  int channel = 0, preset = -1;
  ScanText(line, Pattern(s, "%dEQPRESET%d").c_str(), &channel, &preset);
  if (!Within(preset, 1, kHighestPreset)) return Refuse(s.preset_error, reply);
  if (Within(channel, 0, kHighestChannel)) {
    SelectEqMemory(s.side, SlotOf(channel), preset - 1, kTextEqRules, reply);
  } else {
    // No line, yet the file is rewritten (as the unit does).
    reply += "\r\n";
  }
  return true;
}

// The text after the first occurrence of key, or nullptr.
const char* After(const char* line, const char* key) {
  const char* at = std::strstr(line, key);
  return at ? at + std::strlen(key) : nullptr;
}

bool StartsWith(const char* text, const char* word) {
  return text && std::strncmp(text, word, std::strlen(word)) == 0;
}

bool SetLock(const EqSide& s, char* line, std::string& reply) {
  int channel = 0;
  ScanText(line, Pattern(s, "%d").c_str(), &channel);
  if (!Within(channel, 0, kHighestLockChannel)) return Refuse(s.set_error, reply);
  if (channel == 0) {
    // The first "LOCK" decides; a line with neither word still rewrites the file.
    const char* rest = After(line, "LOCK");
    if (StartsWith(rest, "ON")) SetEqLock(s.side, kAllEqSlots, true, kTextEqRules, reply);
    else if (StartsWith(rest, "OFF")) SetEqLock(s.side, kAllEqSlots, false, kTextEqRules, reply);
    return true;
  }
  if (std::strstr(line, "LOCKON")) {
    SetEqLock(s.side, channel - 1, true, kTextEqRules, reply);
  } else if (std::strstr(line, "LOCKOFF")) {
    SetEqLock(s.side, channel - 1, false, kTextEqRules, reply);
  }
  return true;
}

bool SetEnable(const EqSide& s, char* line, std::string& reply) {
  int channel = 0, band = -1;
  ScanText(line, Pattern(s, "%dEQ%d").c_str(), &channel, &band);
  if (!Within(band, 0, kHighestBand) || !Within(channel, 0, kHighestChannel)) {
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
  SetEqBandSwitch(s.side, SlotOf(channel), BandOf(band), on, kTextEqRules, reply);
  return true;
}

bool Clear(const EqSide& s, char* line, std::string& reply) {
  int channel = 0;
  ScanText(line, Pattern(s, "%d").c_str(), &channel);
  if (!Within(channel, 0, kHighestChannel)) return Refuse(s.set_error, reply);
  ClearEqMemory(s.side, SlotOf(channel), reply);
  return true;
}

}  // namespace

bool TermSetInputEqBand(int, char* line, int, std::string& reply) {
  return SetBand(kInput, line, reply);
}
bool TermSetOutputEqBand(int, char* line, int, std::string& reply) {
  return SetBand(kOutput, line, reply);
}
bool TermSetInputEqPreset(int, char* line, int, std::string& reply) {
  return SetPreset(kInput, line, reply);
}
bool TermSetOutputEqPreset(int, char* line, int, std::string& reply) {
  return SetPreset(kOutput, line, reply);
}
bool TermSetInputEqLock(int, char* line, int, std::string& reply) {
  return SetLock(kInput, line, reply);
}
bool TermSetOutputEqLock(int, char* line, int, std::string& reply) {
  return SetLock(kOutput, line, reply);
}
bool TermSetInputEqEnable(int, char* line, int, std::string& reply) {
  return SetEnable(kInput, line, reply);
}
bool TermSetOutputEqEnable(int, char* line, int, std::string& reply) {
  return SetEnable(kOutput, line, reply);
}
bool TermClearInputEq(int, char* line, int, std::string& reply) {
  return Clear(kInput, line, reply);
}
bool TermClearOutputEq(int, char* line, int, std::string& reply) {
  return Clear(kOutput, line, reply);
}
