// The web commands of the outputs and of the channel links, groups and names:
// "set output vol", "set output mute", "set control status", "set output stereo",
// "set input stereo", "set output name", "set input name", "set output delay".

#include <iterator>

#include "devctl/core/channel_names.h"
#include "devctl/core/group_members.h"
#include "devctl/core/limits.h"
#include "devctl/core/links_groups.h"
#include "devctl/core/output_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/channel_kind.h"
#include "devctl/web/json_members.h"
#include "devctl/web/set_command.h"
#include "devctl/web/web_output_handlers.h"

namespace {

// "action" of the volume, mute and delay requests: the kind of output "chn" counts within.
using web::DspChannelOf;
using web::kAnalogue;
using web::kTarvo;
using web::kUsb;
constexpr int kOutputGroup = web::kGroup;
// Highest "chn" of each kind for volume and mute. USB accepts 2, which names neither output.
constexpr int kLastVolumeChn[] = {3, 7, 2, 3};
// ... and for the delay: analogue accepts 4 and USB 2, which name no output.
constexpr int kLastDelayChn[] = {4, 7, 2};
constexpr int kMaxChn = 7;

// "action" of the stereo requests: 0-2 link a pair of a kind, 3-6 join or leave group 0-3.
constexpr int kFirstGroupAction = 3;
constexpr int kLastStereoAction = 6;
constexpr int kLastPairChn[] = {1, 3, 0};  // analogue, Tarvo, USB
constexpr int kFirstPairOfKind[] = {0, 2, 6};

}  // namespace

bool WebSetOutputVolume(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request,
                      {{"action", kAnalogue, kOutputGroup},
                       {"chn", 0, kMaxChn},
                       {"vol", kMinVolume, kMaxVolume}},
                      &v, answer)) {
    return false;
  }
  answer.change = [kind = v[0], chn = v[1], vol = v[2]](WebAnswer& answer) {
    if (chn > kLastVolumeChn[kind]) return RefuseChange(answer);
    if (kind == kOutputGroup) {
      SetOutputGroupVolume(g_unit.config, chn, vol, VolumeWrite::kVolumeFirst, answer.notice);
    } else if (!(kind == kUsb && chn == kUsbChannels)) {
      SetOutputChannelVolume(g_unit.config, DspChannelOf(kind, chn), vol, answer.notice);
    }
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetOutputMute(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request,
                      {{"action", kAnalogue, kOutputGroup}, {"chn", 0, kMaxChn}, {"mute", 0, 1}},
                      &v, answer)) {
    return false;
  }
  answer.change = [kind = v[0], chn = v[1], mute = v[2]](WebAnswer& answer) {
    if (chn > kLastVolumeChn[kind]) return RefuseChange(answer);
    if (kind == kOutputGroup) {
      SetOutputGroupMute(g_unit.config, chn, mute, UsbMemberLine::kWithPeriod, answer.notice);
    } else if (!(kind == kUsb && chn == kUsbChannels)) {
      SetOutputChannelMute(g_unit.config, DspChannelOf(kind, chn), mute, answer.notice);
    }
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetControlStatus(const cJSON* request, WebAnswer& answer) {
  web::ReadJsonString(request, "comhead", &answer.comhead);
  int chn = 0, status = 0, action = 0;
  if (!web::ReadJsonInt(request, "chn", &chn) || !web::ReadJsonInt(request, "status", &status)) {
    return RefuseSetCommand(answer);
  }
  web::ReadJsonInt(request, "action", &action);
  if (action == 0) {
    // Outputs beyond the 14 are refused like a source beyond them.
    if (status < 0 || status > kDspChannels || chn < 0 || chn > kDspChannels) {
      return RefuseSetCommand(answer);
    }
    answer.change = [chn, status](WebAnswer& answer) {
      SetOutputSource(g_unit.config, chn, status, LinkedPairRouting::kPerOutput, answer.notice);
      return WebOutcome::kChanged;
    };
  } else {
    if (status < 0 || status > kStereoPairs || chn < 0 || chn > kStereoPairs) {
      return RefuseSetCommand(answer);
    }
    answer.change = [chn, status](WebAnswer& answer) {
      SetOutputPairSource(g_unit.config, chn, status, answer.notice);
      return WebOutcome::kChanged;
    };
  }
  return true;
}

namespace {

bool SetStereo(int side, const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(
          request,
          {{"action", 0, kLastStereoAction}, {"chn", 0, kDspChannels - 1}, {"stereo", 0, 1}}, &v,
          answer)) {
    return false;
  }
  answer.change = [side, action = v[0], chn = v[1], stereo = v[2]](WebAnswer& answer) {
    if (action < kFirstGroupAction) {
      if (chn > kLastPairChn[action]) return RefuseChange(answer);
      const int pair = kFirstPairOfKind[action] + chn;
      if (side == EQ_SIDE_OUTPUT) {
        SetOutputPairLink(g_unit.config, pair, stereo, LinkSettings::kSecondTakesFirst,
                          answer.notice);
      } else {
        SetInputPairLink(g_unit.config, pair, stereo, LinkSettings::kSecondTakesFirst,
                         answer.notice);
      }
    } else {
      SetGroupMembership(g_unit.config, side, action - kFirstGroupAction, chn, stereo,
                         answer.notice);
    }
    return WebOutcome::kChanged;
  };
  return true;
}

bool SetName(int side, const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  std::string name;
  const bool has_name = web::ReadJsonString(request, "name", &name);
  if (!ReadSetCommand(request, {{"chn", 1, kChannelSlots}}, &v, answer)) return false;
  // A name is shown on the control ports and in the status documents: no control characters
  // (they would forge lines there) and valid UTF-8 only.
  if (!has_name || !IsDisplayableName(name)) return RefuseSetCommand(answer);
  answer.change = [side, chn = v[0], name](WebAnswer& answer) {
    SetChannelName(g_unit.config, side, chn, name, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

}  // namespace

bool WebSetOutputStereo(const cJSON* request, WebAnswer& answer) {
  return SetStereo(EQ_SIDE_OUTPUT, request, answer);
}

bool WebSetInputStereo(const cJSON* request, WebAnswer& answer) {
  return SetStereo(EQ_SIDE_INPUT, request, answer);
}

bool WebSetOutputName(const cJSON* request, WebAnswer& answer) {
  return SetName(EQ_SIDE_OUTPUT, request, answer);
}

bool WebSetInputName(const cJSON* request, WebAnswer& answer) {
  return SetName(EQ_SIDE_INPUT, request, answer);
}

bool WebSetOutputDelay(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(
          request,
          {{"action", kAnalogue, kUsb}, {"chn", 0, kMaxChn}, {"delay", kMinDelayMs, kMaxDelayMs}},
          &v, answer)) {
    return false;
  }
  answer.change = [kind = v[0], chn = v[1], ms = v[2]](WebAnswer& answer) {
    if (chn > kLastDelayChn[kind]) return RefuseChange(answer);
    // Analogue 4 and USB 2 pass the test and name no output: nothing changes, the unit saves.
    const bool names_output =
        !(kind == kAnalogue && chn == kAnalogueChannels) && !(kind == kUsb && chn == kUsbChannels);
    if (names_output) {
      const DelayFade fade = SetOutputDelay(g_unit.config, DspChannelOf(kind, chn), ms,
                                            DelayChange::kFaded, answer.notice);
      answer.after_lock = [fade] { RunDelayFade(g_unit.config, fade); };
    }
    return WebOutcome::kChanged;
  };
  return true;
}

namespace {

// "set control status" wakes the unit before it looks at the request. The others wake once the
// request is found good; the bound of "chn" within its kind is checked after the wake-up.
const WebCommandRow kRows[] = {
    {"set control status", WebSetControlStatus, kWebWakesFirst | kWebSaves | kWebAnswersResult},
    {"set input stereo", WebSetInputStereo, kWebSetCommand},
    {"set input name", WebSetInputName, kWebSetCommand},
    {"set output vol", WebSetOutputVolume, kWebSetCommand},
    {"set output mute", WebSetOutputMute, kWebSetCommand},
    {"set output stereo", WebSetOutputStereo, kWebSetCommand},
    {"set output delay", WebSetOutputDelay, kWebSetCommand},
    {"set output name", WebSetOutputName, kWebSetCommand},
};

}  // namespace

const WebCommandRows kWebOutputRows{kRows, std::size(kRows)};
