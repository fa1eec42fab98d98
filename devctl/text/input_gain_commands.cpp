#include "devctl/text/input_gain_commands.h"

#include <cctype>
#include <cstring>

#include "devctl/core/input_changes.h"
#include "devctl/core/input_groups.h"
#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"
#include "devctl/text/step_commands.h"

namespace {

constexpr char kSetParam[] = "Set input gain";
constexpr char kUpParam[] = "Increase input gain";
constexpr char kDownParam[] = "Decrease input gain";

const StepChanges kGainSteps{StepAllInputsGain, StepInputGroupGain, StepInputChannelGain};

}  // namespace

bool TermSetInputGain(const PreparedLine& line, std::string& reply) {
  int channel = 0, gain = -100;
  ScanText(line.condensed, "IN%dGAIN%d", &channel, &gain);
  if (!IsChannelOrGroupNumber(channel) || gain < kMinInputGain || gain > kMaxInputGain) {
    return RefuseRange(kSetParam, reply);
  }
  if (channel == 0) {
    SetAllInputsGain(g_unit.config, gain, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetInputGroupGain(g_unit.config, channel - kFirstGroupNumber, gain, GainWrite::kBeforeUnmute,
                      GroupGainName::kGroupOfInputs, reply);
  } else {
    SetInputChannelGain(g_unit.config, channel - 1, gain, reply);
  }
  return true;
}

bool TermSetInputGainUp(const PreparedLine& line, std::string& reply) {
  return RunStepCommand(kGainSteps, LevelStep::kUp, line.condensed, "IN", "GAIN", kUpParam, reply);
}

bool TermSetInputGainDown(const PreparedLine& line, std::string& reply) {
  return RunStepCommand(kGainSteps, LevelStep::kDown, line.condensed, "IN", "GAIN", kDownParam,
                        reply);
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// "GAIN" directly followed by a digit.
bool HasGainDigit(const PreparedLine& l) {
  for (const char* at = std::strstr(l.condensed, "GAIN"); at; at = std::strstr(at + 1, "GAIN")) {
    if (std::isdigit(static_cast<unsigned char>(at[4]))) return true;
  }
  return false;
}

const TextRow kInputGainRowList[] = {
    // The received line with its blanks: "IN 1 GAIN +3" sets the gain to 3.
    {[](const PreparedLine& l) { return l.Begins("IN") && l.RawHas("GAIN "); }, TermSetInputGain,
     kWakes | kSaves, "IN 1 GAIN 5"},
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("GAIN+"); }, TermSetInputGainUp,
     kWakes | kSaves, "IN 1 GAIN+3"},
    {[](const PreparedLine& l) { return l.Begins("IN") && l.Has("GAIN-"); }, TermSetInputGainDown,
     kWakes | kSaves, "IN 2 GAIN-"},
    // Typed without blanks: "IN1GAIN5" sets the gain like "IN 1 GAIN 5".
    {[](const PreparedLine& l) { return l.Begins("IN") && HasGainDigit(l); }, TermSetInputGain,
     kWakes | kSaves, "IN1GAIN5"},
};

const text_command_s kInputGainHelpList[] = {
    {0, "IN xx GAIN yy", TermSetInputGain,
     FormatHelpText(nullptr, "IN xx GAIN yy",
                    {"Set Input:xx Gain To yy", "xx=[0]:All Input Ports",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4",
                     "yy=[-30...+30]:Input Gain,Step=1dB"})},
    {0, "IN xx GAIN+yy", TermSetInputGainUp,
     FormatHelpText(nullptr, "IN xx GAIN+yy",
                    {"Increase Input:xx Gain", "xx=[0]:All Input Ports",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4",
                     "yy=[1...10]:Steps", "yy Can Be Empty(1 Step)"})},
    {0, "IN xx GAIN-yy", TermSetInputGainDown,
     FormatHelpText(nullptr, "IN xx GAIN-yy",
                    {"Decrease Input:xx Gain", "xx=[0]:All Input Ports",
                     "xx=[1...18]:1-4:Analogue Input CH1-CH4,5-12:Tarvo Input CH1-CH8,13:USB Input "
                     "Left,14:USB Input Right,15-18:Input Group 1-4",
                     "yy=[1...10]:Steps", "yy Can Be Empty(1 Step))"})},
};

}  // namespace

const TextRows kInputGainRows = SliceOf(kInputGainRowList);

const HelpRows kInputGainHelp = SliceOf(kInputGainHelpList);
