// "get upgrade status" and "GetUpgradeFW": the progress of a staged upgrade.
#pragma once

#include <string>

bool WebGetUpgradeStatus(const char* body, std::string& reply);
// Always answers "percent" 17.
bool WebGetUpgradeFw(const char* body, std::string& reply);
