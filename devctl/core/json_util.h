// JSON documents on disk and typed access to their members, over cJSON. Paths are unit paths
// ("/oem/app.json"), resolved under the platform root. Member lookup ignores the case of the key.
#pragma once

#include <cjson/cJSON.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Results of WriteJsonFile.
enum {
  JSON_WRITE_OK = 0,
  JSON_WRITE_NULL = 1,         // item or path null
  JSON_WRITE_OPEN_FAILED = 2,  // the file could not be created
  JSON_WRITE_FAILED = 3,       // printing or writing failed; the old file is untouched
};

// The parsed tree of the whole file, or nullptr (missing, empty, unreadable or not JSON).
// The caller frees it with cJSON_Delete.
cJSON* ReadJsonFile(const char* path);

// Prints the tree (formatted when non-zero) and replaces the file with the text atomically.
int WriteJsonFile(const cJSON* item, const char* path, int formatted);
// The same for text already printed.
int WriteJsonText(const std::string& text, const char* path);

// The getters clear their output, then store the member's value and return 1 only when the member
// exists with the required type; otherwise they return 0.
int GetJsonInt(const cJSON* object, const char* key, int* out);  // truncated toward zero
int GetJsonDouble(const cJSON* object, const char* key, double* out);
// Copies at most out_size - 1 characters and always ends out with a NUL.
int GetJsonString(const cJSON* object, const char* key, char* out, size_t out_size);
// No caller yet from here to SetJsonStringValue: the readers of fixed-width and byte-array members
// and the tree edits, for a record that stores such members.
int GetJsonU8(const cJSON* object, const char* key, uint8_t* out);
int GetJsonU16(const cJSON* object, const char* key, uint16_t* out);
int GetJsonU32(const cJSON* object, const char* key, uint32_t* out);
// Clears all n elements, then stores the array's elements in order; 0 when the member is absent
// or not an array, or (with the elements before it kept) at the first element that is not a
// number.
int GetJsonU8Array(const cJSON* object, const char* key, uint8_t* out, uint32_t n);
int GetJsonU32Array(const cJSON* object, const char* key, uint32_t* out, uint32_t n);

// Unlinks child from parent's members without freeing it.
void DetachJsonChild(cJSON* parent, cJSON* child);
// A new array of n numbers with the byte values (an empty array for n <= 0).
cJSON* CreateJsonByteArray(const uint8_t* bytes, int n);
// Replaces a string item's text with a copy of text: 1 done, 0 when item is not a string or the
// copy could not be made (the old text is then kept).
int SetJsonStringValue(cJSON* item, const char* text);
