#include "devctl/web/application.h"

#include "devctl/core/config_lock.h"
#include "devctl/web/json_members.h"
#include "devctl/web/status_document.h"
#include "devctl/web/uploads.h"

CApplication::CApplication(const std::string& name) : CWebapp(name) {}

CApplication::~CApplication() {
  command_map_.clear();
  ota_upload_.file.close();
  system_upload_.file.close();
  package_upload_.file.close();
}

void CApplication::FillCommandMap(const web_command_s* table, int count) {
  for (int i = 0; i < count; ++i) command_map_[table[i].name] = table[i];
}

bool CApplication::HandleInstr(const char* body, std::string& reply) {
  std::string name;
  {
    web::JsonPtr request = web::ParseJsonBody(body);
    if (!request || !cJSON_IsString(cJSON_GetObjectItem(request.get(), "comhead"))) {
      ReplyHelp(reply);
      return false;
    }
    // A name longer than the protocol's field cannot be a command: it is unsupported.
    if (!web::ReadJsonString(request.get(), "comhead", &name)) return ReplyUnsupported(body, reply);
  }
  if (name == "help") {
    ReplyHelp(reply);
    return true;
  }
  auto entry = command_map_.find(name);
  if (entry == command_map_.end() || entry->second.handler == nullptr) {
    return ReplyUnsupported(body, reply);
  }
  // Commands from the web, the control ports and the workers change one configuration: each web
  // command runs whole under the configuration lock, so its read-modify-save is never interleaved.
  ConfigLock lock;
  entry->second.handler(body, reply);
  return true;
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
  return web::HandleUploadChunk(web::UploadKind::kNetaudioPackage, package_upload_, tail, body,
                                length, reply);
}

bool CApplication::HandleUpdateSoc(const char* tail, const char* body, int length,
                                   std::string& reply) {
  return web::HandleUploadChunk(web::UploadKind::kSystemPackage, system_upload_, tail, body, length,
                                reply);
}

bool CApplication::HandleUpdateOta(const char* tail, const char* body, int length,
                                   std::string& reply) {
  return web::HandleUploadChunk(web::UploadKind::kOtaImage, ota_upload_, tail, body, length, reply);
}

void CApplication::HandleBrokenUpload(web::WebRoute route, std::string& reply) {
  switch (route) {
    case web::WebRoute::kUpdateNetaudio:
      web::HandleBrokenChunk(web::UploadKind::kNetaudioPackage, package_upload_, reply);
      break;
    case web::WebRoute::kUpdateSoc:
      web::HandleBrokenChunk(web::UploadKind::kSystemPackage, system_upload_, reply);
      break;
    case web::WebRoute::kUpdateOta:
      web::HandleBrokenChunk(web::UploadKind::kOtaImage, ota_upload_, reply);
      break;
    default:
      CWebapp::HandleBrokenUpload(route, reply);
      break;
  }
}
