// A simulated board with the text dispatcher in front: a line in, the reply lines out.
#pragma once

#include <filesystem>
#include <string>

#include "devctl/core/config_file.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/dispatcher.h"
#include "tests/devctl_text/output_log.h"
#include "tests/devctl_web/board_fixture.h"

namespace outtest {

class TextCommandTest : public webtest::BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    std::filesystem::create_directories(platform::Path("/oem"));
  }
  // The reply lines between the leading "\r\n" and the prompt; the bus log starts afresh.
  std::string Run(std::string line) {
    platform::sim_i2c().ClearTransfers();
    std::string reply = DispatchLine(3, line.data(), static_cast<int>(line.size()));
    EXPECT_EQ(reply.substr(0, 2), "\r\n");
    EXPECT_EQ(reply.substr(reply.size() - 7), "VX7206>");
    return reply.substr(2, reply.size() - 9);
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  sim::SimDsp& DspOf(int c) { return (c >= 4 && c < 12) ? board_->dsp_b() : board_->dsp_a(); }
  uint32_t VolumeCell(int c) { return DspOf(c).Word(uint16_t(g_dsp_output_volume_addr[c])); }
  bool OutputMutedCell(int c) { return DspOf(c).Word(uint16_t(g_dsp_output_mute_addr[c])) == 0; }
  bool InputMutedCell(int c) { return DspOf(c).Word(uint16_t(g_dsp_input_mute_addr[c])) == 0; }
  uint32_t DelayCell(int c) { return DspOf(c).Word(uint16_t(g_dsp_output_delay_addr[c])); }
  uint32_t SourceCell(int c) { return board_->dsp_a().Word(uint16_t(g_dsp_output_source_addr[c])); }
};

}  // namespace outtest
