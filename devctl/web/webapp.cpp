#include "devctl/web/webapp.h"

#include <pthread.h>

#include "devctl/web/json_members.h"
#include "platform/clock.h"

using web::ReplyEnding;
using web::WebRoute;

CWebapp::CWebapp(const std::string& name) : name_(name) {}

CWebapp::~CWebapp() = default;

int CWebapp::Start() {
  running_ = true;
  thread_ = new std::thread([this] { Run(); });
  pthread_setname_np(thread_->native_handle(), name_.substr(0, 15).c_str());
  return 0;
}

void CWebapp::Stop() {
  if (!running_) return;
  running_ = false;
  platform::SleepMs(1100);
  if (thread_) {
    thread_->detach();
    delete thread_;
    thread_ = nullptr;
  }
}

void CWebapp::Run() {
  platform::UseShortTimerSlack();
  Serve(0);
}

int CWebapp::Serve(int listen_fd) {
  return web::ServeFastCgi(listen_fd, [this](const web::WebRequest& request, std::string& reply) {
    return ServeRequest(request, reply);
  });
}

ReplyEnding CWebapp::ServeRequest(const web::WebRequest& request, std::string& reply) {
  // Every request starts from an empty reply, so a handler that writes nothing never passes on
  // what the previous client received.
  reply.clear();
  WebRoute route = web::RouteRequest(request.query_string, request.request_uri);
  if (!request.body_complete) {
    if (web::IsUploadRoute(route)) {
      HandleBrokenUpload(route, reply);
    } else {
      reply = "unknow";
    }
    return ReplyEnding::kCommon;
  }

  const std::string tail =
      web::IsUploadRoute(route) ? web::ParseQueryTail(request.query_string) : std::string();
  const char* body = request.body ? request.body : "";
  switch (route) {
    case WebRoute::kInstr:
      HandleInstr(body, reply);
      break;
    case WebRoute::kGetInfo:
      HandleGetInfo(body, reply);
      break;
    case WebRoute::kUpdateNetaudio:
      HandleUpdateNetaudio(tail.c_str(), body, request.length, reply);
      break;
    case WebRoute::kUpdateSoc:
      HandleUpdateSoc(tail.c_str(), body, request.length, reply);
      break;
    case WebRoute::kGetJson:
      HandleGetJson(tail.c_str(), body, request.length, reply);
      break;
    case WebRoute::kGetXml:
      HandleGetXml(tail.c_str(), body, request.length, reply);
      break;
    case WebRoute::kUpdateOta:
      HandleUpdateOta(tail.c_str(), body, request.length, reply);
      break;
    case WebRoute::kNoHandler:
      break;
    case WebRoute::kUnknown:
      reply = "unknow";
      break;
  }
  return web::EndingOf(route);
}

bool CWebapp::HandleInstr(const char* body, std::string& reply) {
  return RejectRequest(body, reply);
}

bool CWebapp::HandleGetInfo(const char* body, std::string& reply) {
  return RejectRequest(body, reply);
}

bool CWebapp::HandleUpdateNetaudio(const char* tail, const char* body, int length,
                                   std::string& reply) {
  return RejectCgiRequest(tail, body, length, reply);
}

bool CWebapp::HandleUpdateSoc(const char* tail, const char* body, int length, std::string& reply) {
  return RejectCgiRequest(tail, body, length, reply);
}

bool CWebapp::HandleGetJson(const char* tail, const char* body, int length, std::string& reply) {
  return RejectCgiRequest(tail, body, length, reply);
}

bool CWebapp::HandleGetXml(const char* tail, const char* body, int length, std::string& reply) {
  return RejectCgiRequest(tail, body, length, reply);
}

bool CWebapp::HandleUpdateOta(const char* tail, const char* body, int length, std::string& reply) {
  return RejectCgiRequest(tail, body, length, reply);
}

void CWebapp::HandleBrokenUpload(WebRoute, std::string& reply) { reply = "unknow"; }

bool CWebapp::RejectRequest(const char* body, std::string& reply) {
  return ReplyUnsupported(body, reply);
}

bool CWebapp::RejectCgiRequest(const char*, const char* body, int, std::string& reply) {
  return ReplyUnsupported(body, reply);
}

bool CWebapp::ReplyUnsupported(const char* body, std::string& reply) {
  std::string comhead;
  web::JsonPtr request = web::ParseJsonBody(body);
  if (request) web::ReadJsonString(request.get(), "comhead", &comhead);
  web::JsonPtr out(cJSON_CreateObject());
  cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString(comhead.c_str()));
  cJSON_AddItemToObject(out.get(), "error", cJSON_CreateString("unsupported command"));
  cJSON_AddItemToObject(out.get(), "result", cJSON_CreateString("fail"));
  web::PrintJsonReply(out.get(), reply);
  return false;
}
