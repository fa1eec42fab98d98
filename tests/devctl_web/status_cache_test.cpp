// The status documents with their configuration sections printed once per configuration
// generation: the same bytes as a build from nothing, the volatile sections fresh every time.
#include "devctl/web/status_cache.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/application.h"
#include "devctl/web/json_members.h"
#include "tests/support/unit_root.h"

namespace {

using JsonTree = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

std::string FreshJson(const app_config_s& cfg, const web::StatusFacts& facts) {
  JsonTree tree(web::BuildStatusTree(cfg, facts), cJSON_Delete);
  std::string out;
  web::PrintJsonReply(tree.get(), out);
  return out;
}

std::string FreshXml(const app_config_s& cfg, const web::StatusFacts& facts) {
  JsonTree tree(web::BuildStatusTree(cfg, facts), cJSON_Delete);
  return web::StatusXmlText(tree.get());
}

// A record with values in every kind of member, names with markup and control characters.
app_config_s VariedConfig() {
  app_config_s cfg;
  ResetAppConfig("", &cfg, "02:00:00:00:00:01");
  cfg.model = "VX<7206>&";
  cfg.tarvo_input_gain[3] = -12;
  cfg.output_custom2_date[17].gain[7] = -3.5f;
  cfg.input_flat_date[0].quality[0] = 1.41f;
  SetNameField(cfg.input_name[4], "Lectern \x01 & <mic>");
  SetNameField(cfg.preset_name[7], "\xc3\xa9t\xc3\xa9");
  return cfg;
}

TEST(StatusCacheTest, SameBytesAsAFreshBuild) {
  web::StatusCache cache;
  app_config_s cfg = VariedConfig();
  web::StatusFacts facts;
  facts.main_version = "V2.0";
  facts.ip = "10.0.0.5";
  facts.temperature = 41;
  facts.uptime_seconds = 90061;
  for (int round = 0; round < 2; ++round) {  // printed, then from the cache
    EXPECT_EQ(cache.Json(cfg, 7, facts), FreshJson(cfg, facts)) << round;
    EXPECT_EQ(cache.Xml(cfg, 7, facts), FreshXml(cfg, facts)) << round;
  }
  EXPECT_EQ(cache.config_builds(), 2);  // once per form

  // Uptime, temperature and addresses change by themselves: shown at once, nothing reprinted.
  facts.uptime_seconds += 5;
  facts.temperature = 44;
  facts.ip = "10.0.0.6";
  EXPECT_EQ(cache.Json(cfg, 7, facts), FreshJson(cfg, facts));
  EXPECT_EQ(cache.Xml(cfg, 7, facts), FreshXml(cfg, facts));
  EXPECT_EQ(cache.config_builds(), 2);

  // A change comes with a new generation.
  cfg.output_flat_date[9].frequency[2] = 12345;
  SetNameField(cfg.output_name[0], "Foyer");
  EXPECT_EQ(cache.Json(cfg, 8, facts), FreshJson(cfg, facts));
  EXPECT_EQ(cache.Xml(cfg, 8, facts), FreshXml(cfg, facts));
  EXPECT_EQ(cache.config_builds(), 4);
}

class LiveStatusCacheTest : public testsupport::UnitRootFixture {
 protected:
  void TearDown() override {
    g_unit.config = app_config_s();
    testsupport::UnitRootFixture::TearDown();
  }
};

// Every change to the live record is made under the configuration lock, and releasing it starts
// a new generation: the next document shows the change.
TEST_F(LiveStatusCacheTest, ADocumentAfterAChangeShowsIt) {
  {
    ConfigLock lock;
    g_unit.config = VariedConfig();
  }
  CApplication app("appthread");
  std::string before, again, after, xml;
  app.HandleGetJson("", "", 0, before);
  app.HandleGetJson("", "", 0, again);
  // The configuration sections; the uptime before them may have moved on a second.
  auto config_part = [](const std::string& doc) { return doc.substr(doc.find("\"input\"")); };
  EXPECT_EQ(config_part(before), config_part(again));
  {
    ConfigLock lock;
    g_unit.config.group_output_vol[3] = 77;
  }
  app.HandleGetJson("", "", 0, after);
  app.HandleGetXml("", "", 0, xml);
  JsonTree doc(cJSON_Parse(after.c_str()), cJSON_Delete);
  ASSERT_NE(doc, nullptr);
  const cJSON* vol =
      cJSON_GetObjectItem(cJSON_GetObjectItem(doc.get(), "output"), "group_output_vol");
  EXPECT_EQ(cJSON_GetArrayItem(vol, 3)->valueint, 77);
  EXPECT_NE(xml.find("<group_output_vol>50,50,50,77</group_output_vol>"), std::string::npos)
      << xml.substr(0, 400);
}

}  // namespace
