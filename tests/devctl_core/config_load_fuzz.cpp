// Fuzz target: any bytes as the configuration document. Loading must stay inside the record, and
// what it loads must save and load again to the same record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cJSON* root = cJSON_ParseWithLength(reinterpret_cast<const char*>(data), size);
  if (!root) return 0;
  auto cfg = std::make_unique<app_config_s>();
  cfg->type = "TRX";
  ResetAppConfig("", cfg.get(), "");
  LoadAppConfigDocument(root, cfg.get(), cfg->type);
  cJSON_Delete(root);

  if (cfg->user_cnt > uint32_t(kMaxUsers)) std::abort();
  for (const auto& name : cfg->input_name) {
    if (strnlen(name, kNameSize) == kNameSize) std::abort();
  }

  std::string first;
  if (!PrintAppConfig(cfg.get(), &first)) std::abort();
  root = cJSON_Parse(first.c_str());
  if (!root) std::abort();
  auto again = std::make_unique<app_config_s>();
  again->type = "TRX";
  ResetAppConfig("", again.get(), "");
  if (LoadAppConfigDocument(root, again.get(), again->type)) std::abort();  // saved is complete
  cJSON_Delete(root);
  std::string second;
  if (!PrintAppConfig(again.get(), &second) || second != first) std::abort();
  return 0;
}
