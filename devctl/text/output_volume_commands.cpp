#include "devctl/text/output_volume_commands.h"

#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"
#include "devctl/text/step_commands.h"

namespace {

constexpr char kSetParam[] = "Set output volume";
constexpr char kUpParam[] = "Increase output volume";
constexpr char kDownParam[] = "Decrease output volume";

const StepChanges kVolumeSteps{StepAllOutputsVolume, StepOutputGroupVolume,
                               StepOutputChannelVolume};

}  // namespace

bool TermSetOutputVolume(const PreparedLine& line, std::string& reply) {
  // A missing volume keeps -1 and is refused: a typo must not silence the outputs.
  int channel = 0, volume = -1;
  ScanText(line.condensed, "OUT%dVOL%d", &channel, &volume);
  if (!IsChannelOrGroupNumber(channel) || volume < kMinVolume || volume > kMaxVolume) {
    return RefuseRange(kSetParam, reply);
  }
  if (channel == 0) {
    SetAllOutputsVolume(g_unit.config, volume, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetOutputGroupVolume(g_unit.config, channel - kFirstGroupNumber, volume,
                         VolumeWrite::kMuteFirst, reply);
  } else {
    SetOutputChannelVolume(g_unit.config, channel - 1, volume, reply);
  }
  return true;
}

bool TermSetOutputVolumeUp(const PreparedLine& line, std::string& reply) {
  return RunStepCommand(kVolumeSteps, LevelStep::kUp, line.condensed, "OUT", "VOL", kUpParam,
                        reply);
}

bool TermSetOutputVolumeDown(const PreparedLine& line, std::string& reply) {
  return RunStepCommand(kVolumeSteps, LevelStep::kDown, line.condensed, "OUT", "VOL", kDownParam,
                        reply);
}

// The rows of these commands: keyword tests and frames for the dispatcher, entries for HELP.
namespace {

// VOL+ and VOL- before VOL.
const TextRow kOutputVolumeRowList[] = {
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("VOL+"); }, TermSetOutputVolumeUp,
     kWakes | kSaves, "OUT 1 VOL+2"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("VOL-"); },
     TermSetOutputVolumeDown, kWakes | kSaves, "OUT 1 VOL-"},
    {[](const PreparedLine& l) { return l.Begins("OUT") && l.Has("VOL"); }, TermSetOutputVolume,
     kWakes | kSaves, "OUT 1 VOL 50"},
};

const text_command_s kOutputVolumeHelpList[] = {
    {0, "OUT xx VOL yy", TermSetOutputVolume,
     FormatHelpText(nullptr, "OUT xx VOL yy",
                    {"Set Output:xx Volume To yy", "xx=[0]:All Output Ports",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D",
                     "yy=[0...100]:Volume Value"})},
    {0, "OUT xx VOL+", TermSetOutputVolumeUp,
     FormatHelpText(nullptr, "OUT xx VOL+yy",
                    {"Increase Output:xx Volume", "xx=[0]:All Output Ports",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D",
                     "yy=[1...10]:Steps", "yy Can Be Empty(1 Step)"})},
    {0, "OUT xx VOL-", TermSetOutputVolumeDown,
     FormatHelpText(nullptr, "OUT xx VOL-yy",
                    {"Decrease Output:xx Volume", "xx=[0]:All Output Ports",
                     "xx=[1...18]:1-4:Analogue Output CH1-CH4,5-12:Tarvo Output CH1-CH8,13:USB "
                     "Output Left,14:USB Output Right,15-18:Output Group A-D",
                     "yy=[1...10]:Steps", "yy Can Be Empty(1 Step)"})},
};

}  // namespace

const TextRows kOutputVolumeRows = SliceOf(kOutputVolumeRowList);

const HelpRows kOutputVolumeHelp = SliceOf(kOutputVolumeHelpList);
