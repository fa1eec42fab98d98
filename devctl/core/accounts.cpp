#include "devctl/core/accounts.h"

#include <algorithm>

#include "devctl/core/config_defaults.h"

const char* const kRightArrayNames[kRightArrays] = {
    "phantom",         "dsp",          "input_analogue", "input_tarvo",  "input_usb", "input_group",
    "output_analogue", "output_tarvo", "output_usb",     "output_group", "preset"};

int* RightArray(app_user_s& u, int k, int* count) {
  switch (k) {
#define RIGHT_ARRAY(n, field)                      \
  case n:                                          \
    *count = sizeof(u.field) / sizeof(u.field[0]); \
    return u.field;
    RIGHT_ARRAY(0, phantom)
    RIGHT_ARRAY(1, dsp)
    RIGHT_ARRAY(2, input_analogue)
    RIGHT_ARRAY(3, input_tarvo)
    RIGHT_ARRAY(4, input_usb)
    RIGHT_ARRAY(5, input_group)
    RIGHT_ARRAY(6, output_analogue)
    RIGHT_ARRAY(7, output_tarvo)
    RIGHT_ARRAY(8, output_usb)
    RIGHT_ARRAY(9, output_group)
    RIGHT_ARRAY(10, preset)
#undef RIGHT_ARRAY
    default:
      *count = 0;
      return nullptr;
  }
}

int AccountCount(const app_config_s& config) {
  return static_cast<int>(std::min<uint32_t>(config.user_cnt, kMaxUsers));
}

int FindAccount(const app_config_s& config, const std::string& name) {
  const int n = AccountCount(config);
  for (int i = 0; i < n; ++i) {
    if (config.user[i].user == name) return i;
  }
  return -1;
}

bool CheckLogin(const app_config_s& config, const std::string& user, const std::string& password) {
  const int n = AccountCount(config);
  for (int i = 0; i < n; ++i) {
    const app_user_s& u = config.user[i];
    if (u.user == user && u.password == password) return true;
  }
  return false;
}

bool ModifyPassword(app_config_s& config, const std::string& user, const std::string& newpassword,
                    const std::string& makesure) {
  if (newpassword != makesure) return false;
  const int n = AccountCount(config);
  for (int i = 0; i < n; ++i) {
    app_user_s& u = config.user[i];
    if (u.user != user || u.password == newpassword) continue;
    u.password = newpassword;
    return true;
  }
  return false;
}

bool AddAccount(app_config_s& config, const std::string& user, const std::string& password) {
  const int n = AccountCount(config);
  if (n >= kMaxUsers || FindAccount(config, user) >= 0) return false;
  app_user_s& u = config.user[n];
  u = app_user_s();
  u.user = user;
  u.password = password;
  GrantAllRights(&u);
  u.enabled = 1;
  config.user_cnt = static_cast<uint32_t>(n + 1);
  return true;
}

bool DeleteAccount(app_config_s& config, int index) {
  const int n = AccountCount(config);
  if (index < 0 || index >= n) return false;
  for (int i = index; i < n - 1; ++i) config.user[i] = config.user[i + 1];
  config.user[n - 1] = app_user_s();
  config.user_cnt = static_cast<uint32_t>(n - 1);
  return true;
}

bool SetAccountRights(app_config_s& config, const std::string& user, const AccountRights& rights) {
  const int i = FindAccount(config, user);
  if (i < 0) return false;
  app_user_s& u = config.user[i];
  u.matrix = rights.matrix;
  u.network = rights.network;
  u.system = rights.system;
  u.information = rights.information;
  u.power = rights.power;
  for (int k = 0; k < kRightArrays; ++k) {
    if (!rights.present[k]) continue;
    int count = 0;
    int* field = RightArray(u, k, &count);
    const int n = std::min<int>(count, static_cast<int>(rights.arrays[k].size()));
    for (int e = 0; e < n; ++e) field[e] = rights.arrays[k][e];
  }
  return true;
}

bool SetAccountEnabled(app_config_s& config, const std::string& user, uint32_t enabled) {
  const int i = FindAccount(config, user);
  if (i < 0) return false;
  config.user[i].enabled = enabled;
  return true;
}
