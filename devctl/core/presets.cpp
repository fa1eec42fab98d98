#include "devctl/core/presets.h"

std::atomic<int> g_pending_preset{0};
