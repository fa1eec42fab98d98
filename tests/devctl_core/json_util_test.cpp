#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "devctl/core/json_util.h"
#include "platform/storage.h"
#include "tests/support/unit_root.h"

namespace {

// A parsed document freed at the end of the scope.
struct Json {
  explicit Json(const std::string& text) : root(cJSON_Parse(text.c_str())) {}
  ~Json() { cJSON_Delete(root); }
  cJSON* root;
};

TEST(GetJsonInt, AcceptsOnlyNumbersTruncatedAndSaturated) {
  struct Case {
    const char* json;
    const char* key;
    int found;
    int value;
  } cases[] = {
      {R"({"Power":1})", "power", 1, 1},
      {R"({"power":"1"})", "power", 0, 0},
      {R"({"power":2.9})", "power", 1, 2},
      {R"({"power":-2.9})", "power", 1, -2},
      {R"({"power":true})", "power", 0, 0},
      {R"({"power":1e300})", "power", 1, INT_MAX},
      {R"({"power":-1e300})", "power", 1, INT_MIN},
      {R"({"other":1})", "power", 0, 0},
      {R"([1,2])", "power", 0, 0},
  };
  for (const Case& c : cases) {
    Json json(c.json);
    int value = 77;
    EXPECT_EQ(GetJsonInt(json.root, c.key, &value), c.found) << c.json;
    EXPECT_EQ(value, c.value) << c.json;
  }
  int value = 77;
  EXPECT_EQ(GetJsonInt(nullptr, "power", &value), 0);
  EXPECT_EQ(value, 0);
}

TEST(GetJsonNumbers, NarrowToTheOutputWidth) {
  Json json(R"({"v":300,"w":70000,"d":-2.5,"s":"x"})");
  uint8_t u8 = 9;
  uint16_t u16 = 9;
  uint32_t u32 = 9;
  double d = 9;
  EXPECT_EQ(GetJsonU8(json.root, "v", &u8), 1);
  EXPECT_EQ(u8, 44);
  EXPECT_EQ(GetJsonU16(json.root, "w", &u16), 1);
  EXPECT_EQ(u16, 70000 - 65536);
  EXPECT_EQ(GetJsonU32(json.root, "s", &u32), 0);
  EXPECT_EQ(u32, 0u);
  EXPECT_EQ(GetJsonDouble(json.root, "d", &d), 1);
  EXPECT_EQ(d, -2.5);
  EXPECT_EQ(GetJsonDouble(json.root, "s", &d), 0);
  EXPECT_EQ(d, 0.0);
}

TEST(GetJsonString, CopiesWithinTheBuffer) {
  std::string long_value(300, 'a');
  Json json(R"({"hostname":")" + long_value + R"(","empty":"","number":5})");
  char out[256];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(GetJsonString(json.root, "hostname", out, sizeof out), 1);
  EXPECT_EQ(std::string(out), std::string(255, 'a'));
  EXPECT_EQ(GetJsonString(json.root, "empty", out, sizeof out), 1);
  EXPECT_STREQ(out, "");
  std::strcpy(out, "old");
  EXPECT_EQ(GetJsonString(json.root, "number", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

TEST(GetJsonU8Array, StopsAtTheFirstElementThatIsNotANumber) {
  struct Case {
    const char* json;
    int result;
    uint8_t values[4];
  } cases[] = {
      {R"({"a":[1,2]})", 1, {1, 2, 0, 0}},
      {R"({"a":[1,"x",3]})", 0, {1, 0, 0, 0}},
      {R"({"a":[]})", 1, {0, 0, 0, 0}},
      {R"({"a":5})", 0, {0, 0, 0, 0}},
      {R"({"a":[1,2,3,4,5,6]})", 1, {1, 2, 3, 4}},
      {R"({"a":[256,-1]})", 1, {0, 255, 0, 0}},
  };
  for (const Case& c : cases) {
    Json json(c.json);
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(GetJsonU8Array(json.root, "a", out, 4), c.result) << c.json;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.values[i]) << c.json << " [" << i << "]";
  }
  Json json(R"({"a":[7,8]})");
  uint32_t wide[3] = {9, 9, 9};
  EXPECT_EQ(GetJsonU32Array(json.root, "a", wide, 3), 1);
  EXPECT_EQ(wide[1], 8u);
  EXPECT_EQ(wide[2], 0u);
}

TEST(JsonTreeHelpers, DetachCreateAndReplaceText) {
  Json json(R"({"a":1,"b":2,"c":"text"})");
  cJSON* a = cJSON_GetObjectItem(json.root, "a");
  DetachJsonChild(json.root, a);
  cJSON_Delete(a);
  EXPECT_EQ(cJSON_GetArraySize(json.root), 2);
  EXPECT_STREQ(json.root->child->string, "b");
  // The list stays well formed for appending after a detach.
  cJSON_AddNumberToObject(json.root, "d", 4);
  EXPECT_EQ(cJSON_GetObjectItem(json.root, "d")->valueint, 4);

  const uint8_t bytes[] = {0, 127, 255};
  cJSON* array = CreateJsonByteArray(bytes, 3);
  char* text = cJSON_PrintUnformatted(array);
  EXPECT_STREQ(text, "[0,127,255]");
  cJSON_free(text);
  cJSON_Delete(array);
  array = CreateJsonByteArray(bytes, 0);
  EXPECT_EQ(cJSON_GetArraySize(array), 0);
  cJSON_Delete(array);

  cJSON* c = cJSON_GetObjectItem(json.root, "c");
  EXPECT_EQ(SetJsonStringValue(c, "a much longer replacement text"), 1);
  EXPECT_STREQ(c->valuestring, "a much longer replacement text");
  EXPECT_EQ(SetJsonStringValue(cJSON_GetObjectItem(json.root, "b"), "x"), 0);
  EXPECT_EQ(SetJsonStringValue(nullptr, "x"), 0);
}

using JsonFile = testsupport::UnitRootFixture;

TEST_F(JsonFile, ReadReportsMissingAndEmptyFiles) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadJsonFile("/oem/none.json"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "file /oem/none.json not exits\n");

  Write("/oem/empty.json", "");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadJsonFile("/oem/empty.json"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "file len error\n");

  Write("/oem/cut.json", R"({"a":)");
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadJsonFile("/oem/cut.json"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  EXPECT_EQ(ReadJsonFile("/oem"), nullptr);  // a folder is no document
  EXPECT_EQ(ReadJsonFile(nullptr), nullptr);

  Write("/oem/good.json", R"({"a":[1,2]})");
  cJSON* root = ReadJsonFile("/oem/good.json");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(root, "a")), 2);
  cJSON_Delete(root);
}

TEST_F(JsonFile, WriteReportsEachFailureAndKeepsTheOldFile) {
  Json json(R"({"a":1})");
  EXPECT_EQ(WriteJsonFile(nullptr, "/oem/out.json", 1), JSON_WRITE_NULL);
  EXPECT_EQ(WriteJsonFile(json.root, nullptr, 1), JSON_WRITE_NULL);
  EXPECT_FALSE(Exists("/oem/out.json"));

  testing::internal::CaptureStdout();
  EXPECT_EQ(WriteJsonFile(json.root, "/nowhere/out.json", 1), JSON_WRITE_OPEN_FAILED);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "open file error\n");

  Write("/oem/out.json", "old");
  platform::FailWritesAfter(2);
  testing::internal::CaptureStdout();
  EXPECT_EQ(WriteJsonFile(json.root, "/oem/out.json", 0), JSON_WRITE_FAILED);
  testing::internal::GetCapturedStdout();
  platform::FailWritesAfter(-1);
  EXPECT_EQ(Read("/oem/out.json"), "old");

  EXPECT_EQ(WriteJsonFile(json.root, "/oem/out.json", 0), JSON_WRITE_OK);
  EXPECT_EQ(Read("/oem/out.json"), R"({"a":1})");
}

}  // namespace
