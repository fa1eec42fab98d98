// The interface information and the status documents as CApplication serves them.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/application.h"
#include "tests/support/unit_root.h"

namespace {

class StatusHandlersTest : public testsupport::UnitRootFixture {};

std::vector<std::string> Keys(const cJSON* object) {
  std::vector<std::string> keys;
  for (const cJSON* c = object ? object->child : nullptr; c; c = c->next) keys.push_back(c->string);
  return keys;
}

TEST_F(StatusHandlersTest, GetInfoAnswersTheFourAddressesAndIgnoresTheBody) {
  g_unit.identity.mac = "02:00:00:aa:bb:cc";
  CApplication app("appthread");
  for (const char* body : {"", "not json", "{\"comhead\":\"x\"}"}) {
    std::string reply = "stale";
    EXPECT_TRUE(app.HandleGetInfo(body, reply));
    cJSON* info = cJSON_Parse(reply.c_str());
    ASSERT_NE(info, nullptr) << reply;
    EXPECT_EQ(Keys(info),
              (std::vector<std::string>{"ipaddress", "subnet", "gateway", "macaddress"}));
    EXPECT_STREQ(cJSON_GetObjectItem(info, "ipaddress")->valuestring,
                 g_unit.net_status.ipaddress.c_str());
    EXPECT_STREQ(cJSON_GetObjectItem(info, "gateway")->valuestring,
                 g_unit.net_status.gateway.c_str());
    EXPECT_STREQ(cJSON_GetObjectItem(info, "macaddress")->valuestring, "02:00:00:aa:bb:cc");
    cJSON_Delete(info);
  }
  g_unit.identity.mac.clear();
}

TEST_F(StatusHandlersTest, StatusDocumentsOfTheLiveConfiguration) {
  g_unit.config.model = "VX7206";
  g_unit.config.tarvo_input_gain[7] = 9;
  CApplication app("appthread");
  std::string json, xml;
  EXPECT_TRUE(app.HandleGetJson("", "", 0, json));
  EXPECT_TRUE(app.HandleGetXml("", "", 0, xml));

  cJSON* doc = cJSON_Parse(json.c_str());
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Keys(doc),
            (std::vector<std::string>{"syssta", "websta", "input", "output", "preset", "peq"}));
  EXPECT_STREQ(cJSON_GetObjectItem(cJSON_GetObjectItem(doc, "syssta"), "devname")->valuestring,
               "VX7206");
  cJSON_Delete(doc);

  EXPECT_EQ(
      xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?><MATRIX><syssta><devname>VX7206<", 0),
      0u);
  EXPECT_NE(xml.find("<tarvo_input_gain>0,0,0,0,0,0,0,9</tarvo_input_gain>"), std::string::npos);
  g_unit.config = app_config_s();
}

// A stored file whose names hold control characters and more than a field takes: the load keeps
// the first 31 bytes as they are, and both documents stay well-formed.
TEST_F(StatusHandlersTest, NamesWithControlCharactersFromTheFile) {
  std::filesystem::create_directories(root_ + "/oem");
  const std::string long_name = "Stage\\u0001Left\\u001b" + std::string(40, 'x');
  {
    std::ofstream file(root_ + "/oem/app.json");
    file << R"({"input":{"input_name":[")" << long_name << R"("]}})";
  }
  std::string path;
  OpenAppConfig(path, "/oem/app.json", &g_unit.config, "", g_unit.config.type);
  EXPECT_EQ(std::string(g_unit.config.input_name[0]), "Stage\x01Left\x1b" + std::string(20, 'x'));
  CApplication app("appthread");
  std::string json, xml;
  app.HandleGetJson("", "", 0, json);
  app.HandleGetXml("", "", 0, xml);
  EXPECT_NE(json.find("\"Stage\\u0001Left\\u001bxxxx"), std::string::npos);
  EXPECT_NE(xml.find("<input_name>Stage\\u0001Left\\u001bxxxx"), std::string::npos)
      << xml.substr(0, 2000);
  EXPECT_EQ(xml.find_first_of(std::string("\x01\x1b", 2)), std::string::npos);
  g_unit.config = app_config_s();
}

}  // namespace
