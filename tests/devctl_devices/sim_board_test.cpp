#include <fcntl.h>

#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "devctl/devices/i2c_bus.h"
#include "tests/support/sim_unit.h"

namespace {

class SimBoardTest : public testsupport::SimUnitFixture {
 protected:
  SimBoardTest() : SimUnitFixture(Drivers()) {}
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
}

TEST_F(SimBoardTest, DspDetectsASafeloadBrokenByAnotherThread) {
  const uint8_t word[4] = {0, 0, 0, 1};
  // One thread writes the data slot and stays alive while a second one starts its own safeload.
  std::promise<void> first_written, second_done;
  std::thread first([&] {
    I2cBus3Write16(kDspAAddress8, 0x6000, word, 4);
    first_written.set_value();
    second_done.get_future().wait();
  });
  first_written.get_future().wait();
  std::thread([&] { I2cBus3Write16(kDspAAddress8, 0x6000, word, 4); }).join();
  second_done.set_value();
  first.join();
  EXPECT_EQ(board().dsp_a().Interleavings(), 1u);
}

TEST_F(SimBoardTest, DspSafeloadCountsAndZeroImage) {
  sim::SimDsp& dsp = board().dsp_a();
  const uint8_t slots[] = {0, 0, 0, 7, 0, 0, 0, 8, 0, 0, 0, 9};
  I2cBus3Write16(kDspAAddress8, 0x6000, slots, sizeof slots);
  const uint8_t target[4] = {0, 0, 0x02, 0x00};
  I2cBus3Write16(kDspAAddress8, 0x6005, target, 4);
  const uint8_t count[4] = {0, 0, 0, 3};
  I2cBus3Write16(kDspAAddress8, 0x6006, count, 4);
  EXPECT_EQ(dsp.Word(0x200), 7u);
  EXPECT_EQ(dsp.Word(0x202), 9u);
  ASSERT_EQ(dsp.Safeloads().size(), 1u);

  // A zero block over the slots writes count 0: no safeload.
  std::vector<uint8_t> zeros(60);
  I2cBus3Write16(kDspAAddress8, 0x6000, zeros.data(), 60);
  EXPECT_EQ(dsp.Safeloads().size(), 1u);
  EXPECT_EQ(dsp.Word(0x200), 7u);

  const uint8_t too_many[4] = {0, 0, 0, 6};
  I2cBus3Write16(kDspAAddress8, 0x6006, too_many, 4);
  EXPECT_EQ(dsp.BadCounts(), 1u);
  EXPECT_EQ(dsp.Interleavings(), 0u);
}

TEST_F(SimBoardTest, DspControlRegistersTakeTwoByteValues) {
  const uint8_t values[] = {0x12, 0x34, 0x00, 0x05};
  I2cBus3Write16(kDspBAddress8, 0xF003, values, 4);
  EXPECT_EQ(board().dsp_b().Control(0xF003), 0x1234);
  EXPECT_EQ(board().dsp_b().Control(0xF004), 0x0005);
  EXPECT_EQ(board().dsp_b().ControlWrites(),
            (std::vector<sim::ControlWrite>{{0xF003, 0x1234}, {0xF004, 0x0005}}));
}

TEST_F(SimBoardTest, PublishesStateAsPlainText) {
  board().dsp_a().SetWord(0x10E, 0x0195BB8F);
  const uint8_t out = 0x55;
  I2cBus4Write(0x18, 1, &out, 1);
  ASSERT_TRUE(board().Publish());
  EXPECT_NE(ReadFile(root_ + "/sim/dsp_a.txt").find("cell 0x010E 0x0195BB8F\n"), std::string::npos);
  EXPECT_NE(
      ReadFile(root_ + "/sim/expanders.txt").find("expander 0x18 direction 0x00 output 0x55\n"),
      std::string::npos);
  EXPECT_NE(ReadFile(root_ + "/sim/gpio.txt").find("led gpio-power3v3 0\n"), std::string::npos);
}

TEST_F(SimBoardTest, InputFilesDriveKeysLinesAndMeters) {
  ASSERT_TRUE(board().Publish());  // creates <root>/sim/in
  WriteFile(root_ + "/sim/in/a", "keys 0x01 0x80\ngpio 49 0\nmeter b 0x88 0x11\nbogus\n");
  WriteFile(root_ + "/sim/in/b", "signal on");  // no newline yet: not taken
  EXPECT_EQ(board().PollInputs(), 3);
  EXPECT_EQ(board().keys().Status(), std::make_pair(uint8_t(0x01), uint8_t(0x80)));
  EXPECT_EQ(board().dsp_b().Word(0x88), 0x11u);
  EXPECT_EQ(board().dsp_a().Word(0x2A), 0u);
  EXPECT_NE(access((root_ + "/sim/in/b").c_str(), F_OK), -1);
  EXPECT_EQ(access((root_ + "/sim/in/a").c_str(), F_OK), -1);

  WriteFile(root_ + "/sim/in/b", "signal on\nkey OK release\nkey LEFT press\nkey SHIFT press\n");
  EXPECT_EQ(board().PollInputs(), 3);
  EXPECT_EQ(board().dsp_a().Word(0x2A), 0x00100000u);
  EXPECT_EQ(board().keys().Status(), std::make_pair(uint8_t(0x09), uint8_t(0x00)));
}

TEST_F(SimBoardTest, SysfsExportCreatesTheLineAndWritesReachObservers) {
  struct Recorder : platform::SysfsObserver {
    void OnGpioWrite(int gpio, int level, int64_t) override { seen.push_back({gpio, level}); }
    std::vector<std::pair<int, int>> seen;
  } recorder;
  fs().AddObserver(&recorder);
  auto write = [this](const std::string& path, const std::string& text) {
    int fd = fs().Open(path, O_WRONLY);
    if (fd < 0) return -1L;
    long r = fs().Write(fd, text.data(), text.size());
    fs().Close(fd);
    return r;
  };
  EXPECT_EQ(fs().Access("/sys/class/gpio/gpio53"), -1);
  EXPECT_EQ(write("/sys/class/gpio/gpio53/value", "1"), -1);
  EXPECT_EQ(write("/sys/class/gpio/export", std::string("53\0", 3)), 3);
  EXPECT_EQ(fs().Access("/sys/class/gpio/gpio53"), 0);
  EXPECT_EQ(write("/sys/class/gpio/export", "53"), -1) << "already exported";
  EXPECT_EQ(write("/sys/class/gpio/gpio53/value", "1"), -1) << "an input takes no level";
  EXPECT_EQ(write("/sys/class/gpio/gpio53/direction", std::string("out\0\0\0\0\0", 8)), 8);
  EXPECT_EQ(write("/sys/class/gpio/gpio53/value", std::string("1\0\0\0", 4)), 4);
  EXPECT_EQ(fs().Level(53), 1);
  EXPECT_EQ(recorder.seen, (std::vector<std::pair<int, int>>{{53, 1}}));

  fs().SetInput(49, 0);
  write("/sys/class/gpio/export", "49");
  int fd = fs().Open("/sys/class/gpio/gpio49/value", O_RDWR | O_SYNC);
  char buf[12] = {};
  EXPECT_EQ(fs().Read(fd, buf, sizeof buf), 2);
  EXPECT_STREQ(buf, "0\n");
  fs().Close(fd);
  fs().RemoveObserver(&recorder);
}

}  // namespace
