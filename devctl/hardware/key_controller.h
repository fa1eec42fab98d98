// The front-panel keys behind the key controller on bus 5: set-up, and the key thread that
// debounces the two status bytes and hands each press to the current menu page.
#pragma once

#include <cstdint>

#include "devctl/hardware/lcd_menu.h"

// Set-up writes of the controller (results ignored).
void InitKeyController();

// What the key thread keeps between polls.
struct KeyThreadState {
  uint8_t accepted[2] = {0, 0};
  key_type_e key = KEY_TYPE_E_NONE;  // the current key code
  int rereads = 0;
  int cancel_hold = 0;
};

// One poll: read, CANCEL hold, debounce, edges, then the current key to the page (or the lock
// notice, or a wake-up when the unit is off).
void KeyThreadPass(KeyThreadState* state);
// The thread body: a pass every 25 ms, for ever.
void RunKeyThread();
// Creates the key thread (never joined).
void StartKeyThread();
