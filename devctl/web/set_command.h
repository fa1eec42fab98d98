// The common shape of the web "set" commands: "comhead" and integer members, all required and
// range-checked, then the wake-up; the handler acts and fills the answer.
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

// When ReadSetCommand calls WakeOnCommand.
enum class WebWake {
  kAfterRead,  // once "comhead" and every member were read and found in range
  kNo,         // never (the command wakes elsewhere or not at all)
};

// Reads "comhead" and every member. On failure answers {"comhead": <echo or "">, "result": 0}
// into answer.reply and returns false: nothing changed, nothing to send or save. Otherwise fills
// values (in member order) and answer.comhead, wakes the unit as wake says (its power-on notice
// goes into answer.notice) and returns true; the handler then acts and sets answer.notice,
// answer.save and answer.set_result.
bool ReadSetCommand(const cJSON* request, const std::vector<WebIntMember>& members,
                    std::vector<int>* values, WebAnswer& answer,
                    WebWake wake = WebWake::kAfterRead);

// A refusal after the members were read: {"comhead": answer.comhead, "result": 0}; returns false.
bool RefuseSetCommand(WebAnswer& answer);

// The "error" of a command that ends in a reboot: "" when done, "settings not saved" or
// "reboot not requested" when nothing was done.
const char* OutcomeError(RebootOutcome outcome);
