// State the panel thread, the key thread, the workers and the command handlers share about the
// front panel.
#pragma once

#include <atomic>

#include "devctl/hardware/lcd_menu.h"

struct PanelState {
  PanelState();  // the menu pages as at start-up (lcd_menu.cpp)

  // Page id of the menu page on show (2 home .. 9 factory reset).
  std::atomic<int> lcd_page{kHomePage};
  // Refresh ticks spent away from the home page since the last key; above 80 the panel goes home.
  std::atomic<int> idle_ticks{20};
  // 1: a key was pressed while keys are locked; 2: a command changed the key lock. The panel
  // thread shows the notice and clears it.
  std::atomic<int> notice{0};
  // Moves on each time the key thread acts on a key. Menu drawing on the other threads (the panel
  // thread's refresh, redraws after power changes) is made for the value it read when it began
  // and is dropped once a key has moved it on (LcdDrawScope): a page being left can never be
  // drawn over the page a key led to.
  std::atomic<unsigned> key_generation{0};
  // Set while the boot screen shows: nothing else draws on the LCD or changes the lights then
  // (the end of the boot screen applies them).
  std::atomic<bool> boot_screen_up{false};
  // Blink phases of the phantom, USB and network pages.
  std::atomic<int> blink_phantom{0};
  std::atomic<int> blink_usb{0};
  std::atomic<int> blink_network{0};
  // 0 idle; 1 the reset key is held past 2 s (the USB indicators blink, port changes wait);
  // 2 a reset of everything is under way.
  std::atomic<int> reset_key_blink{0};
  // Redraws the current menu page; installed by the panel thread when it starts (nothing before).
  std::atomic<void (*)()> menu_redraw{nullptr};
  // The eight pages of the menu, each with its handlers and its place in the page.
  lcd_menu_s menu[kLcdMenuPages];
};

// Global because the panel is one, and the panel thread, the key thread, the workers and the
// command handlers of every front end read and change it.
extern PanelState g_panel;
