// The preset commands: "chn" or "preset" names the preset (1-8); none of them wakes the unit.
#include "devctl/web/web_preset_handlers.h"

#include <iterator>

#include "devctl/core/app_config.h"
#include "devctl/core/limits.h"
#include "devctl/core/name_text.h"
#include "devctl/core/preset_changes.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/json_members.h"
#include "devctl/web/set_command.h"

namespace {

bool ReadPreset(const cJSON* request, const char* key, int* n, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {{key, kFirstPresetNumber, kLastPresetNumber}}, &v, answer))
    return false;
  *n = v[0];
  return true;
}

}  // namespace

bool WebDeletePreset(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "chn", &n, answer)) return false;
  answer.change = [n](WebAnswer& answer) {
    DeletePreset(g_unit, n, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetPresetRecall(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "preset", &n, answer)) return false;
  answer.change = [n](WebAnswer& answer) {
    std::string lines;
    if (RequestPresetRecall(g_unit, n, RecallLineEnd::kBlankBeforeEnd, lines) !=
        RecallRequest::kRequested) {
      return RefuseChange(answer);
    }
    answer.notice += lines;
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetPresetSave(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "preset", &n, answer)) return false;
  answer.change = [n](WebAnswer& answer) {
    std::string lines;
    // A failed save changes nothing: a preset saved before keeps its file.
    if (!SavePreset(g_unit, n, lines)) return RefuseChange(answer);
    answer.notice += lines;
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetPresetName(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "chn", &n, answer)) return false;
  std::string name;
  // The name goes to every control port: line ends, controls and broken characters are refused.
  if (!web::ReadJsonString(request, "name", &name) || !IsCleanName(name))
    return RefuseSetCommand(answer);
  answer.change = [n, name = CutAtCharacter(name, kNameSize - 1)](WebAnswer& answer) {
    SetPresetName(g_unit, n, name, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

namespace {

// None of them wakes the unit.
const WebCommandRow kRows[] = {
    {"set preset recall", WebSetPresetRecall, kWebSaves | kWebAnswersResult},
    {"set preset name", WebSetPresetName, kWebSaves | kWebAnswersResult},
    {"delete preset", WebDeletePreset, kWebSaves | kWebAnswersResult},
    {"set preset save", WebSetPresetSave, kWebSaves | kWebAnswersResult},
};

}  // namespace

const WebCommandRows kWebPresetRows{kRows, std::size(kRows)};
