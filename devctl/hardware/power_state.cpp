#include "devctl/hardware/power_state.h"

std::atomic<uint8_t> g_power_applied{0};
std::atomic<bool> g_power_settled{false};
std::atomic<int> g_deep_sleep{0};
std::atomic<int> g_auto_standby_state{1};
std::atomic<int> g_backlight_countdown{-1};
