#include "devctl/web/json_members.h"

#include <cstring>

#include "devctl/core/json_util.h"

namespace web {

JsonPtr ParseJsonBody(const char* body) {
  if (body == nullptr) return nullptr;
  // The first value is the request; whatever follows it is ignored, as the JSON library's plain
  // parse does.
  return JsonPtr(cJSON_ParseWithOpts(body, nullptr, 0));
}

bool ReadJsonString(const cJSON* object, const char* key, std::string* out, size_t max_length) {
  out->clear();
  const cJSON* item = cJSON_GetObjectItem(object, key);
  if (!cJSON_IsString(item) || item->valuestring == nullptr) return false;
  std::string value = item->valuestring;
  if (value.size() > max_length) return false;
  *out = std::move(value);
  return true;
}

bool ReadJsonInt(const cJSON* object, const char* key, int* out) {
  return GetJsonInt(object, key, out) == 1;
}

bool ReadJsonDouble(const cJSON* object, const char* key, double* out) {
  return GetJsonDouble(object, key, out) == 1;
}

void PrintJsonReply(const cJSON* object, std::string& reply) {
  char* text = cJSON_Print(object);
  reply.clear();
  // Outside its strings printed JSON holds none of these characters, so each one found is inside
  // a string, where the escape is the same value.
  const char* p = text ? text : "";
  for (const char* hit; (hit = std::strpbrk(p, "<>&")) != nullptr; p = hit + 1) {
    reply.append(p, static_cast<size_t>(hit - p));
    reply += *hit == '<' ? "\\u003c" : *hit == '>' ? "\\u003e" : "\\u0026";
  }
  reply += p;
  cJSON_free(text);
}

void ReplyResult(const std::string& comhead, int result, std::string& reply) {
  JsonPtr out(cJSON_CreateObject());
  cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString(comhead.c_str()));
  cJSON_AddItemToObject(out.get(), "result", cJSON_CreateNumber(result));
  PrintJsonReply(out.get(), reply);
}

}  // namespace web
