#include "devctl/text/output_volume_commands.h"

#include "devctl/core/limits.h"
#include "devctl/core/output_changes.h"
#include "devctl/text/line_text.h"
#include "devctl/text/step_commands.h"

namespace {

constexpr char kSetError[] =
    "[ERROR]Set output volume param out of range. Type \"HELP\" for more reference.\r\n";
constexpr char kUpError[] =
    "[ERROR]Increase output volume param out of range. Type \"HELP\" for more reference.\r\n";
constexpr char kDownError[] =
    "[ERROR]Decrease output volume param out of range. Type \"HELP\" for more reference.\r\n";

bool InRange(int channel) { return static_cast<unsigned>(channel) <= kMaxChannelNumber; }

const StepChanges kVolumeSteps{StepAllOutputsVolume, StepOutputGroupVolume,
                               StepOutputChannelVolume};

}  // namespace

bool TermSetOutputVolume(int, char* line, int, std::string& reply) {
  // A missing volume keeps -1 and is refused: a typo must not silence the outputs.
  int channel = 0, volume = -1;
  ScanText(line, "OUT%dVOL%d", &channel, &volume);
  if (!InRange(channel) || volume < kMinVolume || volume > kMaxVolume) {
    reply += kSetError;
    return false;
  }
  if (channel == 0) {
    SetAllOutputsVolume(volume, reply);
  } else if (channel >= kFirstGroupNumber) {
    SetOutputGroupVolume(channel - kFirstGroupNumber, volume, VolumeWrite::kMuteFirst, reply);
  } else {
    SetOutputChannelVolume(channel - 1, volume, reply);
  }
  return true;
}

bool TermSetOutputVolumeUp(int, char* line, int, std::string& reply) {
  return RunStepCommand(kVolumeSteps, LevelStep::kUp, line, "OUT", "VOL", kUpError, reply);
}

bool TermSetOutputVolumeDown(int, char* line, int, std::string& reply) {
  return RunStepCommand(kVolumeSteps, LevelStep::kDown, line, "OUT", "VOL", kDownError, reply);
}
