// Reading request members and printing replies, shared by every web handler. Request bodies come
// from any host on the network: parsing is strict, and a member that is missing, of the wrong type
// or longer than its field counts as missing.
#pragma once

#include <cjson/cJSON.h>

#include <memory>
#include <string>

namespace web {

struct JsonDeleter {
  void operator()(cJSON* json) const { cJSON_Delete(json); }
};
using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;

// The longest "comhead" and string member a handler takes (the 256-byte fields of the protocol).
constexpr size_t kMaxJsonString = 255;

// Parses the first JSON value of a body; text after it is ignored.
JsonPtr ParseJsonBody(const char* body);

// A string member (name matched without regard to case) of at most max_length bytes.
// Returns false, with out empty, when absent, not a string or too long.
bool ReadJsonString(const cJSON* object, const char* key, std::string* out,
                    size_t max_length = kMaxJsonString);

// A number member as an integer, the fraction cut toward zero (values beyond the 32-bit range
// saturate). Returns false, with out 0, when absent or not a number.
bool ReadJsonInt(const cJSON* object, const char* key, int* out);

// A number member as a double. Returns false, with out 0.0, when absent or not a number.
bool ReadJsonDouble(const cJSON* object, const char* key, double* out);

// Prints a reply object formatted (one member per line, tab indents) into reply. "<", ">" and "&"
// in strings are printed \u003c, \u003e and \u0026, so no reply can be read as markup.
void PrintJsonReply(const cJSON* object, std::string& reply);

// {"comhead": <comhead>, "result": <result>}, the reply of every "set" command.
void ReplyResult(const std::string& comhead, int result, std::string& reply);

}  // namespace web
