// The preset commands: "chn" or "preset" names the preset (1-8); none of them wakes the unit.
#include "devctl/web/web_preset_handlers.h"

#include "devctl/core/app_config.h"
#include "devctl/core/globals.h"
#include "devctl/core/limits.h"
#include "devctl/core/name_text.h"
#include "devctl/core/preset_changes.h"
#include "devctl/web/json_members.h"
#include "devctl/web/set_command.h"

namespace {

bool Accept(const std::string& lines, WebAnswer& answer) {
  answer.notice += lines;
  answer.save = true;
  answer.set_result = true;
  return true;
}

bool ReadPreset(const cJSON* request, const char* key, int* n, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {{key, kFirstPresetNumber, kLastPresetNumber}}, &v, answer,
                      WebWake::kNo))
    return false;
  *n = v[0];
  return true;
}

}  // namespace

bool WebDeletePreset(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "chn", &n, answer)) return false;
  std::string lines;
  DeletePreset(n, lines);
  return Accept(lines, answer);
}

bool WebSetPresetRecall(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "preset", &n, answer)) return false;
  std::string lines;
  if (RequestPresetRecall(n, RecallLineEnd::kBlankBeforeEnd, lines) != RecallRequest::kRequested) {
    return RefuseSetCommand(answer);
  }
  return Accept(lines, answer);
}

bool WebSetPresetSave(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "preset", &n, answer)) return false;
  std::string lines;
  // A failed save changes nothing: a preset saved before keeps its file.
  if (!SavePreset(n, lines)) return RefuseSetCommand(answer);
  return Accept(lines, answer);
}

bool WebSetPresetName(const cJSON* request, WebAnswer& answer) {
  int n;
  if (!ReadPreset(request, "chn", &n, answer)) return false;
  std::string name;
  // The name goes to every control port: line ends, controls and broken characters are refused.
  if (!web::ReadJsonString(request, "name", &name) || !IsCleanName(name))
    return RefuseSetCommand(answer);
  std::string lines;
  SetPresetName(n, CutAtCharacter(name, kNameSize - 1), lines);
  return Accept(lines, answer);
}
