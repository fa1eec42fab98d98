// The status document's members and order, its value texts, and its XML form.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "devctl/web/status_document.h"

namespace {

using JsonTree = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

JsonTree Tree(const app_config_s& cfg, const web::StatusFacts& facts = {}) {
  return JsonTree(web::BuildStatusTree(cfg, facts), cJSON_Delete);
}

std::vector<std::string> Keys(const cJSON* object) {
  std::vector<std::string> keys;
  for (const cJSON* c = object ? object->child : nullptr; c; c = c->next) keys.push_back(c->string);
  return keys;
}

std::string Text(const cJSON* root, const char* section, const char* key) {
  const cJSON* item =
      cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(root, section), key);
  return cJSON_IsString(item) ? item->valuestring : "<not a string>";
}

TEST(StatusDocumentTest, SectionsAndMembersInOrder) {
  app_config_s cfg;
  JsonTree root = Tree(cfg);
  EXPECT_EQ(Keys(root.get()),
            (std::vector<std::string>{"syssta", "websta", "input", "output", "preset", "peq"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root.get(), "syssta")),
            (std::vector<std::string>{"devname", "softver", "mcusubver", "netaudiover", "power",
                                      "powerled", "keylock", "front_lcd", "rs232", "standbytime",
                                      "standby_mode", "temp", "uptime"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root.get(), "websta")),
            (std::vector<std::string>{"dhcp", "ip", "sm", "gw", "hostname", "mac", "tcpip",
                                      "telnet", "telnetenable", "tcpportenable"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root.get(), "input")),
            (std::vector<std::string>{
                "analogue_input_gain", "analogue_input_stereo", "analogue_input_phantom",
                "analogue_input_mute", "tarvo_input_gain", "tarvo_input_stereo", "tarvo_input_mute",
                "usb_input_gain", "usb_input_mute", "usb_input_stereo", "group_input_gain",
                "group_input_stereo1", "group_input_stereo2", "group_input_stereo3",
                "group_input_stereo4", "group_input_mute", "input_name", "usb"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root.get(), "output")),
            (std::vector<std::string>{"control",
                                      "analogue_output_vol",
                                      "analogue_output_stereo",
                                      "analogue_output_mute",
                                      "analogue_output_delay",
                                      "tarvo_output_vol",
                                      "tarvo_output_stereo",
                                      "tarvo_output_mute",
                                      "tarvo_output_delay",
                                      "usb_output_vol",
                                      "usb_output_stereo",
                                      "usb_output_mute",
                                      "usb_output_delay",
                                      "group_output_vol",
                                      "group_output_mute",
                                      "group_output_stereo1",
                                      "group_output_stereo2",
                                      "group_output_stereo3",
                                      "group_output_stereo4",
                                      "output_name"}));
  EXPECT_EQ(Keys(cJSON_GetObjectItem(root.get(), "preset")),
            (std::vector<std::string>{"preset_recall", "enable", "name"}));

  std::vector<std::string> peq;
  for (const char* side : {"input", "output"}) {
    peq.push_back(std::string(side) + "_geq_chn");
    peq.push_back(std::string(side) + "_preset");
    peq.push_back(std::string(side) + "_stereo");
    for (const char* memory : {"flat", "custom1", "custom2"})
      for (int slot = 0; slot < 18; ++slot)
        peq.push_back(std::string(side) + "_" + memory + "_date" + std::to_string(slot));
  }
  const cJSON* peq_object = cJSON_GetObjectItem(root.get(), "peq");
  EXPECT_EQ(Keys(peq_object), peq);
  for (const cJSON* m = peq_object->child; m; m = m->next) {
    if (!cJSON_IsObject(m)) continue;
    EXPECT_EQ(Keys(m),
              (std::vector<std::string>{"bypass", "gain", "frequency", "quality", "type_name"}))
        << m->string;
  }
}

TEST(StatusDocumentTest, ArraysCarryTheConfiguration) {
  app_config_s cfg;
  cfg.analogue_input_gain[3] = -12;
  cfg.control[13] = 14;
  SetNameField(cfg.input_name[17], "Group four");
  cfg.output_custom2_date[17].quality[7] = 1.41f;
  SetNameField(cfg.output_custom2_date[17].type_name[7], "HIGH_SHELF");
  JsonTree root = Tree(cfg);
  const cJSON* input = cJSON_GetObjectItem(root.get(), "input");
  EXPECT_EQ(cJSON_GetArrayItem(cJSON_GetObjectItem(input, "analogue_input_gain"), 3)->valueint,
            -12);
  EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(input, "input_name")), 18);
  EXPECT_STREQ(cJSON_GetArrayItem(cJSON_GetObjectItem(input, "input_name"), 17)->valuestring,
               "Group four");
  const cJSON* output = cJSON_GetObjectItem(root.get(), "output");
  EXPECT_EQ(cJSON_GetArrayItem(cJSON_GetObjectItem(output, "control"), 13)->valueint, 14);
  const cJSON* eq =
      cJSON_GetObjectItem(cJSON_GetObjectItem(root.get(), "peq"), "output_custom2_date17");
  EXPECT_FLOAT_EQ(float(cJSON_GetArrayItem(cJSON_GetObjectItem(eq, "quality"), 7)->valuedouble),
                  1.41f);
  EXPECT_STREQ(cJSON_GetArrayItem(cJSON_GetObjectItem(eq, "type_name"), 7)->valuestring,
               "HIGH_SHELF");
}

TEST(StatusDocumentTest, ValueTexts) {
  struct Case {
    int value;
    const char* standby_mode;
    const char* on_off;
  } cases[] = {
      {0, "sleep", "off"}, {1, "standby", "on"}, {2, "standby", "on"}, {5, "standby", "on"}};
  for (const auto& c : cases) {
    app_config_s cfg;
    cfg.standby_mode = cfg.dhcp = cfg.telnet_enable = cfg.tcpportenable = c.value;
    JsonTree root = Tree(cfg);
    EXPECT_EQ(Text(root.get(), "syssta", "standby_mode"), c.standby_mode) << c.value;
    for (const char* key : {"dhcp", "telnetenable", "tcpportenable"})
      EXPECT_EQ(Text(root.get(), "websta", key), c.on_off) << key << " " << c.value;
  }

  struct Facts {
    int temperature;
    long uptime;
    const char* temp;
    const char* uptime_text;
  } facts[] = {{41, 90061, "41C", "0001:01:01:01"},
               {0, 0, "0C", "0000:00:00:00"},
               {-5, 86399, "-5C", "0000:23:59:59"},
               {80, 10000L * 86400, "80C", "10000:00:00:00"}};
  for (const auto& f : facts) {
    web::StatusFacts in;
    in.temperature = f.temperature;
    in.uptime_seconds = f.uptime;
    JsonTree root = Tree(app_config_s(), in);
    EXPECT_EQ(Text(root.get(), "syssta", "temp"), f.temp);
    EXPECT_EQ(Text(root.get(), "syssta", "uptime"), f.uptime_text);
  }
}

std::string XmlOf(const char* json) {
  JsonTree tree(cJSON_Parse(json), cJSON_Delete);
  return web::StatusXmlText(tree.get());
}

TEST(StatusDocumentTest, XmlConversion) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?><MATRIX>";
  struct Case {
    const char* json;
    std::string body;
    const char* why;
  } cases[] = {
      {"{\"name\":[\"a\",\"b\",\"c\"]}", "<name>a,b,c</name>", "names joined, no trailing comma"},
      {"{\"name\":[]}", "<name></name>", "empty array gives an empty text"},
      {"{\"name\":[\"\",\"\"]}", "<name>,</name>", "empty names still separated"},
      {"{\"gain\":[-3.5,0.5,-0.5,1.41]}", "<gain>-3,0,0,1</gain>", "fractions cut toward zero"},
      {"{\"v\":-3.5}", "<v>-3</v>", "a single number"},
      {"{\"big\":1e12}", "<big>2147483647</big>", "beyond 32 bits saturates"},
      {"{\"n\":\"a<&>\\\"b\"}", "<n>a&lt;&amp;&gt;&quot;b</n>", "markup escaped"},
      {"{\"s\":{\"t\":\"x\",\"u\":{}}}", "<s><t>x</t><u /></s>", "objects nest"},
      {"{\"b\":true,\"z\":null}", "<b /><z />", "true and null stay empty"},
      {"{\"list\":[1,{\"k\":2},3]}", "<list><k>2</k>1,3</list>", "object elements nest"},
      // XML 1.0 has no form for most control characters: they are written as JSON shows them.
      {"{\"n\":\"a\\u0001b\\u001f\\tc\"}", "<n>a\\u0001b\\u001f\tc</n>", "control characters"},
      {"{\"n\":[\"x\\u0007\",\"y\"]}", "<n>x\\u0007,y</n>", "control character in an array"},
      {"{\"n\":\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5\"}",
       "<n>\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5</n>", "well-formed UTF-8 stays"},
      {"{\"n\":\"a\xff\xc3(\xef\xbf\xbe\xed\xa0\x80\"}",
       "<n>a\\u00ff\\u00c3(\\u00ef\\u00bf\\u00be\\u00ed\\u00a0\\u0080</n>",
       "bytes that are no allowed UTF-8 character"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlOf(c.json), head + c.body + "</MATRIX>\n") << c.why;
  }
}

// A name from a stored file may hold anything; the document stays well-formed XML.
TEST(StatusDocumentTest, NamesFromAFileNeverBreakTheXml) {
  app_config_s cfg;
  std::string name;
  for (int c = 1; c < 256; ++c) name += static_cast<char>(c);
  SetNameField(cfg.input_name[0], name.c_str());
  SetNameField(cfg.output_name[17], name.c_str() + 100);
  SetNameField(cfg.input_flat_date[3].type_name[2], "\x01\x02");
  JsonTree root = Tree(cfg);
  const std::string xml = web::StatusXmlText(root.get());
  for (size_t i = 0; i < xml.size();) {
    const unsigned char c = static_cast<unsigned char>(xml[i]);
    ASSERT_TRUE(c >= 0x20 || c == '\n' || c == '\t' || c == '\r')
        << "byte " << int(c) << " at " << i;
    size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    ASSERT_TRUE(c < 0x80 || c >= 0xC2) << "not UTF-8 at " << i;
    for (size_t k = 1; k < len; ++k) {
      ASSERT_LT(i + k, xml.size());
      ASSERT_EQ(static_cast<unsigned char>(xml[i + k]) & 0xC0, 0x80) << "not UTF-8 at " << i;
    }
    i += len;
  }
  EXPECT_NE(xml.find("<input_name>\\u0001\\u0002"), std::string::npos);
}

// A carriage return in a stored name reaches an XML reader as itself, not as a line feed.
TEST(StatusDocumentTest, CarriageReturnIsACharacterReference) {
  app_config_s cfg;
  SetNameField(cfg.input_name[0], "A\rB");
  JsonTree root = Tree(cfg);
  const std::string xml = web::StatusXmlText(root.get());
  EXPECT_EQ(xml.find('\r'), std::string::npos);
  EXPECT_NE(xml.find("A&#13;B"), std::string::npos);
}

TEST(StatusDocumentTest, WholeXmlDocumentHasNoLineBreaks) {
  app_config_s cfg;
  for (int i = 0; i < 18; ++i) SetNameField(cfg.input_name[i], "A rather long channel name");
  JsonTree root = Tree(cfg);
  std::string xml = web::StatusXmlText(root.get());
  EXPECT_GT(xml.size(), 10000u);
  EXPECT_EQ(xml.find('\n'), xml.size() - 1);
  EXPECT_EQ(xml.rfind("</MATRIX>\n"), xml.size() - 10);
}

}  // namespace
