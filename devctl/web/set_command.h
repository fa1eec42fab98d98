// The common shape of the web "set" commands: "comhead" and integer members, all required and
// range-checked; the handler then leaves its change for the frame.
#pragma once

#include <cjson/cJSON.h>

#include <vector>

#include "devctl/core/reset_changes.h"
#include "devctl/web/web_command.h"

// A required JSON number member (fraction cut toward zero) and its accepted range.
struct WebIntMember {
  const char* key;
  int min;
  int max;
};

// Reads "comhead" and every member. On failure answers {"comhead": <echo or "">, "result": 0}
// into answer.reply and returns false: nothing changed, nothing to send or save. Otherwise fills
// values (in member order) and answer.comhead and returns true.
bool ReadSetCommand(const cJSON* request, const std::vector<WebIntMember>& members,
                    std::vector<int>* values, WebAnswer& answer);

// A refusal after the members were read: {"comhead": answer.comhead, "result": 0}. The handler's
// form returns false, the change's form WebOutcome::kRefused.
bool RefuseSetCommand(WebAnswer& answer);
WebOutcome RefuseChange(WebAnswer& answer);

// The "error" of a command that ends in a reboot: "" when done, "settings not saved" or
// "reboot not requested" when nothing was done.
const char* OutcomeError(RebootOutcome outcome);
