#include "devctl/hardware/power_sequences.h"

#include "devctl/core/config_lock.h"
#include "devctl/core/markers.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_boot.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "devctl/devices/io_expander.h"
#include "devctl/hardware/apply_config.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/power_state.h"
#include "platform/clock.h"

namespace {

constexpr int kInterfaceDownMs = 600;  // the secondary interface goes down before the rail

// Standby: every channel muted and held so until the next power-on.
void MuteAllDspChannels() {
  DspHoldAllMutes(kMuteHoldStandby, true);
  for (int c = 0; c < kDspChannels; ++c) {
    DspSetInputMute(c, true);
    DspSetOutputMute(c, true);
  }
}

void SleepLineAndRailOff() {
  GpioWrite(kGpioSleep, 1);
  SetPower3v3(0);
}

}  // namespace

void EnterDeepSleep(DeepSleepEntry entry) {
  switch (entry) {
    case DeepSleepEntry::kStoredAtStartup:
      SetAudioMuteGpio(1);
      g_power.deep_sleep = 1;
      platform::SleepMs(100);
      GpioWrite(kGpioSleep, 1);
      WriteSubIfaceDownFlag();
      platform::SleepMs(kInterfaceDownMs);
      SetPower3v3(0);
      SetAudioMuteGpio(0);
      break;
    case DeepSleepEntry::kWorkerPowerOff:
      SetAudioMuteGpio(1);
      g_power.deep_sleep = 1;
      WriteSubIfaceDownFlag();
      platform::SleepMs(kInterfaceDownMs);
      SleepLineAndRailOff();
      SetAudioMuteGpio(0);
      break;
    case DeepSleepEntry::kRailsAfterBootScreen:
      g_power.deep_sleep = 1;
      WriteSubIfaceDownFlag();
      platform::SleepMs(kInterfaceDownMs);
      SleepLineAndRailOff();
      break;
  }
}

void PulseExpanderReset(ExpanderPulse pulse) {
  const bool startup = pulse == ExpanderPulse::kStartup;
  if (!startup) IoExpSetEnableLine(0);
  IoExpSetResetLine(0, 0);
  IoExpSetResetLine(1, 0);
  platform::SleepMs(startup ? 300 : 100);
  IoExpSetResetLine(0, 1);
  IoExpSetResetLine(1, 1);
  platform::SleepMs(startup ? 200 : 100);
  IoExpSetEnableLine(1);
  platform::SleepMs(startup ? 200 : 100);
}

void ApplyStoredPowerState() {
  int power, standby_mode;
  {
    ConfigLock lock;
    power = g_unit.config.power;
    standby_mode = g_unit.config.standby_mode;
  }
  // The power worker starts from what is carried out here: a power change stored from now on,
  // before its first pass included, differs from it and is carried out.
  g_power.applied = power != 0;
  if (power != 0) {
    DspBootAll();
    platform::SleepMs(200);
    ApplyConfigToHardware();
    ApplyPowerToPanel();
    SetAudioMuteGpio(0);
  } else if (standby_mode == 0) {
    MuteAllDspChannels();
    EnterDeepSleep(DeepSleepEntry::kStoredAtStartup);
  } else {
    MuteAllDspChannels();
    SetAudioMuteGpio(1);
    DspBootAll();
    platform::SleepMs(200);
    ApplyConfigToHardware();
    platform::SleepMs(200);
  }
}
