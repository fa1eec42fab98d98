#include "devctl/core/config_lock.h"

std::recursive_mutex g_config_mutex;
std::atomic<uint64_t> g_config_generation{1};
