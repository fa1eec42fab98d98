// The web EQ commands on the simulated board: request in, the answer the frame gets (reply,
// notice, save), the configuration and the biquads.
#include "devctl/web/web_eq_handlers.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "devctl/core/config_file.h"
#include "devctl/core/notices.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "tests/support/eq_design.h"
#include "tests/support/sim_unit.h"

namespace {

using eqtest::LoadOf;
using eqtest::Order;
using eqtest::PlaysRecord;
using eqtest::WordsAre;

constexpr int kIn = EQ_SIDE_INPUT;
constexpr int kOut = EQ_SIDE_OUTPUT;

struct JsonDelete {
  void operator()(cJSON* j) const { cJSON_Delete(j); }
};
using Json = std::unique_ptr<cJSON, JsonDelete>;

class EqWebTest : public testsupport::SimUnitFixture {
 protected:
  // Runs the command of handler on body as its row frames it (under the configuration lock, before
  // the save and the notice); the answer stays in answer_.
  bool Call(WebHandler handler, const std::string& body) {
    platform::sim_i2c().ClearTransfers();
    answer_ = WebAnswer();
    Json request(cJSON_Parse(body.c_str()));
    EXPECT_NE(request, nullptr) << body;
    const web_command_s* command = nullptr;
    for (size_t i = 0; i < g_web_command_count; ++i) {
      if (g_web_commands[i].handler == handler) command = &g_web_commands[i];
    }
    EXPECT_NE(command, nullptr);
    return request && command && RunCommandLocked(*command, request.get(), answer_);
  }
  // A set command that went through: the lines, a save and "result" 1 left to the frame.
  void ExpectDone(const std::string& comhead, const std::string& notice) {
    EXPECT_EQ(answer_.comhead, comhead);
    EXPECT_EQ(answer_.notice, notice);
    EXPECT_TRUE(answer_.save);
    EXPECT_TRUE(answer_.set_result);
  }
  // A refused request: {"comhead": ..., "result": 0}, nothing to send or save, no DSP write.
  void ExpectRefused(WebHandler handler, const std::string& body, const std::string& comhead) {
    const app_config_s before = g_unit.config;
    EXPECT_FALSE(Call(handler, body)) << body;
    Json reply(cJSON_Parse(answer_.reply.c_str()));
    ASSERT_NE(reply, nullptr) << body;
    EXPECT_STREQ(cJSON_GetObjectItem(reply.get(), "comhead")->valuestring, comhead.c_str());
    EXPECT_EQ(cJSON_GetObjectItem(reply.get(), "result")->valueint, 0) << body;
    EXPECT_EQ(cJSON_GetArraySize(reply.get()), 2);
    EXPECT_TRUE(answer_.notice.empty()) << body;
    EXPECT_FALSE(answer_.save) << body;
    EXPECT_FALSE(answer_.set_result) << body;
    EXPECT_TRUE(Biquads().empty()) << body;
    for (int side : {kIn, kOut}) {
      for (int m = 0; m < kEqMemories; ++m) {
        EXPECT_EQ(std::memcmp(before.EqMemory(side, m), g_unit.config.EqMemory(side, m),
                              sizeof(peq_data_s) * kChannelSlots),
                  0)
            << body;
      }
    }
    EXPECT_EQ(
        std::memcmp(before.input_preset, g_unit.config.input_preset, sizeof before.input_preset),
        0);
  }
  static std::string Peq(int action, int chn, int preset, int id, const std::string& rest) {
    return "{\"comhead\":\"set peq\",\"action\":" + std::to_string(action) +
           ",\"chn\":" + std::to_string(chn) + ",\"preset\":" + std::to_string(preset) +
           ",\"id\":" + std::to_string(id) + rest + "}";
  }
  WebAnswer answer_;
};

TEST_F(EqWebTest, SetPeqValuesAcceptedAndRefused) {
  Unlock(kIn);
  const struct {
    const char* rest;
    bool accepted;
    int frequency = 0;
    float gain = 0, quality = 0;
    const char* type = "";
  } cases[] = {
      {R"(,"frequency":20,"gain":-15,"quality":0.02,"type":"LOWPASS")", true, 20, -15, 0.02f,
       "LOWPASS"},
      {R"(,"frequency":20000,"gain":15,"quality":50,"type":"HIGH_SHELF")", true, 20000, 15, 50,
       "HIGH_SHELF"},
      {R"(,"frequency":1000,"quality":1.41,"type":"PARAMETRIC")", true, 1000, 0, 1.41f,
       "PARAMETRIC"},
      {R"(,"frequency":1000,"gain":"loud","quality":2,"type":"LOW_SHELF")", true, 1000, 0, 2,
       "LOW_SHELF"},
      {R"(,"frequency":500,"gain":3,"quality":1,"type":"PARAMETRICxyz")", true, 500, 3, 1,
       "PARAMETRICxyz"},
      {R"(,"frequency":19,"gain":0,"quality":1,"type":"PARAMETRIC")", false},
      {R"(,"frequency":20001,"gain":0,"quality":1,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":-15.1,"quality":1,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":15.1,"quality":1,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":1e999,"quality":1,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":0,"quality":0.01,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":0,"quality":50.1,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":0,"quality":-1e999,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":0,"type":"PARAMETRIC")", false},
      {R"(,"frequency":1000,"gain":0,"quality":1,"type":"low_shelf")", false},
      {R"(,"frequency":1000,"gain":0,"quality":1,"type":"")", false},
      {R"(,"frequency":1000,"gain":0,"quality":1,"type":5)", false},
      {R"(,"frequency":1000,"gain":0,"quality":1)", false},
      {R"(,"frequency":"1000","gain":0,"quality":1,"type":"PARAMETRIC")", false},
  };
  for (const auto& c : cases) {
    const std::string body = Peq(0, 2, 1, 3, c.rest);
    if (!c.accepted) {
      ExpectRefused(WebSetPeq, body, "set peq");
      continue;
    }
    EXPECT_TRUE(Call(WebSetPeq, body)) << body;
    const peq_data_s& band = Mem(kIn, 1, 2);
    EXPECT_EQ(band.frequency[3], c.frequency) << body;
    EXPECT_EQ(band.gain[3], c.gain) << body;
    EXPECT_EQ(band.quality[3], c.quality) << body;
    EXPECT_STREQ(band.type_name[3], c.type) << body;
    const auto qs = Biquads();
    ASSERT_EQ(qs.size(), 1u) << body;
    EXPECT_EQ(qs[0].Where(), "in 2 band 3");
    EXPECT_TRUE(WordsAre(qs[0], c.frequency, ParseEqTypeName(c.type), 1, c.gain, c.quality));
  }
  // The stored name is cut to 31 characters; a member past 255 is refused.
  EXPECT_TRUE(Call(WebSetPeq, Peq(0, 2, 1, 0,
                                  std::string(R"(,"frequency":100,"gain":1,"quality":1,"type":")") +
                                      "HIGHPASS" + std::string(40, 'x') + "\"")));
  EXPECT_EQ(std::string(Mem(kIn, 1, 2).type_name[0]), "HIGHPASS" + std::string(23, 'x'));
  EXPECT_NE(answer_.notice.find("to highpass with FRQ 100Hz"), std::string::npos);
  ExpectRefused(WebSetPeq,
                Peq(0, 2, 1, 0,
                    std::string(R"(,"frequency":100,"gain":1,"quality":1,"type":")") + "LOWPASS" +
                        std::string(300, 'x') + "\""),
                "set peq");
  for (
      const char* body :
      {R"({"comhead":"set peq","action":2,"chn":0,"preset":1,"id":0,"frequency":100,"gain":1,"quality":1,"type":"LOWPASS"})",
       R"({"comhead":"set peq","action":0,"chn":18,"preset":1,"id":0,"frequency":100,"gain":1,"quality":1,"type":"LOWPASS"})",
       R"({"comhead":"set peq","action":0,"chn":0,"preset":3,"id":0,"frequency":100,"gain":1,"quality":1,"type":"LOWPASS"})",
       R"({"comhead":"set peq","action":0,"chn":0,"preset":1,"id":8,"frequency":100,"gain":1,"quality":1,"type":"LOWPASS"})"}) {
    ExpectRefused(WebSetPeq, body, "set peq");
  }
}

TEST_F(EqWebTest, SetPeqTargets) {
  // A single channel playing Custom2 gets its Custom1 band written and sent; selection stays.
  Unlock(kIn);
  g_unit.config.input_preset[4] = 2;
  g_unit.config.group_input_stereo1[4] = 1;
  EXPECT_TRUE(
      Call(WebSetPeq,
           Peq(0, 4, 1, 0, R"(,"frequency":1000,"gain":-3,"quality":1.41,"type":"PARAMETRIC")")));
  ExpectDone(
      "set peq",
      "[SUCCESS]Set tarvo input CH1 EQ 1 to parametric with FRQ 1000Hz gain -3dB Q 1.41.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[4], 2);
  EXPECT_EQ(g_unit.config.group_input_stereo1[4], 0);
  EXPECT_EQ(Mem(kIn, 1, 4).frequency[0], 1000);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 1u);
  EXPECT_EQ(qs[0].words,
            (std::vector<uint32_t>{0x00E93397, 0xFE1ED94A, 0x00FC19FD, 0xFF1AB26C, 0x01E126B6}));
  // Preset 0 on a single: the line and the group removal, nothing written.
  EXPECT_TRUE(
      Call(WebSetPeq,
           Peq(0, 5, 0, 0, R"(,"frequency":1000,"gain":-3,"quality":1.41,"type":"PARAMETRIC")")));
  ExpectDone(
      "set peq",
      "[SUCCESS]Set tarvo input CH2 EQ 1 to parametric with FRQ 1000Hz gain -3dB Q 1.41.\r\n");
  EXPECT_TRUE(Biquads().empty());

  // An EQ-locked output pair named by its second channel: the first's memory decides.
  g_unit.config.output_preset[0] = 2;
  EXPECT_TRUE(Call(
      WebSetPeq, Peq(1, 1, 1, 7, R"(,"frequency":200,"gain":6,"quality":0.7,"type":"LOW_SHELF")")));
  ExpectDone(
      "set peq",
      "[SUCCESS]Set analogue output CH1/CH2 EQ 8 to low shelf with FRQ 200Hz gain 6dB Q 0.7.\r\n");
  EXPECT_EQ(g_unit.config.output_preset[1], 2);
  std::vector<std::string> order = LoadOf(kOut, 1);  // CH2 takes CH1's Custom2 whole
  order.insert(order.end(), {"out 0 band 7", "out 1 band 7"});
  EXPECT_EQ(Order(Biquads()), order);
  EXPECT_TRUE(PlaysRecord(board(), kOut, 1));
  EXPECT_EQ(Mem(kOut, 2, 1).frequency[7], 200);

  // An output group: the refusal of a Flat member, then each custom member in its own memory.
  g_unit.config.group_output_stereo3[2] = 1;
  g_unit.config.group_output_stereo3[8] = 1;
  g_unit.config.group_output_stereo3[12] = 1;
  g_unit.config.output_preset[8] = 1;
  g_unit.config.output_preset[12] = 2;
  EXPECT_TRUE(Call(
      WebSetPeq, Peq(1, 16, 0, 1, R"(,"frequency":80,"gain":0,"quality":1.41,"type":"HIGHPASS")")));
  const std::string tail = " EQ 2 to highpass with FRQ 80Hz gain 0dB Q 1.41.\r\n";
  ExpectDone("set peq",
             "[SUCCESS]Set output group C" + tail +
                 "[ERROR]Analogue output CH3 equalizer is flat mode now, setting invalid. "
                 "(This error is if EQ is set to flat and not custom mode)\r\n"
                 "[SUCCESS]Set tarvo output CH5" +
                 tail + "[SUCCESS]Set USB output left" + tail);
  qs = Biquads();
  ASSERT_EQ(qs.size(), 2u);
  EXPECT_TRUE(WordsAre(qs[0], 80, 2, 1, 0.0f, 1.41f));
  EXPECT_EQ(Order(qs), (std::vector<std::string>{"out 8 band 1", "out 12 band 1"}));
}

TEST_F(EqWebTest, SetPeqChannelAnswersTheSlotsEq) {
  Mem(kIn, 2, 14).gain[5] = -7.5f;
  Mem(kIn, 2, 14).quality[5] = 1.41f;
  g_unit.config.input_preset[14] = 2;
  EXPECT_TRUE(Call(WebSetPeqChannel, R"({"comhead":"set peq chn","action":0,"chn":14})"));
  EXPECT_TRUE(answer_.save);
  EXPECT_FALSE(answer_.set_result);
  EXPECT_TRUE(answer_.notice.empty());
  EXPECT_TRUE(Biquads().empty());
  EXPECT_EQ(g_unit.config.input_geq_chn, 14);
  Json reply(cJSON_Parse(answer_.reply.c_str()));
  ASSERT_NE(reply, nullptr);
  std::vector<std::string> keys;
  for (cJSON* item = reply->child; item; item = item->next) keys.push_back(item->string);
  EXPECT_EQ(keys, (std::vector<std::string>{"power", "input_chn", "input_preset", "input_stereo",
                                            "input_flat", "input_custom1", "input_custom2",
                                            "input_name", "comhead", "result"}));
  EXPECT_EQ(cJSON_GetObjectItem(reply.get(), "input_chn")->valueint, 14);
  EXPECT_EQ(cJSON_GetObjectItem(reply.get(), "input_preset")->valueint, 2);
  EXPECT_EQ(cJSON_GetObjectItem(reply.get(), "input_stereo")->valueint, 1);
  EXPECT_EQ(cJSON_GetObjectItem(reply.get(), "result")->valueint, 1);
  EXPECT_STREQ(cJSON_GetObjectItem(reply.get(), "comhead")->valuestring, "set peq chn");
  const cJSON* custom2 = cJSON_GetObjectItem(reply.get(), "input_custom2");
  ASSERT_EQ(cJSON_GetArraySize(custom2), kEqBands);
  const cJSON* band = cJSON_GetArrayItem(custom2, 5);
  keys.clear();
  for (cJSON* item = band->child; item; item = item->next) keys.push_back(item->string);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"id", "frequency", "gain", "type", "quality", "bypass"}));
  EXPECT_EQ(cJSON_GetObjectItem(band, "id")->valueint, 5);
  EXPECT_EQ(cJSON_GetObjectItem(band, "frequency")->valueint, 3150);
  EXPECT_EQ(float(cJSON_GetObjectItem(band, "gain")->valuedouble), -7.5f);
  EXPECT_EQ(float(cJSON_GetObjectItem(band, "quality")->valuedouble), 1.41f);
  EXPECT_STREQ(cJSON_GetObjectItem(band, "type")->valuestring, "PARAMETRIC");
  EXPECT_EQ(cJSON_GetObjectItem(band, "bypass")->valueint, 1);
  EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItem(reply.get(), "input_name")), kChannelSlots);

  EXPECT_TRUE(Call(WebSetPeqChannel, R"({"comhead":"set peq chn","action":1,"chn":3})"));
  EXPECT_EQ(g_unit.config.output_geq_chn, 3);
  reply.reset(cJSON_Parse(answer_.reply.c_str()));
  keys.clear();
  for (cJSON* item = reply->child; item; item = item->next) keys.push_back(item->string);
  EXPECT_EQ(keys, (std::vector<std::string>{"power", "output_chn", "output_preset", "output_stereo",
                                            "output_name", "output_flat", "output_custom1",
                                            "output_custom2", "comhead", "result"}));
  ExpectRefused(WebSetPeqChannel, R"({"comhead":"set peq chn","action":0,"chn":18})",
                "set peq chn");
  ExpectRefused(WebSetPeqChannel, R"({"comhead":"set peq chn","action":2,"chn":1})", "set peq chn");
  ExpectRefused(WebSetPeqChannel, R"({"action":0,"chn":1})", "");
}

TEST_F(EqWebTest, SetPeqBypass) {
  g_unit.config.group_input_stereo2[1] = 1;
  g_unit.config.group_input_stereo2[6] = 1;
  g_unit.config.group_input_stereo2[9] = 1;
  g_unit.config.input_preset[6] = 1;
  g_unit.config.input_preset[9] = 2;
  Mem(kIn, 2, 9).gain[2] = 4.0f;
  EXPECT_TRUE(Call(WebSetPeqBypass,
                   R"({"comhead":"set peq bypass","action":0,"chn":15,"id":2,"bypass":1})"));
  ExpectDone("set peq bypass",
             "[SUCCESS]Set input group 2 EQ 3 on.\r\n"
             "[ERROR]Analogue intput CH2 equalizer is flat mode now, setting invalid. (This error "
             "is if EQ is set to flat and not custom mode)\r\n"
             "[SUCCESS]Set tarvo input CH3 EQ 3 on.\r\n"
             "[SUCCESS]Set tarvo input CH6 EQ 3 on.\r\n");
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 2u);
  EXPECT_TRUE(WordsAre(qs[1], 200, 0, 1, 4.0f, 1.41f));
  // An EQ-locked pair named by its second channel: the first's memory (Custom1) decides.
  g_unit.config.input_preset[8] = 1;
  EXPECT_TRUE(Call(WebSetPeqBypass,
                   R"({"comhead":"set peq bypass","action":0,"chn":9,"id":2,"bypass":0})"));
  ExpectDone("set peq bypass", "[SUCCESS]Set tarvo input CH5/CH6 EQ 3 off.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[9], 1);
  EXPECT_EQ(Mem(kIn, 1, 9).bypass[2], 0);
  EXPECT_EQ(Mem(kIn, 2, 9).bypass[2], 1);
  qs = Biquads();
  // CH6 takes CH5's Custom1 whole, then the switch on both.
  ASSERT_EQ(qs.size(), 10u);
  EXPECT_EQ(Order({qs.begin(), qs.begin() + 8}), LoadOf(kIn, 9));
  qs.erase(qs.begin(), qs.begin() + 8);
  EXPECT_EQ(Order(qs), (std::vector<std::string>{"in 8 band 2", "in 9 band 2"}));
  for (const auto& q : qs) EXPECT_EQ(q.words, (std::vector<uint32_t>{0, 0, 0x01000000, 0, 0}));
  EXPECT_TRUE(PlaysRecord(board(), kIn, 9));
  // The pair on Flat: the line, nothing switched; CH6 now plays its Flat memory.
  g_unit.config.input_preset[8] = 0;
  EXPECT_TRUE(Call(WebSetPeqBypass,
                   R"({"comhead":"set peq bypass","action":0,"chn":8,"id":2,"bypass":0})"));
  ExpectDone("set peq bypass", "[SUCCESS]Set tarvo input CH5/CH6 EQ 3 off.\r\n");
  EXPECT_EQ(Mem(kIn, 0, 8).bypass[2], 1);
  EXPECT_EQ(Order(Biquads()), LoadOf(kIn, 9));
  EXPECT_TRUE(PlaysRecord(board(), kIn, 9));
  ExpectRefused(WebSetPeqBypass,
                R"({"comhead":"set peq bypass","action":0,"chn":9,"id":2,"bypass":2})",
                "set peq bypass");
  ExpectRefused(WebSetPeqBypass, R"({"comhead":"set peq bypass","action":0,"chn":9,"bypass":1})",
                "set peq bypass");
}

TEST_F(EqWebTest, SetEqPreset) {
  Mem(kIn, 1, 0).gain[0] = 5.0f;
  EXPECT_TRUE(Call(WebSetEqPreset, R"({"comhead":"set eq preset","action":0,"chn":0,"preset":1})"));
  ExpectDone("set eq preset",
             "[SUCCESS]Set analogue input CH1 PEQ to Custom1.\r\n"
             "[SUCCESS]Set analogue input CH2 PEQ to Custom1.\r\n");
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 16u);
  EXPECT_TRUE(WordsAre(qs[0], 32, 0, 1, 5.0f, 1.41f));
  EXPECT_EQ(qs[8].Where(), "in 1 band 0");
  g_unit.config.group_input_stereo2[3] = 1;
  EXPECT_TRUE(
      Call(WebSetEqPreset, R"({"comhead":"set eq preset","action":0,"chn":15,"preset":2})"));
  ExpectDone("set eq preset",
             "[SUCCESS]Set input group B PEQ to Custom2.\r\n"
             "[SUCCESS]Set analogue input CH4 PEQ to Custom2.\r\n");
  EXPECT_EQ(g_unit.config.input_preset[15], 2);
  EXPECT_EQ(g_unit.config.input_preset[3], 2);
  ExpectRefused(WebSetEqPreset, R"({"comhead":"set eq preset","action":0,"chn":0,"preset":3})",
                "set eq preset");
}

TEST_F(EqWebTest, SetPeqReset) {
  Unlock(kOut);
  g_unit.config.output_preset[5] = 1;
  Mem(kOut, 1, 5).gain[1] = 9.0f;
  Mem(kOut, 2, 5).gain[1] = 9.0f;
  EXPECT_TRUE(Call(WebSetPeqReset, R"({"comhead":"set peq reset","action":1,"chn":5,"preset":2})"));
  ExpectDone("set peq reset", "[SUCCESS]Set tarvo output CH2 PEQ Custom2 to reset.\r\n");
  EXPECT_EQ(g_unit.config.output_preset[5], 2);
  EXPECT_EQ(Mem(kOut, 2, 5).gain[1], 0.0f);
  EXPECT_EQ(Mem(kOut, 1, 5).gain[1], 9.0f);
  EXPECT_EQ(Biquads().size(), 8u);
  // Flat: selected and loaded into the DSP.
  Mem(kOut, 0, 5).gain[1] = -2.0f;
  EXPECT_TRUE(Call(WebSetPeqReset, R"({"comhead":"set peq reset","action":1,"chn":5,"preset":0})"));
  ExpectDone("set peq reset", "[SUCCESS]Set tarvo output CH2 PEQ Flat to reset.\r\n");
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  EXPECT_TRUE(WordsAre(qs[1], 80, 0, 1, -2.0f, 1.41f));
  EXPECT_TRUE(
      Call(WebSetPeqReset, R"({"comhead":"set peq reset","action":1,"chn":16,"preset":1})"));
  ExpectDone("set peq reset", "[SUCCESS]Set output group C GEQ Custom1 to reset.\r\n");
  ExpectRefused(WebSetPeqReset, R"({"comhead":"set peq reset","action":1,"chn":16,"preset":-1})",
                "set peq reset");
}

TEST_F(EqWebTest, SetEqStereo) {
  Unlock(kIn);
  g_unit.config.input_preset[0] = 2;
  Mem(kIn, 2, 0).gain[6] = 3.0f;
  EXPECT_TRUE(Call(WebSetEqStereo, R"({"comhead":"set eq stereo","action":0,"chn":1,"stereo":1})"));
  ExpectDone("set eq stereo", "[SUCCESS]Set analogue input CH1/CH2 PEQ locked.\r\n");
  EXPECT_EQ(g_unit.config.input_stereo[0], 1);
  EXPECT_EQ(g_unit.config.input_stereo[1], 1);
  EXPECT_EQ(g_unit.config.input_preset[1], 2);
  EXPECT_EQ(Mem(kIn, 2, 1).gain[6], 3.0f);
  auto qs = Biquads();
  ASSERT_EQ(qs.size(), 8u);
  EXPECT_EQ(qs[6].Where(), "in 1 band 6");
  EXPECT_TRUE(WordsAre(qs[6], 8000, 0, 1, 3.0f, 1.41f));
  EXPECT_TRUE(Call(WebSetEqStereo, R"({"comhead":"set eq stereo","action":1,"chn":2,"stereo":1})"));
  ExpectDone("set eq stereo", "[SUCCESS]Set analogue output CH3/CH4 PEQ lock.\r\n");
  EXPECT_TRUE(Call(WebSetEqStereo, R"({"comhead":"set eq stereo","action":0,"chn":0,"stereo":0})"));
  ExpectDone("set eq stereo", "[SUCCESS]Set analogue input CH1/CH2 PEQ unlock.\r\n");
  EXPECT_TRUE(Biquads().empty());
  EXPECT_TRUE(
      Call(WebSetEqStereo, R"({"comhead":"set eq stereo","action":1,"chn":17,"stereo":0})"));
  ExpectDone("set eq stereo", "[SUCCESS]Set output group D PEQ unlock.\r\n");
  EXPECT_EQ(g_unit.config.output_stereo[17], 0);
  ExpectRefused(WebSetEqStereo, R"({"comhead":"set eq stereo","action":2,"chn":0,"stereo":1})",
                "set eq stereo");
  ExpectRefused(WebSetEqStereo, R"({"comhead":"set eq stereo","action":0,"chn":0,"stereo":2})",
                "set eq stereo");
}

TEST_F(EqWebTest, ThroughTheWebFrameTheLinesGoOutAndTheBandIsSaved) {
  std::filesystem::create_directories(platform::Path("/oem"));
  std::vector<std::string> notices;
  SetNoticeSink([&](const std::string& text) { notices.push_back(text); });
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  std::string reply;
  app.HandleInstr(R"({"comhead":"set peq","action":1,"chn":13,"preset":2,"id":4,)"
                  R"("frequency":12000,"gain":-6.5,"quality":3,"type":"HIGH_SHELF"})",
                  reply);
  SetNoticeSink(nullptr);
  Json parsed(cJSON_Parse(reply.c_str()));
  ASSERT_NE(parsed, nullptr) << reply;
  EXPECT_STREQ(cJSON_GetObjectItem(parsed.get(), "comhead")->valuestring, "set peq");
  EXPECT_EQ(cJSON_GetObjectItem(parsed.get(), "result")->valueint, 1);
  EXPECT_EQ(notices, (std::vector<std::string>{
                         "[SUCCESS]Set USB output left/right EQ 5 to high shelf with FRQ 12000Hz "
                         "gain -6.5dB Q 3.\r\n"}));
  EXPECT_EQ(Saves(), 1);
  app_config_s saved;
  std::string path;
  LoadAppConfigFile(path, "/oem/app.json", &saved, "02:00:00:00:00:01", "TRX");
  // The pair is EQ-locked: the first channel's Flat decides, so nothing is written.
  EXPECT_EQ(saved.output_flat_date[12].frequency[4], 1250);
  EXPECT_TRUE(Biquads().empty());
}

}  // namespace
