// The interface information and the status documents as CApplication serves them.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include "devctl/core/globals.h"
#include "devctl/web/application.h"
#include "unit_root.h"

namespace {

class StatusHandlersTest : public webtest::UnitRootTest {};

std::vector<std::string> Keys(const cJSON* object) {
  std::vector<std::string> keys;
  for (const cJSON* c = object ? object->child : nullptr; c; c = c->next) keys.push_back(c->string);
  return keys;
}

TEST_F(StatusHandlersTest, GetInfoAnswersTheFourAddressesAndIgnoresTheBody) {
  g_device_identity.mac = "02:00:00:aa:bb:cc";
  CApplication app("appthread");
  for (const char* body : {"", "not json", "{\"comhead\":\"x\"}"}) {
    std::string reply = "stale";
    EXPECT_TRUE(app.HandleGetInfo(body, reply));
    cJSON* info = cJSON_Parse(reply.c_str());
    ASSERT_NE(info, nullptr) << reply;
    EXPECT_EQ(Keys(info),
              (std::vector<std::string>{"ipaddress", "subnet", "gateway", "macaddress"}));
    EXPECT_STREQ(cJSON_GetObjectItem(info, "ipaddress")->valuestring,
                 g_net_status.ipaddress.c_str());
    EXPECT_STREQ(cJSON_GetObjectItem(info, "gateway")->valuestring, g_net_status.gateway.c_str());
    EXPECT_STREQ(cJSON_GetObjectItem(info, "macaddress")->valuestring, "02:00:00:aa:bb:cc");
    cJSON_Delete(info);
  }
  g_device_identity.mac.clear();
}

TEST_F(StatusHandlersTest, StatusDocumentsOfTheLiveConfiguration) {
  g_app_config.model = "VX7206";
  g_app_config.tarvo_input_gain[7] = 9;
  CApplication app("appthread");
  std::string json, xml;
  EXPECT_TRUE(app.HandleGetJson("", "", 0, json));
  EXPECT_TRUE(app.HandleGetXml("", "", 0, xml));

  cJSON* doc = cJSON_Parse(json.c_str());
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Keys(doc), (std::vector<std::string>{"syssta", "websta", "input", "output", "preset",
                                                 "peq"}));
  EXPECT_STREQ(cJSON_GetObjectItem(cJSON_GetObjectItem(doc, "syssta"), "devname")->valuestring,
               "VX7206");
  cJSON_Delete(doc);

  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?><MATRIX><syssta><devname>VX7206<",
                      0),
            0u);
  EXPECT_NE(xml.find("<tarvo_input_gain>0,0,0,0,0,0,0,9</tarvo_input_gain>"), std::string::npos);
  g_app_config = app_config_s();
}

}  // namespace
