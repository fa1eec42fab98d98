// "set input gain" and "set input mute": one channel, a linked pair or an input group, chosen by
// "action" (0 analogue, 1 Tarvo, 2 USB, 3 input group) and "chn" (counted from 0 within it).

#include "devctl/core/config_file.h"
#include "devctl/core/globals.h"
#include "devctl/core/input_changes.h"
#include "devctl/hardware/dsp_channels.h"
#include "devctl/hardware/io_expander.h"
#include "devctl/hardware/power_wake.h"
#include "devctl/text/broadcast.h"
#include "devctl/web/json_members.h"
#include "devctl/web/web_handlers.h"
#include "platform/clock.h"

namespace {

enum InputKind { kAnalogue = 0, kTarvo = 1, kUsb = 2, kInputGroup = 3 };
// Highest "chn" of each kind. USB accepts 2, which names neither input alone.
constexpr int kLastChannelOfKind[] = {3, 7, 2, 3};
constexpr int kMaxChn = 7;
constexpr int kUsbBothChn = 2;

struct InputRequest {
  std::string comhead;
  int action = 0;
  int chn = 0;
  int value = 0;
};

// Reads "comhead", "action", "chn" and the value key, all required, and tests their ranges.
bool ReadInputRequest(const cJSON* json, const char* value_key, int min_value, int max_value,
                      InputRequest* req) {
  bool ok = web::ReadJsonString(json, "comhead", &req->comhead);
  ok = web::ReadJsonInt(json, "action", &req->action) && ok;
  ok = web::ReadJsonInt(json, "chn", &req->chn) && ok;
  ok = web::ReadJsonInt(json, value_key, &req->value) && ok;
  return ok && req->action >= kAnalogue && req->action <= kInputGroup && req->chn >= 0 &&
         req->chn <= kMaxChn && req->value >= min_value && req->value <= max_value;
}

// The DSP channel of a physical input kind.
int DspChannelOf(int action, int chn) {
  switch (action) {
    case kAnalogue:
      return chn;
    case kTarvo:
      return kFirstTarvoChannel + chn;
    default:
      return kFirstUsbChannel + chn;
  }
}

// A group member takes the group's gain. Unlike a channel set directly, an analogue member gets
// its DSP gain only after it is unmuted, and no member leaves the group.
void ApplyGroupMemberGain(int k, int g) {
  g_app_config.InputGainRef(k) = g;
  if (k < kFirstTarvoChannel) {
    DspSetInputMute(k, true);
    platform::SleepMs(10);
    SetAnalogGainRange(unsigned(k), g);
    g_app_config.InputMuteRef(k) = 0;
    DspSetInputMute(k, false);
  } else if (g_app_config.InputMuteRef(k)) {
    g_app_config.InputMuteRef(k) = 0;
    DspSetInputMute(k, false);
  }
  DspSetInputGain(k, g);
}

void SetInputGroupGain(int group, int g, std::string& notice) {
  g_app_config.group_input_gain[group] = g;
  g_app_config.group_input_mute[group] = 0;
  notice += "[SUCCESS]Set input group " + std::to_string(group + 1) + " gain to " +
            std::to_string(g) + "dB.\r\n";
  const int* members = g_app_config.InputGroupMembers(group);
  for (int k = 0; k < kDspChannels; ++k) {
    if (!members[k]) continue;
    ApplyGroupMemberGain(k, g);
    notice += "[SUCCESS]Set " + InputChannelName(k) + " gain to " + std::to_string(g) + "dB.\r\n";
  }
}

// The end of every accepted request: the notice to the control ports, the save, "result" 1.
bool Finish(const std::string& comhead, const std::string& notice, std::string& reply) {
  if (!notice.empty()) BroadcastToPorts(notice);
  SaveAppConfig(g_config_path, &g_app_config);
  web::ReplyResult(comhead, 1, reply);
  return true;
}

}  // namespace

bool WebSetInputGain(const char* body, std::string& reply) {
  // This command wakes a unit in standby before it looks at the request at all.
  WakeOnCommand(nullptr);
  web::JsonPtr json = web::ParseJsonBody(body);
  if (!json) return false;
  InputRequest req;
  if (!ReadInputRequest(json.get(), "gain", -30, 30, &req)) {
    web::ReplyResult(req.comhead, 0, reply);
    return false;
  }
  WakeOnCommand(nullptr);
  if (req.chn > kLastChannelOfKind[req.action]) {
    web::ReplyResult(req.comhead, 0, reply);
    return false;
  }

  std::string notice;
  if (req.action == kInputGroup) {
    SetInputGroupGain(req.chn, req.value, notice);
  } else if (req.action == kUsb && req.chn == kUsbBothChn) {
    if (g_app_config.usb_input_stereo) SetInputChannelGain(kFirstUsbChannel, req.value, notice);
  } else {
    SetInputChannelGain(DspChannelOf(req.action, req.chn), req.value, notice);
  }
  return Finish(req.comhead, notice, reply);
}

bool WebSetInputMute(const char* body, std::string& reply) {
  web::JsonPtr json = web::ParseJsonBody(body);
  if (!json) return false;
  InputRequest req;
  if (!ReadInputRequest(json.get(), "mute", 0, 1, &req)) {
    web::ReplyResult(req.comhead, 0, reply);
    return false;
  }
  WakeOnCommand(nullptr);
  if (req.chn > kLastChannelOfKind[req.action]) {
    web::ReplyResult(req.comhead, 0, reply);
    return false;
  }

  std::string notice;
  if (req.action == kInputGroup) {
    SetInputGroupMute(req.chn, req.value, notice);
  } else if (!(req.action == kUsb && req.chn == kUsbBothChn)) {
    SetInputChannelMute(DspChannelOf(req.action, req.chn), req.value, notice);
  }
  return Finish(req.comhead, notice, reply);
}
