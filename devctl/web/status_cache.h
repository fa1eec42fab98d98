// The status documents, with the sections that show only the configuration record ("input",
// "output", "preset", "peq": most of the text, 108 EQ memories among them) printed once per
// configuration generation. "syssta" and "websta" are built for every request. The text is
// byte for byte what a build from nothing gives.
#pragma once

#include <cstdint>
#include <string>

#include "devctl/core/app_config.h"
#include "devctl/web/status_document.h"

namespace web {

class StatusCache {
 public:
  // The documents for cfg, whose generation is generation (the caller keeps cfg from changing
  // during the call).
  std::string Json(const app_config_s& cfg, uint64_t generation, const StatusFacts& facts);
  std::string Xml(const app_config_s& cfg, uint64_t generation, const StatusFacts& facts);
  // How often the configuration sections were printed (once per generation and form).
  int config_builds() const { return config_builds_; }

 private:
  struct Printed {
    bool valid = false;
    uint64_t generation = 0;
    std::string text;
  };
  Printed json_, xml_;
  int config_builds_ = 0;
};

}  // namespace web
