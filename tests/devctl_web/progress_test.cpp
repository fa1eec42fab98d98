// "get upgrade status" and "GetUpgradeFW" through the web command table: the figure over time,
// the end of the installation with its reboot request, and the requests that name no upgrade.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "devctl/web/web_upgrade_handlers.h"
#include "tests/support/upload_fixture.h"

namespace uploadtest {
namespace {

struct Progress {
  std::vector<std::string> keys;
  std::string comhead;
  int upgrade_type = -1;
  int status = -1;
};

class UpgradeProgressTest : public UploadTest {
 protected:
  void SetUp() override {
    UploadTest::SetUp();
    app_.FillCommandMap(g_web_commands, g_web_command_count);
  }

  Progress Poll(const std::string& body) {
    std::string reply;
    EXPECT_TRUE(app_.HandleInstr(body.c_str(), reply)) << body;
    Progress p;
    cJSON* json = cJSON_Parse(reply.c_str());
    for (const cJSON* c = json ? json->child : nullptr; c; c = c->next) p.keys.push_back(c->string);
    const cJSON* comhead = cJSON_GetObjectItem(json, "comhead");
    if (cJSON_IsString(comhead)) p.comhead = comhead->valuestring;
    const cJSON* type = cJSON_GetObjectItem(json, "upgrade_type");
    if (cJSON_IsNumber(type)) p.upgrade_type = type->valueint;
    const cJSON* status = cJSON_GetObjectItem(json, "status");
    if (cJSON_IsNumber(status)) p.status = status->valueint;
    cJSON_Delete(json);
    return p;
  }
  Progress PollType(int type) {
    return Poll("{\"comhead\":\"get upgrade status\",\"type\":" + std::to_string(type) + "}");
  }

  // A package of the type staged now, its marker in place.
  void Staged(int type) {
    if (type == 1) {
      MarkAppStaged();
      PutUnitFile("/oem/upgrade_app", "1");
    } else {
      MarkNetaudioStaged();
      PutUnitFile("/tmp/upgrade_netaudio", "1");
    }
  }

  bool RebootRequested() { return UnitFile("/tmp/reboot") == "1"; }

  CApplication app_{"appthread"};
};

TEST_F(UpgradeProgressTest, TheFigureGrowsWithTimeAndStopsAt99) {
  struct Case {
    int type;
    int seconds;
    int status;
  } cases[] = {
      {1, 0, 0}, {1, 6, 50}, {1, 11, 91}, {1, 12, 99}, {1, 300, 99},
      {2, 0, 0}, {2, 7, 35}, {2, 19, 95}, {2, 20, 99}, {2, 86400 * 400, 99},
  };
  for (const auto& c : cases) {
    Staged(c.type);
    clock_.Advance(int64_t(c.seconds) * 1000000);
    Progress p = PollType(c.type);
    EXPECT_EQ(p.keys, (std::vector<std::string>{"comhead", "upgrade_type", "status"}));
    EXPECT_EQ(p.comhead, "get upgrade status");
    EXPECT_EQ(p.upgrade_type, 1) << c.type << " after " << c.seconds << " s";
    EXPECT_EQ(p.status, c.status) << c.type << " after " << c.seconds << " s";
  }
  EXPECT_FALSE(RebootRequested());
}

TEST_F(UpgradeProgressTest, AClockMovedBackNeverGivesANegativeFigure) {
  Staged(1);
  Staged(2);
  clock_.Advance(-10 * 1000000);
  EXPECT_EQ(PollType(1).status, 0);
  EXPECT_EQ(PollType(2).status, 0);
}

TEST_F(UpgradeProgressTest, TheRemovedMarkerEndsTheUpgradeWithAReboot) {
  for (int type : {1, 2}) {
    fs::remove(root_ + "/tmp/reboot");
    Staged(type);
    clock_.Advance(3 * 1000000);
    EXPECT_LT(PollType(type).status, 99);
    EXPECT_FALSE(RebootRequested());
    fs::remove(root_ + (type == 1 ? "/oem/upgrade_app" : "/tmp/upgrade_netaudio"));
    Progress p = PollType(type);
    EXPECT_EQ(p.upgrade_type, 1);
    EXPECT_EQ(p.status, 100);
    EXPECT_TRUE(RebootRequested()) << type;
    // Every later poll asks again.
    fs::remove(root_ + "/tmp/reboot");
    EXPECT_EQ(PollType(type).status, 100);
    EXPECT_TRUE(RebootRequested()) << type;
  }
}

TEST_F(UpgradeProgressTest, RequestsThatNameNoStagedUpgradeAnswerZero) {
  // Markers left from before devctl started do not count.
  PutUnitFile("/oem/upgrade_app", "1");
  PutUnitFile("/tmp/upgrade_netaudio", "1");
  const char* bodies[] = {
      "{\"comhead\":\"get upgrade status\",\"type\":1}",
      "{\"comhead\":\"get upgrade status\",\"type\":2}",
      "{\"comhead\":\"get upgrade status\",\"type\":3}",
      "{\"comhead\":\"get upgrade status\"}",
      "{\"comhead\":\"get upgrade status\",\"type\":\"1\"}",
  };
  for (const char* body : bodies) {
    Progress p = Poll(body);
    EXPECT_EQ(p.upgrade_type, 0) << body;
    EXPECT_EQ(p.status, 0) << body;
  }
  Staged(1);
  for (const char* body : {bodies[2], bodies[3], bodies[4]}) {
    Progress p = Poll(body);
    EXPECT_EQ(p.upgrade_type, 0) << body;
    EXPECT_EQ(p.status, 0) << body;
  }
  // Staged, but the marker gone: only a poll of that type reboots.
  fs::remove(root_ + "/oem/upgrade_app");
  EXPECT_EQ(PollType(2).status, 0);
  EXPECT_FALSE(RebootRequested());
}

TEST_F(UpgradeProgressTest, GetUpgradeFwAnswers17) {
  std::string reply;
  EXPECT_TRUE(app_.HandleInstr("{\"comhead\":\"GetUpgradeFW\",\"x\":1}", reply));
  EXPECT_EQ(reply, "{\n\t\"comhead\":\t\"GetUpgradeFW\",\n\t\"percent\":\t17\n}");
}

TEST_F(UpgradeProgressTest, AnswersWithAnEmptyComheadWhenTheRequestHasNone) {
  // The frame only calls a handler for a request with a "comhead"; called directly without one,
  // the handlers still answer.
  cJSON* request = cJSON_Parse("{\"type\":1}");
  WebAnswer status;
  EXPECT_TRUE(WebGetUpgradeStatus(request, status));
  EXPECT_EQ(status.reply, "{\n\t\"comhead\":\t\"\",\n\t\"upgrade_type\":\t0,\n\t\"status\":\t0\n}");
  WebAnswer fw;
  EXPECT_TRUE(WebGetUpgradeFw(request, fw));
  EXPECT_EQ(fw.reply, "{\n\t\"comhead\":\t\"\",\n\t\"percent\":\t17\n}");
  EXPECT_FALSE(status.save || status.set_result || fw.save || fw.set_result);
  EXPECT_TRUE(status.notice.empty() && fw.notice.empty());
  cJSON_Delete(request);
}

}  // namespace
}  // namespace uploadtest
