// The web preset commands through CApplication::HandleInstr, and presets crossing between the web
// and the text port.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/presets.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/hardware/power.h"
#include "devctl/hardware/power_state.h"
#include "devctl/text/dispatcher.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/sim_sysfs.h"
#include "platform/storage.h"
#include "tests/support/eq_design.h"
#include "tests/support/web_commands.h"

namespace {

class WebPresets : public testsupport::WebCommandFixture {
 protected:
  WebPresets() : WebCommandFixture(SystemLines()) {}
  void SetUp() override {
    WebCommandFixture::SetUp();
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  }
};

TEST_F(WebPresets, NumbersOutsideThePresetsAreRefused) {
  const long saves = Saves();
  for (const char* body :
       {"{\"comhead\":\"delete preset\",\"chn\":0}", "{\"comhead\":\"delete preset\",\"chn\":9}",
        "{\"comhead\":\"set preset save\",\"preset\":-1}",
        "{\"comhead\":\"set preset recall\",\"preset\":9}",
        "{\"comhead\":\"set preset recall\",\"preset\":4}",  // not enabled
        "{\"comhead\":\"set preset name\",\"chn\":2}",       // no name
        "{\"comhead\":\"set preset name\",\"chn\":2,\"name\":\"a\\nb\"}",
        "{\"comhead\":\"set preset name\",\"chn\":2,\"name\":\"\\u001b[2J\"}",
        "{\"comhead\":\"set preset name\",\"chn\":9,\"name\":\"Hall\"}"}) {
    std::string reply = Command(body);
    EXPECT_NE(reply.find("result=0;"), std::string::npos) << body;
  }
  EXPECT_EQ(notices(), "");
  EXPECT_EQ(Saves(), saves);
  EXPECT_FALSE(RecallWritesPending());
  EXPECT_STREQ(g_unit.config.preset_name[1], "Preset 2");
}

TEST_F(WebPresets, NameIsCutToTheFieldAtACharacter) {
  EXPECT_EQ(Command("{\"comhead\":\"set preset name\",\"chn\":2,\"name\":\"Lobby A\"}"),
            Result("set preset name", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Set preset 2 with the name Lobby A.\r\n");
  EXPECT_STREQ(Saved().preset_name[1], "Lobby A");
  ClearNotices();
  // 30 ASCII bytes and a two-byte character: the character does not fit in 31 bytes.
  const std::string longer = std::string(30, 'x') + "\xc3\xbc" + "yyyyyyyy";
  EXPECT_EQ(Command("{\"comhead\":\"set preset name\",\"chn\":3,\"name\":\"" + longer + "\"}"),
            Result("set preset name", 1));
  EXPECT_EQ(std::string(g_unit.config.preset_name[2]), std::string(30, 'x'));
  // "chn" 3.7 names preset 3; an empty name is stored empty.
  ClearNotices();
  EXPECT_EQ(Command("{\"comhead\":\"set preset name\",\"chn\":3.7,\"name\":\"\"}"),
            Result("set preset name", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Set preset 3 with the name .\r\n");
}

TEST_F(WebPresets, SaveRecallAndDelete) {
  g_unit.config.usb_output_vol[0] = 33;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  const std::string on_disk = Read("/oem/app.json");
  EXPECT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":2}"),
            Result("set preset save", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Save current config to preset 2.\r\n");
  EXPECT_EQ(Read("/oem/app_preset2.json"), on_disk);
  EXPECT_EQ(Saved().preset_enable[1], 1);

  g_unit.config.usb_output_vol[0] = 70;
  ClearNotices();
  EXPECT_EQ(Command("{\"comhead\":\"set preset recall\",\"preset\":2}"),
            Result("set preset recall", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Recall preset 2 to the current setting. \r\n");
  EXPECT_EQ(g_unit.config.usb_output_vol[0], 33);
  EXPECT_EQ(Saved().usb_output_vol[0], 33);
  EXPECT_TRUE(RecallWritesPending());
  PowerWorkerPass();
  EXPECT_FALSE(RecallWritesPending());

  // Deleting another preset keeps the current one.
  ClearNotices();
  EXPECT_EQ(Command("{\"comhead\":\"delete preset\",\"chn\":5}"), Result("delete preset", 1));
  EXPECT_EQ(notices(), "[SUCCESS]Delete preset 5 from the system.\r\n");
  EXPECT_EQ(g_unit.config.preset_recall, 2);
  EXPECT_EQ(Command("{\"comhead\":\"delete preset\",\"chn\":2}"), Result("delete preset", 1));
  EXPECT_EQ(g_unit.config.preset_recall, 0);
  EXPECT_FALSE(Exists("/oem/app_preset2.json"));
  EXPECT_EQ(Saved().preset_enable[1], 0);
}

TEST_F(WebPresets, FailedSaveAnswersZeroAndKeepsTheSavedPreset) {
  ASSERT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":6}"),
            Result("set preset save", 1));
  const std::string preset_file = Read("/oem/app_preset6.json");
  platform::FailWritesAfter(0);  // no file can be written
  ClearNotices();
  for (int n : {6, 3}) {
    EXPECT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":" + std::to_string(n) + "}"),
              Result("set preset save", 0));
  }
  platform::FailWritesAfter(-1);
  EXPECT_EQ(notices(), "");
  EXPECT_EQ(g_unit.config.preset_enable[5], 1);
  EXPECT_EQ(Read("/oem/app_preset6.json"), preset_file);
  EXPECT_EQ(g_unit.config.preset_enable[2], 0);
  EXPECT_FALSE(Exists("/oem/app_preset3.json"));
  // Without its file the enabled preset answers 0 to a recall and nothing changes.
  ASSERT_EQ(std::remove(platform::Path("/oem/app_preset6.json").c_str()), 0);
  EXPECT_EQ(Command("{\"comhead\":\"set preset recall\",\"preset\":6}"),
            Result("set preset recall", 0));
  EXPECT_FALSE(RecallWritesPending());
  EXPECT_EQ(g_unit.config.preset_recall, 0);
}

TEST_F(WebPresets, ASaveAfterARecallStoresTheRecalledState) {
  g_unit.config.usb_output_vol[1] = 21;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  ASSERT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":5}"),
            Result("set preset save", 1));
  g_unit.config.usb_output_vol[1] = 88;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  // The worker has not made the recall heard yet when the save comes: the record and its file
  // hold the recall already.
  ASSERT_EQ(Command("{\"comhead\":\"set preset recall\",\"preset\":5}"),
            Result("set preset recall", 1));
  ASSERT_EQ(Run("preset 6 save\r"), "[SUCCESS]Save current config to preset 6.\r\n");
  EXPECT_EQ(g_unit.config.usb_output_vol[1], 21);
  EXPECT_EQ(g_unit.presets[5].usb_output_vol[1], 21);
}

// The recall's save is its command's: a failed one answers 0 and is told after the recall's line
// (text and web); the worker's pass saves nothing.
TEST_F(WebPresets, AFailedRecallSaveIsToldToThePorts) {
  ASSERT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":1}"),
            Result("set preset save", 1));
  ClearNotices();
  platform::FailWritesAfter(0);
  EXPECT_EQ(Command("{\"comhead\":\"set preset recall\",\"preset\":1}"),
            "comhead=set preset recall;result=0;error=settings not saved;");
  EXPECT_EQ(notices(),
            "[SUCCESS]Recall preset 1 to the current setting. \r\n"
            "[ERROR]Settings could not be saved.\r\n");
  EXPECT_EQ(Run("preset 1 apply\r"),
            "[SUCCESS]Recall preset 1 to the current setting.\r\n"
            "[ERROR]Settings could not be saved.\r\n");
  platform::FailWritesAfter(-1);
  ClearNotices();
  const long saves = Saves();
  PowerWorkerPass();
  EXPECT_EQ(notices(), "");
  EXPECT_EQ(Saves(), saves);
}

TEST_F(WebPresets, ADeleteStoppedAtAnyStepLeavesTheOldPresetOrADisabledOne) {
  ASSERT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":4}"),
            Result("set preset save", 1));
  // The steps of one delete's writes; a stop after the last one is a stop before the file goes.
  std::vector<platform::WriteStep> steps;
  platform::SetWriteStepHook([&](platform::WriteStep step) { steps.push_back(step); });
  ASSERT_EQ(Command("{\"comhead\":\"delete preset\",\"chn\":4}"), Result("delete preset", 1));
  platform::SetWriteStepHook(nullptr);
  ASSERT_FALSE(steps.empty());
  for (size_t kill_at = 0; kill_at <= steps.size(); ++kill_at) {
    SCOPED_TRACE("stopped at step " + std::to_string(kill_at));
    ASSERT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":4}"),
              Result("set preset save", 1));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      size_t step = 0;
      platform::SetWriteStepHook([&](platform::WriteStep) {
        if (step++ == kill_at) raise(SIGKILL);
      });
      std::string reply;
      app_.HandleInstr("{\"comhead\":\"delete preset\",\"chn\":4}", reply);
      raise(SIGKILL);  // the last stop: everything written, nothing after
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    const bool enabled = Saved().preset_enable[3] != 0;
    if (enabled) {
      app_config_s preset;
      EXPECT_TRUE(LoadAppConfigFile("/oem/app_preset4.json", "/oem/app_preset4.json", &preset,
                                    "02:00:00:00:00:01", "TRX"))
          << "an enabled preset has its file";
    }
  }
  // And the delete that ran to its end.
  ASSERT_EQ(Command("{\"comhead\":\"delete preset\",\"chn\":4}"), Result("delete preset", 1));
  EXPECT_EQ(Saved().preset_enable[3], 0);
  EXPECT_FALSE(Exists("/oem/app_preset4.json"));
}

TEST_F(WebPresets, SavedOnTheWebRecalledOnTheTextPortAndTheReverse) {
  g_unit.config.analogue_input_gain[3] = 12;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  ASSERT_EQ(Command("{\"comhead\":\"set preset save\",\"preset\":1}"),
            Result("set preset save", 1));
  g_unit.config.analogue_input_gain[3] = -3;
  EXPECT_EQ(Run("preset 1 apply\r"), "[SUCCESS]Recall preset 1 to the current setting.\r\n");
  PowerWorkerPass();
  EXPECT_EQ(g_unit.config.analogue_input_gain[3], 12);

  g_unit.config.tarvo_output_vol[7] = 12;
  ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
  ASSERT_EQ(Run("preset 7 save\r"), "[SUCCESS]Save current config to preset 7.\r\n");
  g_unit.config.tarvo_output_vol[7] = 99;
  ASSERT_EQ(Command("{\"comhead\":\"set preset recall\",\"preset\":7}"),
            Result("set preset recall", 1));
  PowerWorkerPass();
  EXPECT_EQ(g_unit.config.tarvo_output_vol[7], 12);
  EXPECT_EQ(Saved().preset_recall, 7);
}

// A command sent right after a recall (before the worker's pass) is what the record, the file and
// the board end with; a delete of the preset after its recall keeps what was recalled.
TEST_F(WebPresets, WhatFollowsARecallStands) {
  const std::string peq =
      R"({"comhead":"set peq","action":1,"chn":0,"preset":1,"id":1,"frequency":200,"gain":-3,)"
      R"("quality":0.7,"type":"LOW_SHELF"})";
  const struct {
    std::vector<std::string> after;
    int volume;
    float band_gain;
  } cases[] = {
      {{R"({"comhead":"set output vol","action":0,"chn":0,"vol":50})", peq}, 50, -3.0f},
      {{R"({"comhead":"delete preset","chn":5})"}, 90, 5.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after.front());
    // Preset 5: output 1 at 90, its Custom1 band 2 at 5 dB.
    g_unit.config.analogue_output_vol[0] = 90;
    g_unit.config.output_preset[0] = g_unit.config.output_preset[1] = 1;
    g_unit.config.output_custom1_date[0].gain[1] = 5.0f;
    ASSERT_TRUE(SaveAppConfig(g_unit.config_path, &g_unit.config));
    ASSERT_EQ(Command(R"({"comhead":"set preset save","preset":5})"), Result("set preset save", 1));
    ASSERT_EQ(Command(R"({"comhead":"set output vol","action":0,"chn":0,"vol":20})"),
              Result("set output vol", 1));
    g_unit.config.output_custom1_date[0].gain[1] = 0.0f;

    ASSERT_EQ(Command(R"({"comhead":"set preset recall","preset":5})"),
              Result("set preset recall", 1));
    for (const std::string& body : c.after) {
      ASSERT_NE(Command(body).find(";result=1;"), std::string::npos) << body;
    }
    PowerWorkerPass();

    const app_config_s saved = Saved();
    EXPECT_EQ(g_unit.config.analogue_output_vol[0], c.volume);
    EXPECT_EQ(saved.analogue_output_vol[0], c.volume);
    EXPECT_EQ(VolumeCell(0), DspOutputVolumeWord(c.volume));
    EXPECT_FLOAT_EQ(g_unit.config.output_custom1_date[0].gain[1], c.band_gain);
    EXPECT_FLOAT_EQ(saved.output_custom1_date[0].gain[1], c.band_gain);
    EXPECT_TRUE(eqtest::PlaysRecord(board(), EQ_SIDE_OUTPUT, 0));
  }
}

}  // namespace
