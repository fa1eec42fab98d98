// Changes made at the same moment from several ports are told in the order they were made: the
// last volume every port hears of is the volume the DSP plays and app.json holds.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "devctl/core/config_file.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/text/dispatcher.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "tests/support/wait_for.h"
#include "tests/support/web_commands.h"

namespace {

// Set by the thread whose save of the configuration is to come late.
thread_local bool t_save_comes_late = false;

class CommitOrderTest : public testsupport::WebCommandFixture {
 protected:
  void SetUp() override {
    WebCommandFixture::SetUp();
    SetNoticeSink([this](const std::string& text) { Heard(text); });
  }
  void TearDown() override {
    SetNoticeSink(nullptr);
    WebCommandFixture::TearDown();
  }

 public:
  // What every port receives, in the order it is sent.
  void Heard(const std::string& text) {
    std::lock_guard<std::mutex> lock(heard_mutex_);
    heard_ += text;
  }
  // The volume of output 1 the ports heard of last.
  int LastToldVolume() {
    std::lock_guard<std::mutex> lock(heard_mutex_);
    const std::string key = "Set analogue output CH1 volume to ";
    const size_t at = heard_.rfind(key);
    return at == std::string::npos ? -1 : std::atoi(heard_.c_str() + at + key.size());
  }
  void TextVolume(int fd, int v) {
    std::string line = "OUT 1 VOL " + std::to_string(v) + "\r";
    DispatchLineInOrder(fd, line.data(), int(line.size()),
                        [this](const std::string& text) { Heard(text); });
  }
  void WebPost(const std::string& body) { Post(body); }
  void WebVolume(int v) {
    const std::string body =
        "{\"comhead\":\"set output vol\",\"action\":0,\"chn\":0,\"vol\":" + std::to_string(v) + "}";
    Post(body);
  }

 protected:
  std::mutex heard_mutex_;
  std::string heard_;
};

TEST_F(CommitOrderTest, TheLastNoticeNamesWhatTheUnitHolds) {
  struct Pair {
    const char* what;
    std::function<void(CommitOrderTest*, int)> first, second;
  } pairs[] = {
      {"two text ports", [](CommitOrderTest* t, int v) { t->TextVolume(7, v); },
       [](CommitOrderTest* t, int v) { t->TextVolume(8, v); }},
      {"a text port and the web", [](CommitOrderTest* t, int v) { t->TextVolume(7, v); },
       [](CommitOrderTest* t, int v) { t->WebVolume(v); }},
  };
  for (const Pair& pair : pairs) {
    for (int trial = 0; trial < 100; ++trial) {
      SCOPED_TRACE(std::string(pair.what) + ", trial " + std::to_string(trial));
      std::atomic<int> ready{0};
      auto racer = [&](const std::function<void(CommitOrderTest*, int)>& change, int v) {
        ++ready;
        while (ready.load() < 2) std::this_thread::yield();
        change(this, v);
      };
      std::thread a(racer, pair.first, 25 + trial % 2);
      std::thread b(racer, pair.second, 75 - trial % 2);
      a.join();
      b.join();
      const int held = g_unit.config.analogue_output_vol[0];
      ASSERT_EQ(LastToldVolume(), held);
      ASSERT_EQ(board_->dsp_a().Word(uint16_t(g_dsp_output_volume_addr[0])),
                DspOutputVolumeWord(held));
      ASSERT_EQ(Saved().analogue_output_vol[0], held);
    }
  }
}

TEST_F(CommitOrderTest, AWebCommandWhoseSaveFailsIsToldAsFailedOnThePorts) {
  platform::FailWritesAfter(0);
  WebVolume(40);
  platform::FailWritesAfter(-1);
  std::lock_guard<std::mutex> lock(heard_mutex_);
  EXPECT_EQ(heard_,
            "[SUCCESS]Set analogue output CH1 volume to 40.\r\n"
            "[ERROR]Settings could not be saved.\r\n");
}

// Every saving command answers a failed save with "result" 0. The ports hear of it where they
// hear of the command's kind: "set peq chn" is told like any change; the account commands tell
// the ports nothing at all, their failed save included.
TEST_F(CommitOrderTest, AFailedSaveAnswersZeroAndReachesThePortsOnlyWhereTheCommandIsTold) {
  const std::string guest = g_unit.config.user[1].user;
  const struct Case {
    std::string body;
    std::string heard;
  } cases[] = {
      {R"({"comhead":"set peq chn","action":0,"chn":3})",
       "[ERROR]Settings could not be saved.\r\n"},
      {R"({"comhead":"add login user","user":"Tech","password":"x"})", ""},
      {R"({"comhead":"set user enabled","user":")" + guest + R"(","enabled":0})", ""},
      {R"({"comhead":"set user limit","user":")" + guest +
           R"(","matrix":0,"network":0,"system":0,"information":0,"power":0})",
       ""},
      {R"({"comhead":"modify password","user":")" + guest +
           R"(","newpassword":"y","makesure":"y"})",
       ""},
      {R"({"comhead":"delete login user","index":1})", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    {
      std::lock_guard<std::mutex> lock(heard_mutex_);
      heard_.clear();
    }
    platform::FailWritesAfter(0);
    bool result = true;
    const std::string reply = Members(Post(c.body), &result);
    platform::FailWritesAfter(-1);
    EXPECT_FALSE(result) << reply;
    EXPECT_NE(reply.find("error=settings not saved;"), std::string::npos) << reply;
    std::lock_guard<std::mutex> lock(heard_mutex_);
    EXPECT_EQ(heard_, c.heard);
  }
}

// A change is saved after its lock is released, so its save may still be on the way when a
// preset is saved from another port or the web: the preset holds the change all the same. The
// change's save is held before its rename while the preset is saved.
TEST_F(CommitOrderTest, APresetHoldsTheChangeBeforeItWhoseSaveIsLate) {
  ASSERT_EQ(Run("OUT 1 VOL 90\r"), "[SUCCESS]Set analogue output CH1 volume to 90.\r\n");
  ASSERT_EQ(Run("PRESET 5 SAVE\r"), "[SUCCESS]Save current config to preset 5.\r\n");
  const struct Earlier {
    const char* line;
    int volume;  // what output 1 plays after it
  } earlier[] = {{"OUT 1 VOL 64\r", 64}, {"PRESET 5 APPLY\r", 90}};
  const struct Save {
    const char* what;
    std::function<void(CommitOrderTest*)> save;
  } saves[] = {
      {"text", [](CommitOrderTest*) { Framed("PRESET 8 SAVE\r", 9); }},
      {"web",
       [](CommitOrderTest* t) { t->WebPost(R"({"comhead":"set preset save","preset":8})"); }},
  };
  std::atomic<bool> late{false}, release{false};
  platform::SetWriteStepHook([&](platform::WriteStep step) {
    if (step != platform::WriteStep::kRename || !t_save_comes_late || late.exchange(true)) return;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  for (const Earlier& e : earlier) {
    for (const Save& s : saves) {
      SCOPED_TRACE(std::string(e.line) + " then a preset save on the " + s.what);
      ASSERT_EQ(Run("OUT 1 VOL 30\r"), "[SUCCESS]Set analogue output CH1 volume to 30.\r\n");
      std::remove(platform::Path("/oem/app_preset8.json").c_str());
      late = false;
      release = false;
      std::thread change([&] {
        t_save_comes_late = true;
        Framed(e.line, 7);
        t_save_comes_late = false;
      });
      const bool held = testsupport::WaitFor([&] { return late.load(); });
      std::thread preset([&] { s.save(this); });
      const bool written =
          held && testsupport::WaitFor([] { return Exists("/oem/app_preset8.json"); });
      release = true;
      change.join();
      preset.join();
      ASSERT_TRUE(held) << "the change was never saved";
      ASSERT_TRUE(written) << "the preset was never written";
      app_config_s preset_record;
      ASSERT_TRUE(LoadAppConfigFile("/oem/app_preset8.json", "/oem/app_preset8.json",
                                    &preset_record, "02:00:00:00:00:01", "TRX"));
      EXPECT_EQ(preset_record.analogue_output_vol[0], e.volume);
      EXPECT_EQ(g_unit.presets[7].analogue_output_vol[0], e.volume);
      EXPECT_EQ(Saved().analogue_output_vol[0], e.volume);
    }
  }
  platform::SetWriteStepHook(nullptr);
}

}  // namespace
