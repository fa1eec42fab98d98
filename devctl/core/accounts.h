// The web interface's account table (user_cnt and user[] of a record). Only the first
// min(user_cnt, 11) records count, whatever a loaded file said. Names and passwords are compared
// as sent: same length, same bytes. The caller holds the configuration lock; nothing here saves.
#pragma once

#include <string>
#include <vector>

#include "devctl/core/app_config.h"

// Right arrays of an account, in the order "set user limit" reads them.
constexpr int kRightArrays = 11;
extern const char* const kRightArrayNames[kRightArrays];
// Element k of the order above for u, with its element count.
int* RightArray(app_user_s& u, int k, int* count);

// The number of records that count.
int AccountCount(const app_config_s& config);
// The first record named name among those, or -1.
int FindAccount(const app_config_s& config, const std::string& name);

// Some record has both this name and this password.
bool CheckLogin(const app_config_s& config, const std::string& user, const std::string& password);
// The first record named user whose password differs from newpassword gets it, when newpassword
// equals makesure. False when none qualifies.
bool ModifyPassword(app_config_s& config, const std::string& user, const std::string& newpassword,
                    const std::string& makesure);
// Appends an enabled account with every right. False when the name is taken or the table is full.
bool AddAccount(app_config_s& config, const std::string& user, const std::string& password);
// Removes record index (0-based; 0 is allowed), moving the later ones down. False outside the
// table.
bool DeleteAccount(app_config_s& config, int index);

struct AccountRights {
  uint32_t matrix = 0, network = 0, system = 0, information = 0, power = 0;
  bool present[kRightArrays] = {};
  std::vector<int> arrays[kRightArrays];  // taken up to the field's length
};
// The area rights and the present arrays of the named account. False for an unknown name.
bool SetAccountRights(app_config_s& config, const std::string& user, const AccountRights& rights);
// The enabled flag of the named account, stored as sent. False for an unknown name.
bool SetAccountEnabled(app_config_s& config, const std::string& user, uint32_t enabled);
