#include "devctl/web/web_upgrade_handlers.h"

#include <iterator>

#include "devctl/core/upgrade_progress.h"
#include "devctl/web/json_members.h"

namespace {

constexpr int kFixedFirmwarePercent = 17;

}  // namespace

bool WebGetUpgradeStatus(const cJSON* request, WebAnswer& answer) {
  std::string comhead;
  web::ReadJsonString(request, "comhead", &comhead);
  int type = 0;
  web::ReadJsonInt(request, "type", &type);
  upgrade::UpgradeProgress progress = upgrade::PollUpgradeProgress(type);
  web::JsonPtr out(cJSON_CreateObject());
  cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString(comhead.c_str()));
  cJSON_AddItemToObject(out.get(), "upgrade_type", cJSON_CreateNumber(progress.upgrade_type));
  cJSON_AddItemToObject(out.get(), "status", cJSON_CreateNumber(progress.status));
  web::PrintJsonReply(out.get(), answer.reply);
  return true;
}

bool WebGetUpgradeFw(const cJSON* request, WebAnswer& answer) {
  std::string comhead;
  web::ReadJsonString(request, "comhead", &comhead);
  web::JsonPtr out(cJSON_CreateObject());
  cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString(comhead.c_str()));
  cJSON_AddItemToObject(out.get(), "percent", cJSON_CreateNumber(kFixedFirmwarePercent));
  web::PrintJsonReply(out.get(), answer.reply);
  return true;
}

namespace {

// "get upgrade status" may request the reboot that ends an upgrade; neither wakes the unit.
const WebCommandRow kRows[] = {
    {"get upgrade status", WebGetUpgradeStatus, 0},
    {"GetUpgradeFW", WebGetUpgradeFw, 0},
};

}  // namespace

const WebCommandRows kWebUpgradeRows{kRows, std::size(kRows)};
