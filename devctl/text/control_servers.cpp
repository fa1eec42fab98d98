#include "devctl/text/control_servers.h"

ControlServers g_control_servers;
