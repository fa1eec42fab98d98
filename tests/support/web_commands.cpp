#include "tests/support/web_commands.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include "devctl/core/markers.h"
#include "devctl/web/web_commands.h"

namespace testsupport {

void WebCommandFixture::SetUp() {
  TextCommandFixture::SetUp();
  app_.FillCommandMap(g_web_commands, g_web_command_count);
}

std::string WebCommandFixture::Post(const std::string& body) {
  std::string reply;
  app_.HandleInstr(body.c_str(), reply);
  RunRebootAfterReply();
  return reply;
}

std::string WebCommandFixture::Members(const std::string& reply, bool* result) {
  cJSON* json = cJSON_Parse(reply.c_str());
  EXPECT_NE(json, nullptr) << reply;
  std::string members;
  for (const cJSON* c = json ? json->child : nullptr; c; c = c->next) {
    members += std::string(c->string) + "=";
    members += cJSON_IsString(c) ? std::string(c->valuestring) : std::to_string(c->valueint);
    members += ";";
  }
  if (result) {
    const cJSON* r = cJSON_GetObjectItem(json, "result");
    EXPECT_TRUE(cJSON_IsNumber(r)) << reply;
    *result = cJSON_IsNumber(r) && r->valueint == 1;
  }
  cJSON_Delete(json);
  return members;
}

std::string WebCommandFixture::Command(const std::string& body) { return Members(Post(body)); }

std::string WebCommandFixture::Result(const char* comhead, int result) {
  return std::string("comhead=") + comhead + ";result=" + std::to_string(result) + ";";
}

}  // namespace testsupport
