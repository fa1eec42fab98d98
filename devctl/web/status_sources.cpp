// Gathers what the status documents and the interface information show, from the live records.
#include "devctl/core/config_lock.h"
#include "devctl/core/net_status.h"
#include "devctl/core/temperature.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/uptime.h"
#include "devctl/web/json_members.h"
#include "devctl/web/status_cache.h"
#include "devctl/web/status_document.h"

#include <mutex>

namespace web {
StatusFacts CollectStatusFacts() {
  StatusFacts facts;
  facts.temperature = ReadTemperature();
  facts.uptime_seconds = UptimeSeconds();
  RefreshNetworkStatus();
  ConfigReadLock lock;
  facts.main_version = g_unit.identity.main_version;
  facts.mcu_version = g_unit.identity.mcu_version;
  facts.netaudio_version = g_unit.identity.netaudio_version;
  facts.mac = g_unit.identity.mac;
  facts.ip = g_unit.net_status.ipaddress;
  facts.subnet = g_unit.net_status.subnet;
  facts.gateway = g_unit.net_status.gateway;
  return facts;
}

namespace {

std::mutex g_status_cache_mutex;
StatusCache g_status_cache;  // guarded by g_status_cache_mutex

}  // namespace

// The live configuration is read whole under the configuration lock, so one document never mixes
// values from before and after a change.
void BuildStatusJson(std::string& out) {
  StatusFacts facts = CollectStatusFacts();
  std::lock_guard<std::mutex> cache_lock(g_status_cache_mutex);
  ConfigReadLock lock;
  out = g_status_cache.Json(g_unit.config, ConfigGeneration(), facts);
}

void BuildStatusXml(std::string& out) {
  StatusFacts facts = CollectStatusFacts();
  std::lock_guard<std::mutex> cache_lock(g_status_cache_mutex);
  ConfigReadLock lock;
  out = g_status_cache.Xml(g_unit.config, ConfigGeneration(), facts);
}

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
