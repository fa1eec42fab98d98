#include "devctl/core/links_groups.h"

#include "devctl/core/output_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"
#include "platform/clock.h"

namespace {

bool IsPair(int p) { return p >= 0 && p < kStereoPairs; }
bool IsNumber(int n) { return n >= 1 && n <= kDspChannels; }

void ClearRoute(app_config_s& config, int out) {
  config.control[out] = 0;
  DspSetOutputSource(out, 0);
}

// Clears the sources of output pair q that come from input pair p, unless the route is straight.
void FixPairRoute(app_config_s& config, int q, int p) {
  const int i1 = 2 * p + 1, i2 = 2 * p + 2;
  const int a = config.control[2 * q], b = config.control[2 * q + 1];
  if (a == i1 && b == i2) return;
  if (a == i1 || a == i2) ClearRoute(config, 2 * q);
  if (b == i1 || b == i2) ClearRoute(config, 2 * q + 1);
}

// The analogue front end switches its gain range while the input is muted.
constexpr int kRangeSwitchMuteMs = 10;

// "[SUCCESS]Set analogue input CH1/CH2", "[SUCCESS]Set tarvo output CH3/CH4",
// "[SUCCESS]Set USB input left/right".
std::string LinkLineOpening(int p, const char* side) {
  if (p == kStereoPairs - 1) return std::string("[SUCCESS]Set USB ") + side + " left/right";
  const bool analogue = p < kAnalogueChannels / 2;
  const int first = analogue ? 2 * p + 1 : 2 * p + 1 - kAnalogueChannels;
  return std::string("[SUCCESS]Set ") + (analogue ? "analogue " : "tarvo ") + side + " CH" +
         std::to_string(first) + "/CH" + std::to_string(first + 1);
}

void CopyOutputSettings(app_config_s& config, int first, int second) {
  app_config_s& cfg = config;
  if (cfg.OutputVolRef(second) != cfg.OutputVolRef(first)) {
    cfg.OutputVolRef(second) = cfg.OutputVolRef(first);
    DspSetOutputVolume(second, cfg.OutputVolRef(second));
  }
  if (cfg.OutputMuteRef(second) != cfg.OutputMuteRef(first)) {
    cfg.OutputMuteRef(second) = cfg.OutputMuteRef(first);
    DspSetOutputMute(second, cfg.OutputMuteRef(second) != 0);
  }
  if (cfg.OutputDelayRef(second) != cfg.OutputDelayRef(first)) {
    FadeInOutputDelay(config, second, -1, cfg.OutputDelayRef(first), false);
  }
}

void CopyInputSettings(app_config_s& config, int first, int second) {
  app_config_s& cfg = config;
  const int gain = cfg.InputGainRef(first);
  const bool analogue = first < kFirstTarvoChannel;
  if (cfg.InputGainRef(second) != gain) {
    cfg.InputGainRef(second) = gain;
    if (analogue) {
      DspSetInputMute(second, true);
      platform::SleepMs(kRangeSwitchMuteMs);
      SetAnalogGainRange(unsigned(second), gain);
    }
    DspSetInputGain(second, gain);
    cfg.InputMuteRef(second) = cfg.InputMuteRef(first);
    DspSetInputMute(second, cfg.InputMuteRef(second) != 0);
  } else if (cfg.InputMuteRef(second) != cfg.InputMuteRef(first)) {
    cfg.InputMuteRef(second) = cfg.InputMuteRef(first);
    DspSetInputMute(second, cfg.InputMuteRef(second) != 0);
  }
  if (analogue) {
    cfg.analogue_input_phantom[second] = cfg.analogue_input_phantom[first];
    SetPhantomGpio(second, static_cast<uint8_t>(cfg.analogue_input_phantom[second]));
  }
}

}  // namespace

std::pair<int, int> LinkedChannels(const app_config_s& config, int side, int c) {
  const int pair = c / 2;
  const int linked = side == EQ_SIDE_INPUT ? config.InputLinkRef(pair) : config.OutputLinkRef(pair);
  if (linked) return {2 * pair, 2 * pair + 1};
  return {c, -1};
}

int IsInputPairLinked(const app_config_s& config, int in) {
  return IsNumber(in) && config.InputLinkRef((in - 1) / 2) != 0 ? 1 : 0;
}

int IsOutputPairLinked(const app_config_s& config, int out) {
  return IsNumber(out) && config.OutputLinkRef((out - 1) / 2) != 0 ? 1 : 0;
}

int AreInOutPairsLinked(const app_config_s& config, int in, int out) {
  return IsInputPairLinked(config, in) && IsOutputPairLinked(config, out) ? 1 : 0;
}

void RemoveOutputFromGroups(app_config_s& config, int c) {
  if (c < 0 || c >= kDspChannels) return;
  for (int g = 0; g < kGroups; ++g) config.OutputGroupMembers(g)[c] = 0;
}

void FixRoutesForInputLink(app_config_s& config, int p, int linked) {
  if (linked != 1 || !IsPair(p)) return;
  for (int q = 0; q < kStereoPairs; ++q) {
    if (config.OutputLinkRef(q) == 1) FixPairRoute(config, q, p);
  }
}

void FixRoutesForOutputLink(app_config_s& config, int q, int linked) {
  if (linked != 1 || !IsPair(q)) return;
  for (int p = 0; p < kStereoPairs; ++p) {
    if (config.InputLinkRef(p) == 1) FixPairRoute(config, q, p);
  }
}

void SetInputPairLink(app_config_s& config, int p, int flag, LinkSettings settings,
                      std::string& lines) {
  if (!IsPair(p)) return;
  config.InputLinkRef(p) = flag;
  lines += LinkLineOpening(p, "input") + (flag ? " locked.\r\n" : " unlocked.\r\n");
  if (flag && settings == LinkSettings::kSecondTakesFirst)
    CopyInputSettings(config, 2 * p, 2 * p + 1);
  FixRoutesForInputLink(config, p, flag);
}

void SetOutputPairLink(app_config_s& config, int p, int flag, LinkSettings settings,
                       std::string& lines) {
  if (!IsPair(p)) return;
  config.OutputLinkRef(p) = flag;
  lines += LinkLineOpening(p, "output") + (flag ? " locked.\r\n" : " unlocked.\r\n");
  if (flag && settings == LinkSettings::kSecondTakesFirst)
    CopyOutputSettings(config, 2 * p, 2 * p + 1);
  FixRoutesForOutputLink(config, p, flag);
}
