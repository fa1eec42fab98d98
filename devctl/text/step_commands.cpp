#include "devctl/text/step_commands.h"

#include <cstring>

#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/line_text.h"
#include "devctl/text/reply_text.h"

namespace {

constexpr int kNoStep = -65535;  // preset before scanning: no number was read, one step

}  // namespace

bool RunStepCommand(const StepChanges& changes, LevelStep::Direction direction, const char* line,
                    const char* prefix, const char* word, const char* refused, std::string& reply) {
  int channel = 0, step = kNoStep;
  const std::string signed_word = std::string(word) + (direction == LevelStep::kUp ? "+" : "-");
  if (direction == LevelStep::kUp) {
    ScanText(line, (prefix + std::string("%d") + signed_word + "%d").c_str(), &channel, &step);
  } else {
    ScanText(line, (prefix + std::string("%d") + signed_word).c_str(), &channel);
    if (const char* at = std::strstr(line, signed_word.c_str())) {
      ScanText(at + signed_word.size(), "%d", &step);
    }
  }
  if (step == kNoStep) step = 1;
  if (!IsChannelOrGroupNumber(channel) || step < kMinStep || step > kMaxStep) {
    return RefuseRange(refused, reply);
  }
  const LevelStep change{direction, step};
  if (channel == kAllChannelsNumber) {
    changes.all(g_unit.config, change, reply);
  } else if (channel >= kFirstGroupNumber) {
    changes.group(g_unit.config, channel - kFirstGroupNumber, change, reply);
  } else {
    changes.channel(g_unit.config, channel - 1, change, reply);
  }
  return true;
}
