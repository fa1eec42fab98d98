// The status documents ("getjson.cgi?json=mxsta", "getxml.cgi?xml=mxsta") and the interface
// information of "getinfo.cgi".
#pragma once

#include <cjson/cJSON.h>
#include <mxml.h>

#include <string>

#include "devctl/core/app_config.h"

namespace web {

// What the documents show besides the configuration record.
struct StatusFacts {
  std::string main_version, mcu_version, netaudio_version, mac;
  std::string ip, subnet, gateway;  // current addresses of the interface
  int temperature = 0;              // whole degrees Celsius
  long uptime_seconds = 0;
};

// The status document as a tree: "syssta", "websta", "input", "output", "preset", "peq".
cJSON* BuildStatusTree(const app_config_s& cfg, const StatusFacts& facts);

// The document's sections in order; the first kVolatileSections show more than the configuration
// record (uptime, temperature, addresses, versions), the others the record alone.
constexpr int kStatusSections = 6;
constexpr int kVolatileSections = 2;
const char* StatusSectionName(int section);
cJSON* BuildStatusSection(int section, const app_config_s& cfg, const StatusFacts& facts);

// Appends one element per member of object under parent: objects nest, strings and numbers
// ("%d", fraction cut toward zero) become text, arrays the text of their elements joined by ",".
void ConvertJsonToXml(const cJSON* object, mxml_node_t* parent);

// The XML document text: declaration, root "MATRIX", the converted tree; no line breaks but one
// at the end.
std::string StatusXmlText(const cJSON* status);

// The unit's current facts and configuration, as the handlers serve them.
StatusFacts CollectStatusFacts();
void BuildStatusJson(std::string& out);
void BuildStatusXml(std::string& out);
// {"ipaddress", "subnet", "gateway", "macaddress"}.
void BuildInfoReply(std::string& out);

}  // namespace web
