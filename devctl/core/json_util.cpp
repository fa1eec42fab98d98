#include "devctl/core/json_util.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "platform/storage.h"

namespace {

constexpr long kMaxDocumentSize = 64L << 20;

const cJSON* Member(const cJSON* object, const char* key) {
  if (!object || !key) return nullptr;
  return cJSON_GetObjectItem(object, key);
}

// cJSON keeps a number's integer value saturated to the int range, truncated toward zero.
bool NumberMember(const cJSON* object, const char* key, int* value) {
  const cJSON* item = Member(object, key);
  if (!cJSON_IsNumber(item)) return false;
  *value = item->valueint;
  return true;
}

template <typename T>
int GetJsonArray(const cJSON* object, const char* key, T* out, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = 0;
  const cJSON* array = Member(object, key);
  if (!cJSON_IsArray(array)) return 0;
  uint32_t stored = 0;
  for (const cJSON* element = array->child; element && stored < n; element = element->next) {
    if (!cJSON_IsNumber(element)) return 0;
    out[stored++] = static_cast<T>(static_cast<int64_t>(element->valueint));
  }
  return 1;
}

// The folder a resolved file path lives in.
std::string Folder(const std::string& resolved) {
  std::string::size_type slash = resolved.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : resolved.substr(0, slash);
}

}  // namespace

cJSON* ReadJsonFile(const char* path) {
  if (!path) return nullptr;
  FILE* file = std::fopen(platform::Path(path).c_str(), "rb");
  if (!file) {
    std::printf("file %s not exits\n", path);
    return nullptr;
  }
  // Only a regular file of a sensible size is a document (a folder reports a huge length).
  struct stat info;
  long length = -1;
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
      std::fseek(file, 0, SEEK_END) == 0) {
    length = std::ftell(file);
  }
  if (length > kMaxDocumentSize) length = -1;
  if (length <= 0) {
    std::printf("file len error\n");
    std::fclose(file);
    return nullptr;
  }
  cJSON* tree = nullptr;
  char* text = static_cast<char*>(std::malloc(size_t(length) + 1));
  if (text && std::fseek(file, 0, SEEK_SET) == 0 &&
      std::fread(text, 1, size_t(length), file) == size_t(length)) {
    text[length] = '\0';
    tree = cJSON_Parse(text);
  }
  std::free(text);
  std::fclose(file);
  return tree;
}

int WriteJsonText(const std::string& text, const char* path) {
  if (!path) return JSON_WRITE_NULL;
  std::string resolved = platform::Path(path);
  if (access(Folder(resolved).c_str(), W_OK) != 0) {
    std::printf("open file error\n");
    return JSON_WRITE_OPEN_FAILED;
  }
  if (!platform::WriteFileAtomic(resolved, text)) {
    std::printf("write file error\n");
    return JSON_WRITE_FAILED;
  }
  return JSON_WRITE_OK;
}

int WriteJsonFile(const cJSON* item, const char* path, int formatted) {
  if (!item || !path) return JSON_WRITE_NULL;
  char* text = formatted ? cJSON_Print(item) : cJSON_PrintUnformatted(item);
  if (!text) return JSON_WRITE_FAILED;
  int result = WriteJsonText(text, path);
  cJSON_free(text);
  return result;
}

int GetJsonInt(const cJSON* object, const char* key, int* out) {
  *out = 0;
  return NumberMember(object, key, out) ? 1 : 0;
}

int GetJsonDouble(const cJSON* object, const char* key, double* out) {
  *out = 0.0;
  const cJSON* item = Member(object, key);
  if (!cJSON_IsNumber(item)) return 0;
  *out = item->valuedouble;
  return 1;
}

int GetJsonString(const cJSON* object, const char* key, char* out, size_t out_size) {
  if (out_size == 0) return 0;
  out[0] = '\0';
  const cJSON* item = Member(object, key);
  if (!cJSON_IsString(item) || !item->valuestring) return 0;
  std::strncpy(out, item->valuestring, out_size - 1);
  out[out_size - 1] = '\0';
  return 1;
}

int GetJsonU8(const cJSON* object, const char* key, uint8_t* out) {
  int value = 0;
  *out = 0;
  if (!NumberMember(object, key, &value)) return 0;
  *out = uint8_t(value);
  return 1;
}

int GetJsonU16(const cJSON* object, const char* key, uint16_t* out) {
  int value = 0;
  *out = 0;
  if (!NumberMember(object, key, &value)) return 0;
  *out = uint16_t(value);
  return 1;
}

int GetJsonU32(const cJSON* object, const char* key, uint32_t* out) {
  int value = 0;
  *out = 0;
  if (!NumberMember(object, key, &value)) return 0;
  *out = uint32_t(value);
  return 1;
}

int GetJsonU8Array(const cJSON* object, const char* key, uint8_t* out, uint32_t n) {
  return GetJsonArray(object, key, out, n);
}

int GetJsonU32Array(const cJSON* object, const char* key, uint32_t* out, uint32_t n) {
  return GetJsonArray(object, key, out, n);
}

void DetachJsonChild(cJSON* parent, cJSON* child) {
  if (parent && child) cJSON_DetachItemViaPointer(parent, child);
}

cJSON* CreateJsonByteArray(const uint8_t* bytes, int n) {
  cJSON* array = cJSON_CreateArray();
  if (!array || n <= 0 || !bytes) return array;
  for (int i = 0; i < n; ++i) cJSON_AddItemToArray(array, cJSON_CreateNumber(bytes[i]));
  return array;
}

int SetJsonStringValue(cJSON* item, const char* text) {
  if (!cJSON_IsString(item) || !text) return 0;
  size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(cJSON_malloc(size));
  if (!copy) return 0;
  std::memcpy(copy, text, size);
  // Constant and referenced strings belong to someone else.
  if (item->valuestring && !(item->type & (cJSON_IsReference | cJSON_StringIsConst))) {
    cJSON_free(item->valuestring);
  }
  item->valuestring = copy;
  item->type &= ~(cJSON_IsReference | cJSON_StringIsConst);
  return 1;
}
