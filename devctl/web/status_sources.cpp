// Gathers what the status documents and the interface information show, from the live records.
#include "devctl/core/config_lock.h"
#include "devctl/core/globals.h"
#include "devctl/core/net_status.h"
#include "devctl/core/temperature.h"
#include "devctl/core/uptime.h"
#include "devctl/web/json_members.h"
#include "devctl/web/status_document.h"

namespace web {
StatusFacts CollectStatusFacts() {
  StatusFacts facts;
  facts.temperature = ReadTemperature();
  facts.uptime_seconds = UptimeSeconds();
  RefreshNetworkStatus();
  ConfigLock lock;
  facts.main_version = g_device_identity.main_version;
  facts.mcu_version = g_device_identity.mcu_version;
  facts.netaudio_version = g_device_identity.netaudio_version;
  facts.mac = g_device_identity.mac;
  facts.ip = g_net_status.ipaddress;
  facts.subnet = g_net_status.subnet;
  facts.gateway = g_net_status.gateway;
  return facts;
}

namespace {

// The status tree of the live configuration, read whole under the configuration lock so one
// document never mixes values from before and after a change.
JsonPtr LiveStatusTree() {
  StatusFacts facts = CollectStatusFacts();
  ConfigLock lock;
  return JsonPtr(BuildStatusTree(g_app_config, facts));
}

}  // namespace

void BuildStatusJson(std::string& out) { PrintJsonReply(LiveStatusTree().get(), out); }

void BuildStatusXml(std::string& out) { out = StatusXmlText(LiveStatusTree().get()); }

void BuildInfoReply(std::string& out) {
  StatusFacts facts = CollectStatusFacts();
  JsonPtr info(cJSON_CreateObject());
  cJSON_AddItemToObject(info.get(), "ipaddress", cJSON_CreateString(facts.ip.c_str()));
  cJSON_AddItemToObject(info.get(), "subnet", cJSON_CreateString(facts.subnet.c_str()));
  cJSON_AddItemToObject(info.get(), "gateway", cJSON_CreateString(facts.gateway.c_str()));
  cJSON_AddItemToObject(info.get(), "macaddress", cJSON_CreateString(facts.mac.c_str()));
  PrintJsonReply(info.get(), out);
}

}  // namespace web
