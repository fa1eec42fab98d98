#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "devctl/devices/board_lines.h"
#include "devctl/devices/gpio.h"
#include "platform/sysfs.h"
#include "tests/support/sim_unit.h"

namespace {

class GpioTest : public testsupport::SimUnitFixture {
 protected:
  GpioTest() : SimUnitFixture(Drivers()) {}
  void SetUp() override {
    SimUnitFixture::SetUp();
    GpioCloseAll();
  }
  void TearDown() override {
    GpioCloseAll();
    SimUnitFixture::TearDown();
  }
  std::string Captured(const std::function<void()>& f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(GpioTest, OpeningExportsOnceAndKeepsOneDescriptor) {
  EXPECT_FALSE(fs().Exported(53));
  EXPECT_EQ(GpioOpen(53), 0);
  GpioSetOut(53);
  EXPECT_EQ(GpioOpen(53), 0);
  EXPECT_EQ(fs().ExportCount(53), 1);
  EXPECT_EQ(fs().OpenCount("/sys/class/gpio/gpio53/value"), 1);
  GpioWrite(53, 1);
  EXPECT_EQ(fs().Level(53), 1);
  EXPECT_EQ(GpioRead(53), 1);
  GpioWrite(53, 0);
  EXPECT_EQ(GpioRead(53), 0);
}

TEST_F(GpioTest, InputLinesReadTheirLevel) {
  fs().SetInput(121, 0);
  GpioOpen(121);
  GpioSetIn(121);
  EXPECT_EQ(GpioRead(121), 0);
  fs().SetInput(121, 1);
  EXPECT_EQ(GpioRead(121), 1);
}

TEST_F(GpioTest, UnopenedAndOutOfRangeLinesAreRefusedWithAMessage) {
  const struct {
    int gpio;
    std::string message;
  } cases[] = {{47, "gpio 47 not open\n"},
               {6, "gpio 6 not open\n"},
               {160, "gpio 160 out of range\n"},
               {-1, "gpio -1 out of range\n"}};
  for (const auto& c : cases) {
    int r = 0;
    EXPECT_EQ(Captured([&] { r = GpioRead(c.gpio); }), c.message);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(Captured([&] { GpioWrite(c.gpio, 1); }), c.message);
  }
  EXPECT_EQ(Captured([] { ClearRebootGpios(); }), "gpio 48 not open\ngpio 47 not open\n");
  EXPECT_EQ(Captured([] { EXPECT_EQ(GpioOpen(160), -1); }), "gpio 160 out of range\n");
  EXPECT_TRUE(fs().History().empty());
}

TEST_F(GpioTest, FileFailuresAreReportedWithTheirMessages) {
  struct NoSysfs : platform::SysfsIo {
    int Access(const std::string&) override { return -1; }
    int Open(const std::string&, int) override { return -1; }
    long Seek(int, long) override { return -1; }
    long Read(int, void*, size_t) override { return -1; }
    long Write(int, const void*, size_t) override { return -1; }
    int Fsync(int) override { return -1; }
    int Close(int) override { return -1; }
  } none;
  platform::SetSysfs(&none);
  EXPECT_EQ(Captured([] { EXPECT_EQ(GpioOpen(12), -1); }),
            "fail to open device!\nopen gpio12 failed\n");
  EXPECT_EQ(Captured([] { EXPECT_EQ(GpioSetDirection(12, "out"), -1); }), "fail to device!\n");
  EXPECT_EQ(Captured([] { EXPECT_EQ(GpioUnexport(12), -1); }), "has no this gpio!\n");
  EXPECT_EQ(Captured([] { WriteSysfsInt(kLedUsbB, 255); }), "");
  platform::SetSysfs(nullptr);
}

TEST_F(GpioTest, UsbPortLedsAndSelectLine) {
  GpioOpen(kGpioUsbSelect);
  GpioSetOut(kGpioUsbSelect);
  const struct {
    int port;
    int select, led_b, led_c;
  } cases[] = {{0, 1, 0, 255}, {1, 0, 255, 0}, {2, 0, 255, 0}};
  for (const auto& c : cases) {
    SetUsbPortLeds(c.port);
    EXPECT_EQ(fs().Level(kGpioUsbSelect), c.select) << c.port;
    EXPECT_EQ(fs().LedValue("gpio1_b7"), c.led_b) << c.port;
    EXPECT_EQ(fs().LedValue("gpio1_c0"), c.led_c) << c.port;
  }
  SetBothUsbLeds(1);
  EXPECT_EQ(fs().LedValue("gpio1_b7"), 255);
  EXPECT_EQ(fs().LedValue("gpio1_c0"), 255);
}

TEST_F(GpioTest, PhantomLinesByChannel) {
  for (int line : kGpioPhantom) {
    GpioOpen(line);
    GpioSetOut(line);
  }
  for (int ch = 0; ch < 4; ++ch) SetPhantomGpio(ch, 1);
  EXPECT_EQ(fs().Level(53), 1);
  EXPECT_EQ(fs().Level(50), 1);
  fs().ClearHistory();
  SetPhantomGpio(4, 0);
  SetPhantomGpio(-1, 0);
  EXPECT_TRUE(fs().History().empty());
}

TEST_F(GpioTest, InitPowerGpiosEndState) {
  InitPowerGpios();
  EXPECT_EQ(fs().Level(107), 0);
  EXPECT_EQ(fs().Level(108), 1);
  EXPECT_EQ(fs().Level(109), 1);
  EXPECT_EQ(fs().Level(113), 0);
  EXPECT_TRUE(fs().IsOutput(112));
  EXPECT_TRUE(fs().History(112).empty());
  EXPECT_EQ(fs().LedValue("gpio-power3v3"), 255);
  SetAudioMuteGpio(5);
  EXPECT_EQ(fs().Level(113), 1);
  SetUsbResetGpios(0);
  EXPECT_EQ(fs().History(108).back().level, 0);
  EXPECT_EQ(fs().History(109).back().level, 0);
}

TEST_F(GpioTest, BoardFilesGetTheExactTexts) {
  // The board's implementation against real files below the temporary root.
  platform::SetSysfs(&platform::FileSysfs());
  std::string gpio = root_ + "/sys/class/gpio";
  ASSERT_TRUE(platform::MakeParentDirs(gpio + "/gpio53/value"));
  ASSERT_TRUE(platform::MakeParentDirs(root_ + "/sys/class/leds/gpio1_b7/brightness"));
  std::ofstream(gpio + "/export").close();
  std::ofstream(gpio + "/gpio53/direction").close();
  std::ofstream(gpio + "/gpio53/value").close();
  std::ofstream(root_ + "/sys/class/leds/gpio1_b7/brightness").close();
  auto read = [](const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  EXPECT_EQ(GpioExport(53), 0);
  EXPECT_EQ(read(gpio + "/export"), "53");
  GpioSetOut(53);
  EXPECT_EQ(read(gpio + "/gpio53/direction"), "out");
  EXPECT_EQ(GpioOpen(53), 0);
  GpioWrite(53, 1);
  EXPECT_EQ(read(gpio + "/gpio53/value"), std::string("1\0\0\0", 4));
  EXPECT_EQ(GpioRead(53), 1);
  WriteSysfsInt(kLedUsbB, 255);
  EXPECT_EQ(read(root_ + "/sys/class/leds/gpio1_b7/brightness"), "255");
  GpioCloseAll();
  platform::SetSysfs(nullptr);
}

}  // namespace
