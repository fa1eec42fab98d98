#include "devctl/text/input_gain_commands.h"

#include "devctl/core/input_changes.h"
#include "devctl/core/input_groups.h"
#include "devctl/core/limits.h"
#include "devctl/text/line_text.h"
#include "devctl/text/step_commands.h"

namespace {

constexpr char kSetError[] =
    "[ERROR]Set input gain param out of range. Type \"HELP\" for more reference.\r\n";
constexpr char kUpError[] =
    "[ERROR]Increase input gain param out of range. Type \"HELP\" for more reference.\r\n";
constexpr char kDownError[] =
    "[ERROR]Decrease input gain param out of range. Type \"HELP\" for more reference.\r\n";

bool InRange(int channel) {
  return channel >= kAllChannelsNumber && channel <= kMaxChannelNumber;
}

const StepChanges kGainSteps{StepAllInputsGain, StepInputGroupGain, StepInputChannelGain};

}  // namespace

bool TermSetInputGain(int, char* line, int, std::string& reply) {
  int channel = 0, gain = -100;
  ScanText(line, "IN%dGAIN%d", &channel, &gain);
  if (!InRange(channel) || gain < kMinInputGain || gain > kMaxInputGain) {
    reply += kSetError;
    return false;
  }
  if (channel == 0) {
    SetAllInputsGain(gain, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetInputGroupGain(channel - kFirstGroupNumber, gain, GainWrite::kBeforeUnmute,
                      GroupGainName::kGroupOfInputs, reply);
  } else {
    SetInputChannelGain(channel - 1, gain, reply);
  }
  return true;
}

bool TermSetInputGainUp(int, char* line, int, std::string& reply) {
  return RunStepCommand(kGainSteps, LevelStep::kUp, line, "IN", "GAIN", kUpError, reply);
}

bool TermSetInputGainDown(int, char* line, int, std::string& reply) {
  return RunStepCommand(kGainSteps, LevelStep::kDown, line, "IN", "GAIN", kDownError, reply);
}
