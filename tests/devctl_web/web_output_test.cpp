// The web commands of the outputs, routing, links, groups and names on the simulated board: the
// request in, the reply members, the configuration, the DSP writes in order, the notice for the
// control ports and the save.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/clock.h"
#include "tests/support/web_commands.h"

namespace {

using Log = std::vector<std::string>;

class WebOutputTest : public testsupport::WebCommandFixture {
 protected:
  // The reply members as "name=value;", the bus log and the notices starting afresh.
  std::string Command(const std::string& body) {
    platform::sim_i2c().ClearTransfers();
    ClearNotices();
    return WebCommandFixture::Command(body);
  }
  static std::string Ok(const char* comhead) {
    return std::string("comhead=") + comhead + ";result=1;";
  }
  static std::string Refused(const char* comhead) {
    return std::string("comhead=") + comhead + ";result=0;";
  }
};

const std::string kPowerOn = "[SUCCESS]Set system power on, please wait a moment...\r\n";

std::string Vol(int action, int chn, int vol) {
  return "{\"comhead\":\"set output vol\",\"action\":" + std::to_string(action) +
         ",\"chn\":" + std::to_string(chn) + ",\"vol\":" + std::to_string(vol) + "}";
}
std::string Mute(int action, int chn, int mute) {
  return "{\"comhead\":\"set output mute\",\"action\":" + std::to_string(action) +
         ",\"chn\":" + std::to_string(chn) + ",\"mute\":" + std::to_string(mute) + "}";
}

TEST_F(WebOutputTest, VolumeAndItsMute) {
  const struct {
    int stored_vol, stored_mute, vol;
    Log dsp;
  } cases[] = {
      {30, 0, 0, {"vol 2=0", "mute 2"}},
      {30, 1, 30, {"vol 2=30", "unmute 2"}},
      {30, 1, 0, {"vol 2=0"}},
      {30, 0, 30, {"vol 2=30"}},  // the same value is written again
  };
  for (const auto& c : cases) {
    g_unit.config.analogue_output_vol[2] = c.stored_vol;
    g_unit.config.analogue_output_mute[2] = c.stored_mute;
    g_unit.config.group_output_stereo4[2] = 1;
    EXPECT_EQ(Command(Vol(0, 2, c.vol)), Ok("set output vol"));
    EXPECT_EQ(DspLog(), c.dsp) << c.vol;
    EXPECT_EQ(notices(),
              "[SUCCESS]Set analogue output CH3 volume to " + std::to_string(c.vol) + ".\r\n");
    EXPECT_EQ(g_unit.config.analogue_output_mute[2], c.vol == 0 ? 1 : 0);
    EXPECT_EQ(g_unit.config.group_output_stereo4[2], 0);
  }
  EXPECT_EQ(Saves(), 4);

  // Mute off at volume 0 leaves the volume at 0.
  g_unit.config.analogue_output_vol[2] = 0;
  g_unit.config.analogue_output_mute[2] = 1;
  EXPECT_EQ(Command(Mute(0, 2, 0)), Ok("set output mute"));
  EXPECT_EQ(DspLog(), (Log{"unmute 2"}));
  EXPECT_EQ(g_unit.config.analogue_output_vol[2], 0);
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue output CH3 mute off.\r\n");

  EXPECT_EQ(Command(Vol(1, 7, 100)), Ok("set output vol"));
  EXPECT_EQ(notices(), "[SUCCESS]Set tarvo output CH8 volume to 100.\r\n");
  EXPECT_EQ(Command(Mute(2, 0, 1)), Ok("set output mute"));
  EXPECT_EQ(notices(), "[SUCCESS]Set USB output left mute on.\r\n");
}

TEST_F(WebOutputTest, LinkedPairFromEitherChannel) {
  g_unit.config.tarvo_output_stereo[0] = 1;
  for (int chn : {0, 1}) {
    EXPECT_EQ(Command(Vol(1, chn, 20)), Ok("set output vol"));
    EXPECT_EQ(notices(),
              "[SUCCESS]Set tarvo output CH1 volume to 20.\r\n"
              "[SUCCESS]Set tarvo output CH2 volume to 20.\r\n");
    EXPECT_EQ(DspLog(), (Log{"vol 4=20", "vol 5=20"}));
  }
}

TEST_F(WebOutputTest, GroupVolumeAndMute) {
  g_unit.config.group_output_stereo2[1] = 1;
  g_unit.config.group_output_stereo2[12] = 1;
  g_unit.config.group_output_stereo2[13] = 1;
  EXPECT_EQ(Command(Vol(3, 1, 0)), Ok("set output vol"));
  EXPECT_EQ(notices(),
            "[SUCCESS]Set output group B volume to 0.\r\n"
            "[SUCCESS]Set analogue output CH2 volume to 0.\r\n"
            "[SUCCESS]Set USB output left volume to 0.\r\n"
            "[SUCCESS]Set USB output right volume to 0.\r\n");
  EXPECT_EQ(g_unit.config.group_output_mute[1], 1);
  EXPECT_EQ(DspLog(), (Log{"vol 1=0", "mute 1", "vol 12=0", "mute 12", "vol 13=0", "mute 13"}));
  EXPECT_EQ(g_unit.config.group_output_stereo2[12], 1);

  EXPECT_EQ(Command(Mute(3, 1, 0)), Ok("set output mute"));
  EXPECT_EQ(notices(),
            "[SUCCESS]Set output group B mute off.\r\n"
            "[SUCCESS]Set analogue output CH2 mute off.\r\n"
            "[SUCCESS]Set USB output left mute off.\r\n"
            "[SUCCESS]Set USB output right mute off.\r\n");
  EXPECT_EQ(Command(Vol(3, 0, 70)), Ok("set output vol"));
  EXPECT_EQ(notices(), "[SUCCESS]Set output group A volume to 70.\r\n");
}

TEST_F(WebOutputTest, VolumeAndMuteRanges) {
  g_unit.config.power = 0;
  for (const std::string& body :
       {Vol(0, 0, 101), Vol(0, 0, -1), Vol(4, 0, 5), Vol(-1, 0, 5), Vol(0, 8, 5), Mute(0, 0, 2),
        Mute(0, 0, -1), std::string("{\"comhead\":\"set output vol\",\"action\":0,\"chn\":0}"),
        std::string("{\"comhead\":\"set output vol\",\"action\":0,\"chn\":0,\"vol\":\"5\"}")}) {
    const bool mute = body.find("mute") != std::string::npos;
    EXPECT_EQ(Command(body), Refused(mute ? "set output mute" : "set output vol")) << body;
    EXPECT_EQ(notices(), "") << body;
  }
  EXPECT_EQ(g_unit.config.power, 0) << "refused before the wake";
  // The per-kind bound comes after the wake.
  EXPECT_EQ(Command(Vol(0, 4, 5)), Refused("set output vol"));
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_EQ(notices(), kPowerOn);
  EXPECT_EQ(Command(Mute(3, 4, 1)), Refused("set output mute"));
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(Saves(), 1) << "the refused command's wake is saved";
  // USB "chn" 2 names no output: nothing changes, the unit saves and answers 1.
  EXPECT_EQ(Command(Vol(2, 2, 5)), Ok("set output vol"));
  EXPECT_EQ(notices(), "");
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(Saves(), 2);
}

std::string Route(int chn, int status, int action = 0) {
  return "{\"comhead\":\"set control status\",\"chn\":" + std::to_string(chn) +
         ",\"status\":" + std::to_string(status) + ",\"action\":" + std::to_string(action) + "}";
}

TEST_F(WebOutputTest, RoutingChannelForm) {
  struct Case {
    std::vector<int> in_pairs, out_pairs;
    int control0;
    std::string body;
    std::vector<int> dsp_outputs;  // outputs written, in order
    std::vector<int> after;        // control of outputs 1-2 and 13-14
    std::string notice;
  };
  const Case cases[] = {
      {{1},
       {0},
       1,
       Route(1, 3),
       {0, 1},
       {3, 4, 13, 14},
       "[SUCCESS]Set output analogue CH1/CH2 from analogue input CH3/CH4.\r\n"},
      {{6},
       {6},
       1,
       Route(14, 13),
       {12, 13},
       {1, 2, 13, 14},
       "[SUCCESS]Set output USB left/right from USB input left/right.\r\n"},
      {{0},
       {0},
       1,
       Route(2, 5),
       {0, 1, 1},
       {0, 5, 13, 14},
       "[SUCCESS]Set output analogue CH2 from tarvo input CH1.\r\n"},
      {{},
       {},
       1,
       Route(13, 5),
       {12},
       {1, 2, 5, 14},
       "[SUCCESS]Set output USB left from tarvo input CH1.\r\n"},
      // "none" on a pair-fed pair: both cleared, then the addressed output once more.
      {{0},
       {0},
       1,
       Route(2, 0),
       {0, 1, 1},
       {0, 0, 13, 14},
       "[SUCCESS]Set output analogue CH2 from none.\r\n"},
  };
  for (const auto& c : cases) {
    ResetAppConfig("/oem/app.json", &g_unit.config, "02:00:00:00:00:01");
    g_unit.config.power = 1;
    for (int p : c.in_pairs) g_unit.config.InputLinkRef(p) = 1;
    for (int p : c.out_pairs) g_unit.config.OutputLinkRef(p) = 1;
    g_unit.config.control[0] = c.control0;
    EXPECT_EQ(Command(c.body), Ok("set control status")) << c.body;
    Log outputs;
    for (const auto& e : DspLog()) outputs.push_back(e.substr(0, e.find('=')));
    Log expected;
    for (int o : c.dsp_outputs) expected.push_back("src " + std::to_string(o));
    EXPECT_EQ(outputs, expected) << c.body;
    EXPECT_EQ((std::vector<int>{g_unit.config.control[0], g_unit.config.control[1],
                                g_unit.config.control[12], g_unit.config.control[13]}),
              c.after)
        << c.body;
    EXPECT_EQ(notices(), c.notice) << c.body;
  }
}

TEST_F(WebOutputTest, RoutingAllOutputsAndPairForm) {
  EXPECT_EQ(Command(Route(0, 0)), Ok("set control status"));
  EXPECT_EQ(Count(notices(), "\n"), 15);
  EXPECT_EQ(notices().substr(0, 37), "[SUCCESS]Set all output from none.\r\n[");
  for (int c = 0; c < kDspChannels; ++c) EXPECT_EQ(g_unit.config.control[c], 0);

  // All outputs pass over an output pair that the source pair claims.
  g_unit.config.InputLinkRef(0) = 1;
  g_unit.config.OutputLinkRef(1) = 1;
  EXPECT_EQ(Command(Route(0, 1)), Ok("set control status"));
  EXPECT_EQ(Count(notices(), "\n"), 13);
  EXPECT_EQ(notices().find("analogue CH3"), std::string::npos);
  EXPECT_EQ(notices().find("analogue CH4"), std::string::npos);
  EXPECT_EQ(g_unit.config.control[2], 0);
  EXPECT_EQ(g_unit.config.control[4], 1);

  EXPECT_EQ(Command(Route(0, 3, 1)), Ok("set control status"));
  EXPECT_EQ(notices(), "[SUCCESS]Set all output from tarvo input CH1/CH2.\r\n");
  for (int p = 0; p < kStereoPairs; ++p) {
    EXPECT_EQ(g_unit.config.control[2 * p], 5);
    EXPECT_EQ(g_unit.config.control[2 * p + 1], 6);
  }
  EXPECT_EQ(Command(Route(7, 0, 1)), Ok("set control status"));
  EXPECT_EQ(notices(), "[SUCCESS]Set USB output left/right from none.\r\n");
  EXPECT_EQ(Command(Route(2, 7, 2)), Ok("set control status"));
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue output CH3/CH4 from USB input left/right.\r\n");
  EXPECT_EQ(g_unit.config.control[2], 13);
}

TEST_F(WebOutputTest, RoutingRefusalsStillWake) {
  g_unit.config.power = 0;
  const std::string bodies[] = {Route(1, 15),
                                Route(15, 1),
                                Route(-1, 1),
                                Route(1, -1),
                                Route(8, 1, 1),
                                Route(1, 8, 1),
                                "{\"comhead\":\"set control status\",\"chn\":1}"};
  for (const std::string& body : bodies) {
    EXPECT_EQ(Command(body), Refused("set control status")) << body;
  }
  EXPECT_EQ(g_unit.config.power, 1);
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(g_unit.config.control[0], 1);
  EXPECT_EQ(Saves(), 1) << "only the wake is saved";
}

std::string Stereo(const char* comhead, int action, int chn, int stereo) {
  return std::string("{\"comhead\":\"") + comhead + "\",\"action\":" + std::to_string(action) +
         ",\"chn\":" + std::to_string(chn) + ",\"stereo\":" + std::to_string(stereo) + "}";
}

TEST_F(WebOutputTest, LinkingCopiesTheFirstChannelsSettings) {
  g_unit.config.analogue_output_vol[2] = 60;
  g_unit.config.analogue_output_mute[2] = 1;
  g_unit.config.analogue_output_delay[2] = 5;
  g_unit.config.analogue_output_vol[3] = 20;
  g_unit.config.control[2] = 7;  // output 3 from input 7 ...
  g_unit.config.control[3] = 6;
  g_unit.config.tarvo_input_stereo[1] = 1;  // ... of a linked input pair, not straight
  const int64_t slept = clock_.SleptUs();
  EXPECT_EQ(Command(Stereo("set output stereo", 0, 1, 1)), Ok("set output stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue output CH3/CH4 locked.\r\n");
  EXPECT_GE(clock_.SleptUs() - slept, 550000);  // 50 ms, then ten steps of 50 ms
  EXPECT_LT(clock_.SleptUs() - slept, 551000);
  Log expected = {"vol 3=60", "mute 3", "vol 3=0", "wait", "delay 3=240"};
  for (int k = 0; k < 10; ++k) {
    expected.push_back("vol 3=" + std::to_string(6 * k));
    expected.push_back("wait");
  }
  expected.push_back("vol 3=60");
  expected.push_back("src 2=0");
  EXPECT_EQ(DspLog(), expected);
  EXPECT_EQ(g_unit.config.analogue_output_stereo[1], 1);
  EXPECT_EQ(g_unit.config.analogue_output_delay[3], 5);
  EXPECT_EQ(g_unit.config.control[2], 0);
  EXPECT_EQ(g_unit.config.control[3], 6);

  EXPECT_EQ(Command(Stereo("set output stereo", 0, 1, 0)), Ok("set output stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue output CH3/CH4 unlocked.\r\n");
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(Command(Stereo("set input stereo", 2, 0, 1)), Ok("set input stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set USB input left/right locked.\r\n");
  EXPECT_EQ(Command(Stereo("set output stereo", 1, 2, 1)), Ok("set output stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set tarvo output CH5/CH6 locked.\r\n");
  EXPECT_EQ(g_unit.config.tarvo_output_stereo[2], 1);
  EXPECT_EQ(Saves(), 4);
}

TEST_F(WebOutputTest, LinkingInputsCopiesGainMuteAndPhantom) {
  g_unit.config.analogue_input_gain[0] = 12;
  g_unit.config.analogue_input_mute[0] = 0;
  g_unit.config.analogue_input_phantom[0] = 1;
  EXPECT_EQ(Command(Stereo("set input stereo", 0, 0, 1)), Ok("set input stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue input CH1/CH2 locked.\r\n");
  EXPECT_EQ(g_unit.config.analogue_input_gain[1], 12);
  EXPECT_EQ(g_unit.config.analogue_input_phantom[1], 1);
  EXPECT_EQ(DspLog(), (Log{"inmute 1", "wait", "range", "gain 1", "inunmute 1"}));
}

TEST_F(WebOutputTest, StereoRangesAndWake) {
  g_unit.config.power = 0;
  EXPECT_EQ(Command(Stereo("set output stereo", 7, 0, 1)), Refused("set output stereo"));
  EXPECT_EQ(Command(Stereo("set output stereo", 0, 0, 2)), Refused("set output stereo"));
  EXPECT_EQ(Command(Stereo("set input stereo", 3, 14, 1)), Refused("set input stereo"));
  EXPECT_EQ(g_unit.config.power, 0);
  EXPECT_EQ(Command(Stereo("set output stereo", 2, 1, 1)), Refused("set output stereo"));
  EXPECT_EQ(g_unit.config.power, 1) << "the per-action test follows the wake";
  EXPECT_EQ(Command(Stereo("set output stereo", 0, 2, 1)), Refused("set output stereo"));
  EXPECT_EQ(Command(Stereo("set input stereo", 1, 4, 1)), Refused("set input stereo"));
  EXPECT_EQ(g_unit.config.usb_output_stereo, 0);
  EXPECT_EQ(Saves(), 1) << "only the wake is saved";
}

TEST_F(WebOutputTest, JoiningAGroup) {
  g_unit.config.analogue_output_stereo[0] = 1;
  g_unit.config.group_output_vol[0] = 35;
  g_unit.config.group_output_mute[0] = 1;
  g_unit.config.group_output_stereo2[0] = 1;
  g_unit.config.group_output_stereo1[9] = 1;
  g_unit.config.output_preset[14] = 2;  // group A plays Custom2
  g_unit.config.output_custom2_date[14].frequency[0] = 123;
  EXPECT_EQ(Command(Stereo("set output stereo", 3, 1, 1)), Ok("set output stereo"));
  EXPECT_EQ(notices(),
            "[SUCCESS]Set output group A include analogue output 1,2 tarvo output 6.\r\n");
  Log expected = {"vol 0=35", "mute 0", "vol 1=35", "mute 1"};
  expected.insert(expected.end(), 8, "eq");
  EXPECT_EQ(DspLog(), expected);
  EXPECT_EQ(g_unit.config.output_preset[1], 2);
  EXPECT_EQ(g_unit.config.output_preset[0], 0) << "only the named channel takes the EQ";
  EXPECT_EQ(g_unit.config.output_custom2_date[1].frequency[0], 123);
  EXPECT_EQ(g_unit.config.group_output_stereo2[0], 0);

  // Leaving writes nothing to the DSP.
  EXPECT_EQ(Command(Stereo("set output stereo", 3, 9, 0)), Ok("set output stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set output group A include analogue output 1,2.\r\n");
  EXPECT_TRUE(DspLog().empty());
  EXPECT_EQ(Command(Stereo("set output stereo", 6, 0, 0)), Ok("set output stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set output group D include.\r\n");

  g_unit.config.tarvo_input_stereo[0] = 1;
  g_unit.config.group_input_gain[1] = -6;
  EXPECT_EQ(Command(Stereo("set input stereo", 4, 5, 1)), Ok("set input stereo"));
  EXPECT_EQ(notices(), "[SUCCESS]Set intput group 2 include tarvo input 1,2.\r\n");
  EXPECT_EQ(g_unit.config.tarvo_input_gain[0], -6);
  EXPECT_EQ(g_unit.config.tarvo_input_gain[1], -6);
  Log log = DspLog();
  log.erase(std::remove(log.begin(), log.end(), "eq"), log.end());
  EXPECT_EQ(log, (Log{"gain 4", "inunmute 4", "gain 5", "inunmute 5"}));
}

std::string Name(const char* comhead, int chn, const std::string& name) {
  cJSON* o = cJSON_CreateObject();
  cJSON_AddStringToObject(o, "comhead", comhead);
  cJSON_AddNumberToObject(o, "chn", chn);
  cJSON_AddStringToObject(o, "name", name.c_str());
  char* text = cJSON_PrintUnformatted(o);
  std::string body = text;
  cJSON_free(text);
  cJSON_Delete(o);
  return body;
}

TEST_F(WebOutputTest, Names) {
  const std::string forty = "Tarvo output four with a long long name!";
  ASSERT_EQ(forty.size(), 40u);
  EXPECT_EQ(Command(Name("set output name", 8, forty)), Ok("set output name"));
  EXPECT_EQ(notices(), "[SUCCESS]Set tarvo output CH4 name to " + forty + ".\r\n");
  EXPECT_EQ(std::string(g_unit.config.output_name[7]), forty.substr(0, 31));
  EXPECT_EQ(Command(Name("set output name", 16, "Hall")), Ok("set output name"));
  EXPECT_EQ(notices(), "[SUCCESS]Set output group B name to Hall.\r\n");
  EXPECT_EQ(Command(Name("set input name", 18, "")), Ok("set input name"));
  EXPECT_EQ(notices(), "[SUCCESS]Set input group 4 name to .\r\n");
  EXPECT_EQ(Command(Name("set input name", 13, "PC")), Ok("set input name"));
  EXPECT_EQ(notices(), "[SUCCESS]Set USB input left name to PC.\r\n");
  // A two-byte character across the 31st byte is left out whole.
  const std::string umlaut = std::string(30, 'a') + "\xc3\xa4" + "b";
  EXPECT_EQ(Command(Name("set input name", 1, umlaut)), Ok("set input name"));
  EXPECT_EQ(std::string(g_unit.config.input_name[0]), std::string(30, 'a'));
  EXPECT_EQ(Saves(), 5);
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, "/oem/app.json", &saved, "02:00:00:00:00:01", "TRX");
  EXPECT_EQ(std::string(saved.output_name[15]), "Hall");

  g_unit.config.power = 0;
  for (const std::string& body :
       {Name("set output name", 0, "x"), Name("set output name", 19, "x"),
        Name("set output name", 2, "a\r\n[SUCCESS]b"),
        Name("set output name", 2,
             "a\x7f"
             "b"),
        Name("set output name", 2, std::string(256, 'n')),
        std::string("{\"comhead\":\"set output name\",\"chn\":2,\"name\":\"\xff\xfe\"}"),
        std::string("{\"comhead\":\"set output name\",\"chn\":2}")}) {
    EXPECT_EQ(Command(body), Refused("set output name")) << body;
  }
  EXPECT_EQ(g_unit.config.power, 0);
  EXPECT_STREQ(g_unit.config.output_name[1], "Analogue Output CH2");
  EXPECT_EQ(Saves(), 5);
}

std::string Delay(int action, int chn, int delay) {
  return "{\"comhead\":\"set output delay\",\"action\":" + std::to_string(action) +
         ",\"chn\":" + std::to_string(chn) + ",\"delay\":" + std::to_string(delay) + "}";
}

TEST_F(WebOutputTest, DelayFadesTheVolume) {
  g_unit.config.analogue_output_vol[2] = 12;
  g_unit.config.group_output_stereo1[2] = 1;
  EXPECT_EQ(Command(Delay(0, 2, 7)), Ok("set output delay"));
  EXPECT_EQ(notices(), "[SUCCESS]Set analogue CH3 output delay time to 7ms.\r\n");
  Log expected = {"vol 2=0", "wait", "delay 2=336"};
  for (int k = 0; k < 10; ++k) {
    expected.push_back("vol 2=" + std::to_string(k));
    expected.push_back("wait");
  }
  expected.push_back("vol 2=12");
  EXPECT_EQ(DspLog(), expected);
  EXPECT_EQ(g_unit.config.group_output_stereo1[2], 0);
  EXPECT_EQ(g_unit.config.analogue_output_delay[2], 7);

  g_unit.config.analogue_output_stereo[1] = 1;
  g_unit.config.analogue_output_vol[3] = 40;
  EXPECT_EQ(Command(Delay(0, 3, 7)), Ok("set output delay"));
  EXPECT_EQ(notices(),
            "[SUCCESS]Set analogue CH3 output delay time to 7ms.\r\n"
            "[SUCCESS]Set analogue CH4 output delay time to 7ms.\r\n");
  const Log log = DspLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "wait"), 11) << "one fade for the pair";
  EXPECT_EQ(log.back(), "vol 3=40");

  EXPECT_EQ(Command(Delay(1, 5, 50)), Ok("set output delay"));
  EXPECT_EQ(notices(), "[SUCCESS]Set tarvo output CH6 delay time to 50ms.\r\n");
  EXPECT_EQ(DelayCell(9), 2400u);
  EXPECT_EQ(Command(Delay(2, 1, 3)), Ok("set output delay"));
  EXPECT_EQ(notices(), "[SUCCESS]Set USB output right delay time to 3ms.\r\n");
}

// A clock that calls back after each of the fade's 50 ms waits (not the bus's short ones).
class SleepHookClock : public platform::FakeClock {
 public:
  void SleepUs(int64_t us) override {
    platform::FakeClock::SleepUs(us);
    if (hook && us >= 50000) hook(++sleeps);
  }
  std::function<void(int)> hook;
  int sleeps = 0;
};

TEST_F(WebOutputTest, DelayFadeLeavesTheLockFreeAndEndsOnTheRecord) {
  SleepHookClock clock;
  platform::SetClock(&clock);
  g_unit.config.analogue_output_vol[2] = 12;
  int free_sleeps = 0;
  clock.hook = [&](int sleep) {
    // Another port's command while the fade runs: it gets the lock and changes the volume.
    auto other = std::async(std::launch::async, [sleep] {
      if (!ConfigLockFree()) return false;
      if (sleep == 4) {
        ConfigLock lock;
        g_unit.config.analogue_output_vol[2] = 80;
        DspSetOutputVolume(2, 80);
      }
      return true;
    });
    if (other.get()) ++free_sleeps;
  };
  EXPECT_EQ(Command(Delay(0, 2, 7)), Ok("set output delay"));
  clock.hook = nullptr;
  platform::SetClock(&clock_);
  EXPECT_EQ(clock.sleeps, 11);
  EXPECT_EQ(free_sleeps, 11) << "the configuration lock is free during every wait of the fade";
  EXPECT_EQ(DspLog().back(), "vol 2=80");
  EXPECT_EQ(DelayCell(2), 336u);
  EXPECT_EQ(g_unit.config.analogue_output_delay[2], 7);
}

TEST_F(WebOutputTest, DelayRanges) {
  for (const std::string& body :
       {Delay(1, 8, 1), Delay(0, 0, 51), Delay(3, 0, 1), Delay(0, 5, 1)}) {
    EXPECT_EQ(Command(body), Refused("set output delay")) << body;
  }
  EXPECT_EQ(Saves(), 0);
  // Analogue 4 and USB 2 pass and name no output: saved, answered 1, nothing else.
  for (const std::string& body : {Delay(0, 4, 1), Delay(2, 2, 1)}) {
    EXPECT_EQ(Command(body), Ok("set output delay")) << body;
    EXPECT_EQ(notices(), "") << body;
    EXPECT_TRUE(DspLog().empty()) << body;
  }
  EXPECT_EQ(Saves(), 2);
}

}  // namespace
