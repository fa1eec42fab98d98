#include "devctl/web/application.h"

#include <utility>

#include "devctl/core/commit_path.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/settings_save.h"
#include "devctl/core/unit_state.h"
#include "devctl/hardware/power_wake.h"
#include "devctl/web/json_members.h"
#include "devctl/web/status_document.h"
#include "devctl/web/uploads.h"

CApplication::CApplication(const std::string& name) : CWebapp(name) {}

CApplication::~CApplication() {
  command_map_.clear();
  for (upload_slot_s& slot : uploads_.slot) slot.file.close();
}

void CApplication::FillCommandMap(const web_command_s* table, size_t count) {
  for (size_t i = 0; i < count; ++i) command_map_[table[i].name] = table[i];
}

bool CApplication::HandleInstr(const char* body, std::string& reply) {
  web::JsonPtr request = web::ParseJsonBody(body);
  if (!request || !cJSON_IsString(cJSON_GetObjectItem(request.get(), "comhead"))) {
    ReplyHelp(reply);
    return false;
  }
  std::string name;
  // A name longer than the protocol's field cannot be a command: it is unsupported.
  if (!web::ReadJsonString(request.get(), "comhead", &name)) return ReplyUnsupported(body, reply);
  if (name == "help") {
    ReplyHelp(reply);
    return true;
  }
  auto entry = command_map_.find(name);
  if (entry == command_map_.end() || entry->second.handler == nullptr) {
    return ReplyUnsupported(body, reply);
  }
  RunCommandFrame(entry->second, request.get(), reply);
  return true;
}

bool RunCommandLocked(const web_command_s& command, const cJSON* request, WebAnswer& answer) {
  ConfigLock lock;
  const unsigned frame = command.frame;
  const int power_before = g_unit.config.power;
  if (frame & kWebWakesFirst) WakeOnCommand(answer.notice);
  bool accepted = command.handler(request, answer);
  if (accepted) {
    if (frame & kWebWakes) WakeOnCommand(answer.notice);
    const WebOutcome outcome = answer.change ? answer.change(answer) : WebOutcome::kUnchanged;
    accepted = outcome != WebOutcome::kRefused;
    if (accepted && (frame & kWebWakesAfter)) {
      std::string woke;
      WakeOnCommand(woke);
      answer.notice.insert(0, woke);
    }
    answer.save = outcome == WebOutcome::kChanged && (frame & kWebSaves);
    answer.set_result = accepted && (frame & kWebAnswersResult);
  }
  // A wake stores the power state: saved whatever the command itself did.
  if (power_before == 0 && g_unit.config.power != 0) answer.save = true;
  return accepted;
}

void RunCommandFrame(const web_command_s& command, const cJSON* request, std::string& reply) {
  WebAnswer answer;
  // Commands from the web, the control ports and the workers change one configuration: the
  // handler's read-modify-write is never interleaved with another command's.
  const bool saved = CommitChange(
      [&] {
        RunCommandLocked(command, request, answer);
        return answer.save;
      },
      // The control ports hear of the change after its save, in the order of the changes, and of
      // a failed save as they do of a text command's.
      [&answer, &command](bool saved) {
        std::string notice = std::move(answer.notice);
        if (!saved && !(command.frame & kWebQuietOnPorts)) notice += kSaveFailedLine;
        SendNotice(notice);
      });
  if (answer.after_lock) answer.after_lock();
  // A reply of the command's own stands only when what it changed was saved.
  if (!answer.set_result && saved) {
    reply = std::move(answer.reply);
  } else if (saved && answer.error.empty()) {
    web::ReplyResult(answer.comhead, 1, reply);
  } else {
    const std::string error = answer.error.empty() ? "settings not saved" : answer.error;
    web::JsonPtr out(cJSON_CreateObject());
    cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString(answer.comhead.c_str()));
    cJSON_AddItemToObject(out.get(), "result", cJSON_CreateNumber(0));
    cJSON_AddItemToObject(out.get(), "error", cJSON_CreateString(error.c_str()));
    web::PrintJsonReply(out.get(), reply);
  }
}

void CApplication::ReplyHelp(std::string& reply) const {
  std::string help;
  for (const auto& entry : command_map_) help += entry.second.help + "\r\n";
  web::JsonPtr out(cJSON_CreateObject());
  cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString("help"));
  cJSON_AddItemToObject(out.get(), "help", cJSON_CreateString(help.c_str()));
  web::PrintJsonReply(out.get(), reply);
}

bool CApplication::HandleGetInfo(const char*, std::string& reply) {
  web::BuildInfoReply(reply);
  return true;
}

bool CApplication::HandleGetJson(const char*, const char*, int, std::string& reply) {
  web::BuildStatusJson(reply);
  return true;
}

bool CApplication::HandleGetXml(const char*, const char*, int, std::string& reply) {
  web::BuildStatusXml(reply);
  return true;
}

bool CApplication::HandleUpdateNetaudio(const char* tail, const char* body, int length,
                                        std::string& reply) {
  return web::HandleUploadChunk(web::UploadKind::kNetaudioPackage, uploads_, tail, body, length,
                                reply);
}

bool CApplication::HandleUpdateSoc(const char* tail, const char* body, int length,
                                   std::string& reply) {
  return web::HandleUploadChunk(web::UploadKind::kSystemPackage, uploads_, tail, body, length,
                                reply);
}

bool CApplication::HandleUpdateOta(const char* tail, const char* body, int length,
                                   std::string& reply) {
  return web::HandleUploadChunk(web::UploadKind::kOtaImage, uploads_, tail, body, length, reply);
}

void CApplication::HandleBrokenUpload(web::WebRoute route, std::string& reply) {
  switch (route) {
    case web::WebRoute::kUpdateNetaudio:
      web::HandleBrokenChunk(web::UploadKind::kNetaudioPackage, uploads_, reply);
      break;
    case web::WebRoute::kUpdateSoc:
      web::HandleBrokenChunk(web::UploadKind::kSystemPackage, uploads_, reply);
      break;
    case web::WebRoute::kUpdateOta:
      web::HandleBrokenChunk(web::UploadKind::kOtaImage, uploads_, reply);
      break;
    default:
      CWebapp::HandleBrokenUpload(route, reply);
      break;
  }
}
