// "set input gain" and "set input mute": one channel, a linked pair or an input group, chosen by
// "action" (0 analogue, 1 Tarvo, 2 USB, 3 input group) and "chn" (counted from 0 within it).
#include <iterator>
#include <string>
#include <vector>

#include "devctl/core/input_changes.h"
#include "devctl/core/input_groups.h"
#include "devctl/core/limits.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/channel_kind.h"
#include "devctl/web/set_command.h"
#include "devctl/web/web_handlers.h"

namespace {

using web::DspChannelOf;
using web::kAnalogue;
using web::kTarvo;
using web::kUsb;
constexpr int kInputGroup = web::kGroup;

// Highest "chn" of each kind. USB accepts 2, which names neither input alone.
constexpr int kLastChannelOfKind[] = {3, 7, 2, 3};
constexpr int kMaxChn = 7;
constexpr int kUsbBothChn = 2;

// "action", "chn" and the value member, in that order.
std::vector<WebIntMember> InputMembers(const char* value_key, int min_value, int max_value) {
  return {
      {"action", kAnalogue, kInputGroup}, {"chn", 0, kMaxChn}, {value_key, min_value, max_value}};
}

}  // namespace

bool WebSetInputGain(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, InputMembers("gain", kMinInputGain, kMaxInputGain), &v, answer)) {
    return false;
  }
  answer.change = [action = v[0], chn = v[1], gain = v[2]](WebAnswer& answer) {
    if (chn > kLastChannelOfKind[action]) return RefuseChange(answer);
    std::string& lines = answer.notice;
    if (action == kInputGroup) {
      // Members take the group's gain after they are unmuted, and stay in the group.
      SetInputGroupGain(g_unit.config, chn, gain, GainWrite::kAfterUnmute,
                        GroupGainName::kInputGroup, lines);
    } else if (action == kUsb && chn == kUsbBothChn) {
      if (g_unit.config.usb_input_stereo)
        SetInputChannelGain(g_unit.config, kFirstUsbChannel, gain, lines);
    } else {
      SetInputChannelGain(g_unit.config, DspChannelOf(action, chn), gain, lines);
    }
    // Every accepted request is saved, whether it changed anything or not.
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetInputMute(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, InputMembers("mute", 0, 1), &v, answer)) return false;
  answer.change = [action = v[0], chn = v[1], mute = v[2]](WebAnswer& answer) {
    if (chn > kLastChannelOfKind[action]) return RefuseChange(answer);
    if (action == kInputGroup) {
      SetInputGroupMute(g_unit.config, chn, mute, answer.notice);
    } else if (!(action == kUsb && chn == kUsbBothChn)) {
      SetInputChannelMute(g_unit.config, DspChannelOf(action, chn), mute, answer.notice);
    }
    return WebOutcome::kChanged;
  };
  return true;
}

namespace {

// "set input gain" wakes a unit in standby before it looks at the request at all; the second
// channel bound ("chn" within the kind) is checked after the wake-up.
const WebCommandRow kRows[] = {
    {"set input gain", WebSetInputGain, kWebWakesFirst | kWebSaves | kWebAnswersResult},
    {"set input mute", WebSetInputMute, kWebSetCommand},
};

}  // namespace

const WebCommandRows kWebInputRows{kRows, std::size(kRows)};
