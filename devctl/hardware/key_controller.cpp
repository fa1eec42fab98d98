#include "devctl/hardware/key_controller.h"

#include <string>
#include <thread>

#include "devctl/core/config_lock.h"
#include "devctl/core/unit_commit.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/i2c_bus.h"
#include "devctl/hardware/menu_pages_lock.h"
#include "devctl/hardware/panel_lights.h"
#include "devctl/hardware/panel_state.h"
#include "devctl/hardware/power_wake.h"
#include "platform/clock.h"

namespace {

constexpr uint8_t kStatusRegister = 0x31;
constexpr uint8_t kCancelBit = 0x40;
constexpr int kCancelHoldPolls = 400;
constexpr int kRereadsBeforeAccept = 2;

// Status bits in the order their edges are examined; the last press found wins.
struct KeyBit {
  int byte;
  uint8_t mask;
  key_type_e key;
};
constexpr KeyBit kByte0Keys[] = {{0, 0x01, KEY_TYPE_E_DOWN},
                                 {0, 0x02, KEY_TYPE_E_UP},
                                 {0, 0x04, KEY_TYPE_E_RIGHT},
                                 {0, 0x08, KEY_TYPE_E_LEFT}};
constexpr KeyBit kByte1Keys[] = {{1, 0x01, KEY_TYPE_E_1},      {1, 0x02, KEY_TYPE_E_2},
                                 {1, 0x04, KEY_TYPE_E_3},      {1, 0x08, KEY_TYPE_E_4},
                                 {1, 0x10, KEY_TYPE_E_MENU},   {1, 0x20, KEY_TYPE_E_POWER},
                                 {1, 0x40, KEY_TYPE_E_CANCEL}, {1, 0x80, KEY_TYPE_E_OK}};

void TakeEdge(KeyThreadState* st, const KeyBit& k, const uint8_t* read) {
  uint8_t now = read[k.byte] & k.mask;
  if ((st->accepted[k.byte] & k.mask) == now) return;
  st->accepted[k.byte] = uint8_t((st->accepted[k.byte] & ~k.mask) | now);
  if (now != 0) st->key = k.key;
}

void HandToPage(key_type_e key) {
  MenuPagesLock pages;
  int page = g_panel.lcd_page;
  for (lcd_menu_s& m : g_panel.menu) {
    if (m.id == page && m.on_key) {
      m.on_key(&m, key);
      return;
    }
  }
}

}  // namespace

void InitKeyController() {
  auto write = [](uint8_t reg, uint8_t d0, uint8_t d1) {
    const uint8_t data[2] = {d0, d1};
    I2cBus5Write(kKeyControllerAddress8, reg, data, 2);
  };
  write(1, 0x80, 0x00);
  write(39, 0x03, 0x01);
  for (uint8_t reg = 7; reg <= 18; ++reg) write(reg, 0x00, 0x06);
  for (uint8_t reg = 19; reg <= 30; ++reg) write(reg, 0x00, 0x03);
}

void KeyThreadPass(KeyThreadState* st) {
  uint8_t read[2] = {0, 0};
  I2cBus5Read(kKeyControllerAddress8, kStatusRegister, read, 2, 0);

  if (read[1] & kCancelBit) {
    if (++st->cancel_hold >= kCancelHoldPolls) {
      st->cancel_hold = 0;
      st->key = KEY_TYPE_E_RESET;
    }
  } else {
    st->cancel_hold = 0;
  }
  const bool reset = st->key == KEY_TYPE_E_RESET;
  const bool byte0_differs = read[0] != st->accepted[0];
  if (!reset) {
    if (!byte0_differs && read[1] == st->accepted[1]) return;
    if (st->rereads < kRereadsBeforeAccept) {
      ++st->rereads;
      return;
    }
  }

  if (byte0_differs || reset)
    for (const KeyBit& k : kByte0Keys) TakeEdge(st, k, read);
  for (const KeyBit& k : kByte1Keys)
    if (!(reset && k.mask == kCancelBit)) TakeEdge(st, k, read);

  st->rereads = 0;
  if (st->key == KEY_TYPE_E_NONE) return;
  g_panel.idle_ticks = 0;
  // Whatever another thread is drawing now was decided before this key.
  g_panel.key_generation.fetch_add(1);
  int key_lock, power, front_lcd;
  {
    ConfigReadLock lock;  // reads only
    key_lock = g_unit.config.key_lock;
    power = g_unit.config.power;
    front_lcd = g_unit.config.front_lcd;
  }
  if (key_lock != 0) {
    g_panel.notice = 1;
    platform::SleepMs(200);
    return;
  }
  if (power == 0 && st->key != KEY_TYPE_E_POWER) {
    // The stored power state changes too: after a power cut the unit comes back on.
    CommitUnitChange([](UnitNotice& notice) {
      const bool was_off = g_unit.config.power == 0;
      WakeOnCommand(notice.lines);
      return was_off && g_unit.config.power != 0;
    });
    return;
  }
  if (power == 1 && front_lcd > 1 && st->key != KEY_TYPE_E_POWER) WakePanelLights();
  HandToPage(st->key);
  st->key = KEY_TYPE_E_NONE;
}

void RunKeyThread() {
  platform::UseShortTimerSlack();
  KeyThreadState state;
  for (;;) {
    KeyThreadPass(&state);
    platform::SleepMs(25);
  }
}

void StartKeyThread() { std::thread(RunKeyThread).detach(); }
