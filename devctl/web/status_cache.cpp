#include "devctl/web/status_cache.h"

#include "devctl/web/json_members.h"

namespace web {
namespace {

// One section as the formatted root object prints it: one tab deep, without the separator.
std::string SectionJson(int section, const app_config_s& cfg, const StatusFacts& facts) {
  JsonPtr wrapper(cJSON_CreateObject());
  cJSON_AddItemToObject(wrapper.get(), StatusSectionName(section),
                        BuildStatusSection(section, cfg, facts));
  std::string text;
  PrintJsonReply(wrapper.get(), text);
  // "{\n" + member + "\n}"
  if (text.size() < 4) return std::string();
  return text.substr(2, text.size() - 4);
}

std::string JoinJson(const std::string& volatile_part, const std::string& config_part) {
  return "{\n" + volatile_part + ",\n" + config_part + "\n}";
}

// The elements of the given sections as they appear inside "MATRIX".
std::string SectionsXml(int first, int last, const app_config_s& cfg, const StatusFacts& facts) {
  JsonPtr wrapper(cJSON_CreateObject());
  for (int section = first; section < last; ++section) {
    cJSON_AddItemToObject(wrapper.get(), StatusSectionName(section),
                          BuildStatusSection(section, cfg, facts));
  }
  const std::string doc = StatusXmlText(wrapper.get());
  const size_t open = doc.find("<MATRIX>");
  const size_t close = doc.rfind("</MATRIX>");
  if (open == std::string::npos || close == std::string::npos || close < open + 8) {
    return std::string();
  }
  return doc.substr(open + 8, close - open - 8);
}

}  // namespace

std::string StatusCache::Json(const app_config_s& cfg, uint64_t generation,
                              const StatusFacts& facts) {
  if (!json_.valid || json_.generation != generation) {
    std::string text;
    for (int section = kVolatileSections; section < kStatusSections; ++section) {
      if (!text.empty()) text += ",\n";
      text += SectionJson(section, cfg, facts);
    }
    json_ = {true, generation, std::move(text)};
    ++config_builds_;
  }
  std::string volatile_part;
  for (int section = 0; section < kVolatileSections; ++section) {
    if (!volatile_part.empty()) volatile_part += ",\n";
    volatile_part += SectionJson(section, cfg, facts);
  }
  return JoinJson(volatile_part, json_.text);
}

std::string StatusCache::Xml(const app_config_s& cfg, uint64_t generation,
                             const StatusFacts& facts) {
  if (!xml_.valid || xml_.generation != generation) {
    xml_ = {true, generation, SectionsXml(kVolatileSections, kStatusSections, cfg, facts)};
    ++config_builds_;
  }
  JsonPtr head(cJSON_CreateObject());
  for (int section = 0; section < kVolatileSections; ++section) {
    cJSON_AddItemToObject(head.get(), StatusSectionName(section),
                          BuildStatusSection(section, cfg, facts));
  }
  std::string doc = StatusXmlText(head.get());
  const size_t close = doc.rfind("</MATRIX>");
  if (close == std::string::npos) return doc;
  doc.insert(close, xml_.text);
  return doc;
}

}  // namespace web
