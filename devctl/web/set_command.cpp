#include "devctl/web/set_command.h"

#include "devctl/web/json_members.h"

bool ReadSetCommand(const cJSON* request, const std::vector<WebIntMember>& members,
                    std::vector<int>* values, WebAnswer& answer) {
  values->assign(members.size(), 0);
  bool ok = web::ReadJsonString(request, "comhead", &answer.comhead);
  for (size_t i = 0; i < members.size(); ++i) {
    int& value = (*values)[i];
    ok = web::ReadJsonInt(request, members[i].key, &value) && ok;
    ok = ok && value >= members[i].min && value <= members[i].max;
  }
  if (!ok) {
    web::ReplyResult(answer.comhead, 0, answer.reply);
    return false;
  }
  return true;
}

bool RefuseSetCommand(WebAnswer& answer) {
  web::ReplyResult(answer.comhead, 0, answer.reply);
  return false;
}

WebOutcome RefuseChange(WebAnswer& answer) {
  RefuseSetCommand(answer);
  return WebOutcome::kRefused;
}

const char* OutcomeError(RebootOutcome outcome) {
  switch (outcome) {
    case RebootOutcome::kRebooting:
      return "";
    case RebootOutcome::kSaveFailed:
      return "settings not saved";
    case RebootOutcome::kRebootFailed:
      return "reboot not requested";
  }
  return "settings not saved";
}
