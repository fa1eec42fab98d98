#include "devctl/core/config_lock.h"

std::recursive_mutex g_config_mutex;
