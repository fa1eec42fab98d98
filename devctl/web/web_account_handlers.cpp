// The web account commands. None of them wakes the unit or sends to the control ports; the
// changing ones save once after a change. Strings longer than their 255-byte fields are refused.
#include <iterator>
#include <vector>

#include "devctl/core/accounts.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/json_members.h"
#include "devctl/web/set_command.h"
#include "devctl/web/web_network_handlers.h"

namespace {

void AddNumber(cJSON* o, const char* key, double v) {
  cJSON_AddItemToObject(o, key, cJSON_CreateNumber(v));
}

// Reads "comhead" and the string members in order. On a missing one answers
// {"comhead", "result": 0} and returns false.
bool ReadStrings(const cJSON* request, std::initializer_list<const char*> keys,
                 std::vector<std::string>* values, WebAnswer& answer) {
  web::ReadJsonString(request, "comhead", &answer.comhead);
  for (const char* key : keys) {
    std::string value;
    if (!web::ReadJsonString(request, key, &value)) {
      web::ReplyResult(answer.comhead, 0, answer.reply);
      return false;
    }
    values->push_back(value);
  }
  return true;
}

// A change of the account table: saved when it was made, else refused.
WebOutcome Changed(bool ok, WebAnswer& answer) {
  return ok ? WebOutcome::kChanged : RefuseChange(answer);
}

// The rights of an account, in the order a report names them.
void AddRights(cJSON* o, app_user_s& u, const char* const* arrays, int count) {
  for (int i = 0; i < count; ++i) {
    for (int k = 0; k < kRightArrays; ++k) {
      if (std::string(kRightArrayNames[k]) != arrays[i]) continue;
      int n = 0;
      const int* values = RightArray(u, k, &n);
      cJSON_AddItemToObject(o, arrays[i], cJSON_CreateIntArray(values, n));
    }
  }
}

bool Login(const cJSON* request, WebAnswer& answer) {
  std::vector<std::string> v;
  if (!ReadStrings(request, {"user", "password"}, &v, answer)) return false;
  return CheckLogin(g_unit.config, v[0], v[1]) || RefuseSetCommand(answer);
}

}  // namespace

bool WebLogin(const cJSON* request, WebAnswer& answer) { return Login(request, answer); }
bool WebLogout(const cJSON* request, WebAnswer& answer) { return Login(request, answer); }

bool WebModifyPassword(const cJSON* request, WebAnswer& answer) {
  std::vector<std::string> v;
  if (!ReadStrings(request, {"user", "newpassword", "makesure"}, &v, answer)) return false;
  answer.change = [v](WebAnswer& answer) {
    return Changed(ModifyPassword(g_unit.config, v[0], v[1], v[2]), answer);
  };
  return true;
}

// Entries of the table that do nothing: the request is not read and the reply stays empty.
bool WebModifyUsername(const cJSON*, WebAnswer&) { return false; }
bool WebGetUser(const cJSON*, WebAnswer&) { return true; }
bool WebGetPresetUser(const cJSON*, WebAnswer&) { return false; }

bool WebGetLoginUser(const cJSON* request, WebAnswer& answer) {
  static const char* const kArrays[] = {
      "input_analogue",  "phantom",      "dsp",        "input_tarvo",  "input_usb", "input_group",
      "output_analogue", "output_tarvo", "output_usb", "output_group", "preset"};
  std::string comhead;
  web::ReadJsonString(request, "comhead", &comhead);
  web::JsonPtr r(cJSON_CreateObject());
  cJSON_AddItemToObject(r.get(), "comhead", cJSON_CreateString(comhead.c_str()));
  cJSON* users = cJSON_CreateArray();
  const int n = AccountCount(g_unit.config);
  for (int i = 1; i < n; ++i) {  // the first account is never listed
    app_user_s& u = g_unit.config.user[i];
    cJSON* o = cJSON_CreateObject();
    cJSON_AddItemToObject(o, "user", cJSON_CreateString(u.user.c_str()));
    AddNumber(o, "enabled", u.enabled);
    AddNumber(o, "matrix", u.matrix);
    AddNumber(o, "network", u.network);
    AddNumber(o, "system", u.system);
    AddNumber(o, "information", u.information);
    AddNumber(o, "power", u.power);
    AddRights(o, u, kArrays, static_cast<int>(sizeof kArrays / sizeof kArrays[0]));
    cJSON_AddItemToArray(users, o);
  }
  cJSON_AddItemToObject(r.get(), "user", users);
  web::PrintJsonReply(r.get(), answer.reply);
  return true;
}

bool WebAddLoginUser(const cJSON* request, WebAnswer& answer) {
  std::vector<std::string> v;
  if (!ReadStrings(request, {"user", "password"}, &v, answer)) return false;
  answer.change = [v](WebAnswer& answer) {
    return Changed(AddAccount(g_unit.config, v[0], v[1]), answer);
  };
  return true;
}

bool WebDeleteLoginUser(const cJSON* request, WebAnswer& answer) {
  web::ReadJsonString(request, "comhead", &answer.comhead);
  int index = -1;
  if (!web::ReadJsonInt(request, "index", &index)) return RefuseSetCommand(answer);
  answer.change = [index](WebAnswer& answer) {
    return Changed(DeleteAccount(g_unit.config, index), answer);
  };
  return true;
}

bool WebGetUserLimit(const cJSON* request, WebAnswer& answer) {
  static const char* const kArrays[] = {"phantom",         "dsp",          "input_analogue",
                                        "input_tarvo",     "input_usb",    "input_group",
                                        "output_analogue", "output_tarvo", "output_usb",
                                        "output_group",    "preset"};
  std::vector<std::string> v;
  if (!ReadStrings(request, {"user"}, &v, answer)) return false;
  const int i = FindAccount(g_unit.config, v[0]);
  if (i < 0) return RefuseSetCommand(answer);
  app_user_s& u = g_unit.config.user[i];
  web::JsonPtr r(cJSON_CreateObject());
  cJSON* o = r.get();
  cJSON_AddItemToObject(o, "comhead", cJSON_CreateString(answer.comhead.c_str()));
  cJSON_AddItemToObject(o, "user", cJSON_CreateString(u.user.c_str()));
  AddNumber(o, "enabled", u.enabled);
  AddNumber(o, "network", u.network);
  AddNumber(o, "system", u.system);
  AddNumber(o, "information", u.information);
  AddNumber(o, "power", u.power);
  AddNumber(o, "matrix", u.matrix);
  AddRights(o, u, kArrays, static_cast<int>(sizeof kArrays / sizeof kArrays[0]));
  web::PrintJsonReply(o, answer.reply);
  return true;
}

bool WebSetUserLimit(const cJSON* request, WebAnswer& answer) {
  std::vector<std::string> v;
  if (!ReadStrings(request, {"user"}, &v, answer)) return false;
  AccountRights rights;
  uint32_t* areas[] = {&rights.matrix, &rights.network, &rights.system, &rights.information,
                       &rights.power};
  const char* area_keys[] = {"matrix", "network", "system", "information", "power"};
  for (int a = 0; a < 5; ++a) {
    int value = 0;
    if (!web::ReadJsonInt(request, area_keys[a], &value)) return RefuseSetCommand(answer);
    *areas[a] = static_cast<uint32_t>(value);
  }
  for (int k = 0; k < kRightArrays; ++k) {
    const cJSON* array = cJSON_GetObjectItem(request, kRightArrayNames[k]);
    if (!cJSON_IsArray(array)) continue;
    rights.present[k] = true;
    const int n = cJSON_GetArraySize(array);
    for (int e = 0; e < n && e < 8; ++e) {
      const cJSON* item = cJSON_GetArrayItem(array, e);
      rights.arrays[k].push_back(cJSON_IsNumber(item) ? item->valueint : 0);
    }
  }
  answer.change = [user = v[0], rights](WebAnswer& answer) {
    return Changed(SetAccountRights(g_unit.config, user, rights), answer);
  };
  return true;
}

bool WebSetUserEnabled(const cJSON* request, WebAnswer& answer) {
  std::vector<std::string> v;
  if (!ReadStrings(request, {"user"}, &v, answer)) return false;
  int enabled = 0;
  if (!web::ReadJsonInt(request, "enabled", &enabled)) return RefuseSetCommand(answer);
  answer.change = [user = v[0], enabled](WebAnswer& answer) {
    return Changed(SetAccountEnabled(g_unit.config, user, static_cast<uint32_t>(enabled)), answer);
  };
  return true;
}

namespace {

// None of them wakes the unit or tells the control ports, a failed save included (the reply says
// it); a login check changes nothing.
const WebCommandRow kRows[] = {
    {"login", WebLogin, kWebAnswersResult},
    {"logout", WebLogout, kWebAnswersResult},
    {"modify password", WebModifyPassword, kWebSaves | kWebAnswersResult | kWebQuietOnPorts},
    {"modify username", WebModifyUsername, 0},
    {"get user", WebGetUser, 0},
    {"get login user", WebGetLoginUser, 0},
    {"add login user", WebAddLoginUser, kWebSaves | kWebAnswersResult | kWebQuietOnPorts},
    {"delete login user", WebDeleteLoginUser, kWebSaves | kWebAnswersResult | kWebQuietOnPorts},
    {"get user limit", WebGetUserLimit, 0},
    {"set user limit", WebSetUserLimit, kWebSaves | kWebAnswersResult | kWebQuietOnPorts},
    {"set user enabled", WebSetUserEnabled, kWebSaves | kWebAnswersResult | kWebQuietOnPorts},
    {"get preset user", WebGetPresetUser, 0},
};

}  // namespace

const WebCommandRows kWebAccountRows{kRows, std::size(kRows)};
