#include "devctl/web/json_members.h"

#include <climits>
#include <cmath>

namespace web {

JsonPtr ParseJsonBody(const char* body) {
  if (body == nullptr) return nullptr;
  return JsonPtr(cJSON_ParseWithOpts(body, nullptr, 1));
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
  *out = 0;
  const cJSON* item = cJSON_GetObjectItem(object, key);
  if (!cJSON_IsNumber(item)) return false;
  double value = item->valuedouble;
  if (std::isnan(value)) return false;
  if (value >= static_cast<double>(INT_MAX)) {
    *out = INT_MAX;
  } else if (value <= static_cast<double>(INT_MIN)) {
    *out = INT_MIN;
  } else {
    *out = static_cast<int>(value);
  }
  return true;
}

void PrintJsonReply(const cJSON* object, std::string& reply) {
  char* text = cJSON_Print(object);
  reply.assign(text ? text : "");
  cJSON_free(text);
}

void ReplyResult(const std::string& comhead, int result, std::string& reply) {
  JsonPtr out(cJSON_CreateObject());
  cJSON_AddItemToObject(out.get(), "comhead", cJSON_CreateString(comhead.c_str()));
  cJSON_AddItemToObject(out.get(), "result", cJSON_CreateNumber(result));
  PrintJsonReply(out.get(), reply);
}

}  // namespace web
