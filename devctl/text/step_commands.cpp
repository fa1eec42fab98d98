#include "devctl/text/step_commands.h"

#include "devctl/core/limits.h"

bool RunStepCommand(const StepChanges& changes, LevelStep::Direction direction, int channel,
                    int step, const char* error, std::string& reply) {
  if (step == kNoStep) step = 1;
  if (channel < kAllChannelsNumber || channel > kMaxChannelNumber || step < kMinStep ||
      step > kMaxStep) {
    reply += error;
    return false;
  }
  const LevelStep change{direction, step};
  if (channel == kAllChannelsNumber) {
    changes.all(change, reply);
  } else if (channel >= kFirstGroupNumber) {
    changes.group(channel - kFirstGroupNumber, change, reply);
  } else {
    changes.channel(channel - 1, change, reply);
  }
  return true;
}
