// The channel kinds of the web requests ("action" of the gain, volume and mute commands) and the
// DSP channel of a physical channel, counted from 0 within its kind.
#pragma once

#include "devctl/core/app_config.h"

namespace web {

enum ChannelKind { kAnalogue = 0, kTarvo = 1, kUsb = 2, kGroup = 3 };

inline int DspChannelOf(int kind, int chn) {
  switch (kind) {
    case kAnalogue:
      return chn;
    case kTarvo:
      return kFirstTarvoChannel + chn;
    default:
      return kFirstUsbChannel + chn;
  }
}

}  // namespace web
