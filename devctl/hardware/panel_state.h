// State the panel thread, the key thread and the command handlers share about the front panel.
#pragma once

#include <atomic>

// Page id of the menu page on show (2 home .. 9 factory reset).
extern std::atomic<int> g_lcd_page;
// Refresh ticks spent away from the home page since the last key; above 80 the panel goes home.
extern std::atomic<int> g_lcd_idle_ticks;
// 1: a key was pressed while keys are locked; 2: a command changed the key lock. The panel
// thread shows the notice and clears it.
extern std::atomic<int> g_panel_notice;
// Moves on each time the key thread acts on a key. Menu drawing on the other threads (the panel
// thread's refresh, redraws after power changes) is made for the value it read when it began
// and is dropped once a key has moved it on (LcdDrawScope): a page being left can never be
// drawn over the page a key led to.
extern std::atomic<unsigned> g_panel_key_generation;
// Set while the boot screen shows: nothing else draws on the LCD or changes the lights then
// (the end of the boot screen applies them).
extern std::atomic<bool> g_boot_screen_up;
// Blink phases of the phantom, USB and network pages.
extern std::atomic<int> g_blink_phantom;
extern std::atomic<int> g_blink_usb;
extern std::atomic<int> g_blink_network;
