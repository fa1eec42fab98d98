#include "devctl/devices/key_scanner.h"

#include <pthread.h>

#include "devctl/devices/board_lines.h"
#include "devctl/devices/gpio.h"
#include "platform/clock.h"

namespace {

constexpr int kHeartbeatTicks = 50;
constexpr int64_t kUsbButtonMinMs = 20;
constexpr int kResetHeld2sCount = 199;
constexpr int kResetHeld4sCount = 399;

bool Pressed(int gpio) { return GpioRead(gpio) == 0; }

}  // namespace

CKey::CKey(std::string name) : name_(std::move(name)) {
  for (int gpio : {kGpioResetKey, kGpioUsbBDetect, kGpioUsbCDetect, kGpioUsbButton}) {
    GpioOpen(gpio);
    GpioSetIn(gpio);
  }
}

CKey::~CKey() = default;

int CKey::Start() {
  running_ = 1;
  thread_ = new std::thread(&CKey::Run, this);
  pthread_setname_np(thread_->native_handle(), name_.substr(0, 15).c_str());
  return 0;
}

void CKey::Stop() {
  running_ = 0;
  if (thread_ != nullptr) {
    thread_->join();
    delete thread_;
    thread_ = nullptr;
  }
}

void CKey::Tick(KeyScanState* s) {
  if (s->ticks == 0) {
    GpioOpen(kGpioHeartbeat);
    GpioSetOut(kGpioHeartbeat);
    GpioWrite(kGpioHeartbeat, 0);
  }
  if (++s->ticks % kHeartbeatTicks == 0) {
    s->heartbeat ^= 1;
    GpioWrite(kGpioHeartbeat, s->heartbeat);
  }

  if (Pressed(kGpioUsbButton)) {
    if (!s->usb_down) {
      s->usb_down = true;
      s->usb_down_ms = platform::NowMs();
    }
  } else if (s->usb_down) {
    s->usb_down = false;
    if (platform::NowMs() - s->usb_down_ms >= kUsbButtonMinMs && on_usb_button) on_usb_button();
  }

  if (Pressed(kGpioResetKey)) {
    if (!s->reset_armed) {
      s->reset_armed = true;
      s->reset_count = 0;
    } else if (++s->reset_count > kResetHeld2sCount &&
               s->reset_reported == RESET_KEY_LONG_RELEASED) {
      s->reset_reported = RESET_KEY_LONG_HELD_2S;
      if (on_reset_key) on_reset_key(RESET_KEY_LONG_HELD_2S);
    } else if (s->reset_count > kResetHeld4sCount && s->reset_reported == RESET_KEY_LONG_HELD_2S) {
      s->reset_reported = RESET_KEY_LONG_HELD_4S;
      s->reset_count = 0;
      if (on_reset_key) on_reset_key(RESET_KEY_LONG_HELD_4S);
    }
  } else if (s->reset_armed) {
    s->reset_armed = false;
    if (s->reset_reported != RESET_KEY_LONG_RELEASED) {
      s->reset_reported = RESET_KEY_LONG_RELEASED;
      if (on_reset_key) on_reset_key(RESET_KEY_LONG_RELEASED);
    }
  }
}

void CKey::Run() {
  platform::UseShortTimerSlack();
  KeyScanState state;
  while (running_) {
    Tick(&state);
    platform::SleepMs(10);
  }
}
