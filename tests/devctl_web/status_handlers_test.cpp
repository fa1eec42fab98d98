// The interface information and the status documents as CApplication serves them.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "devctl/core/config_file.h"
#include "devctl/core/presets.h"
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

// True when text is UTF-8 as a strict JSON reader takes it: no stray or missing continuation
// byte, no overlong form, no surrogate, nothing above U+10FFFF.
bool IsStrictUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

// Names that a damaged or hand-edited file holds as broken UTF-8 (a stray byte, a cut sequence,
// an overlong form, a surrogate) come out of the load with U+FFFD in place of each bad byte, in
// app.json and in a preset file alike: the status document is strict JSON.
TEST_F(StatusHandlersTest, NamesWithBrokenUtf8FromTheFileAreReplaced) {
  const std::string stored =
      "{\"device\":{\"model\":\"VX\xff" "7206\"},"
      "\"input\":{\"input_name\":[\"In\xc3(1\",\"\xe2\x82\"]},"
      "\"output\":{\"output_name\":[\"Out\xc0\xaf\"]},"
      "\"peq\":{\"input_flat_date0\":{\"type_name\":[\"\xed\xa0\x80LOW\"]}},"
      "\"preset\":{\"preset_name\":[\"Stage \xe9t\xe9\"]}}";
  Write("/oem/app.json", stored);
  Write("/oem/app_preset1.json", stored);
  std::string path;
  OpenAppConfig(path, "/oem/app.json", &g_unit.config, "", g_unit.config.type);
  LoadPresetSlots();
  const std::string bad = "\xef\xbf\xbd";  // U+FFFD
  for (const app_config_s* cfg : {&g_unit.config, &g_unit.presets[0]}) {
    EXPECT_EQ(std::string(cfg->input_name[0]), "In" + bad + "(1");
    EXPECT_EQ(std::string(cfg->input_name[1]), bad + bad);
    EXPECT_EQ(std::string(cfg->output_name[0]), "Out" + bad + bad);
    EXPECT_EQ(std::string(cfg->input_flat_date[0].type_name[0]), bad + bad + bad + "LOW");
    EXPECT_EQ(std::string(cfg->preset_name[0]), "Stage " + bad + "t" + bad);
    EXPECT_EQ(cfg->model, "VX" + bad + "7206");
  }
  CApplication app("appthread");
  std::string json;
  app.HandleGetJson("", "", 0, json);
  const char* end = nullptr;
  cJSON* doc = cJSON_ParseWithOpts(json.c_str(), &end, 1);
  EXPECT_NE(doc, nullptr);
  cJSON_Delete(doc);
  EXPECT_TRUE(IsStrictUtf8(json));
  g_unit.config = app_config_s();
  g_unit.presets[0] = app_config_s();
}

}  // namespace
