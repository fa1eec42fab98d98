#include <functional>
#include <map>

#include "devctl/devices/i2c_bus.h"
#include "tests/support/sim_unit.h"

namespace {

using testsupport::Bytes;

using Op = platform::SimI2cBus::Op;

// A bus-5 device whose read at register r answers {2r, 2r + 1, ...}: shows which byte of which
// read lands where.
class RegisterEcho : public platform::SimI2cDevice {
 public:
  bool OnWrite(const uint8_t* data, size_t n) override {
    if (n > 0) reg_ = data[n - 1];
    return true;
  }
  bool OnRead(uint8_t* out, size_t n) override {
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(2 * reg_ + i);
    return true;
  }
  uint8_t reg_ = 0;
};

class I2cBusTest : public testsupport::SimUnitFixture {
 protected:
  I2cBusTest() : SimUnitFixture(Drivers()) {}
};

TEST_F(I2cBusTest, EmptyWriteSendsOnlyTheRegisterAddress) {
  struct Case {
    const char* routine;
    std::function<int()> call;
    unsigned bus, addr7;
    Bytes expected;
  } cases[] = {
      {"bus 3", [] { return I2cBus3Write16(0x70, 0x1234, nullptr, 0); }, 3, 0x38, {0x12, 0x34}},
      {"bus 4", [] { return I2cBus4Write(0x1F, 0x01, nullptr, 0); }, 4, 0x1F, {0x01}},
      {"bus 5", [] { return I2cBus5Write(0x48, 0x27, nullptr, 0); }, 5, 0x24, {0x27}},
  };
  for (auto& c : cases) {
    bus().ClearTransfers();
    EXPECT_EQ(c.call(), 0) << c.routine;
    EXPECT_EQ(Writes(c.bus, c.addr7), std::vector<Bytes>{c.expected}) << c.routine;
  }
  EXPECT_EQ(bus().OpenHandles(), 0u);
}

TEST_F(I2cBusTest, WritesPutTheRegisterInFrontOfTheData) {
  const uint8_t data[] = {0xAA, 0xBB, 0xCC};
  EXPECT_EQ(I2cBus3Write16(0x72, 0x6000, data, 3), 0);
  EXPECT_EQ(I2cBus4Write(0x18, 0x01, data, 1), 0);
  EXPECT_EQ(I2cBus5Write(0x48, 0x01, data, 2), 0);
  EXPECT_EQ(Writes(3, 0x39), (std::vector<Bytes>{{0x60, 0x00, 0xAA, 0xBB, 0xCC}}));
  EXPECT_EQ(Writes(4, 0x18), (std::vector<Bytes>{{0x01, 0xAA}}));
  EXPECT_EQ(Writes(5, 0x24), (std::vector<Bytes>{{0x01, 0xAA, 0xBB}}));
}

TEST_F(I2cBusTest, ShortWritesContinueFromTheFirstUnsentByte) {
  bus().SetWriteLimit(3);
  const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(I2cBus3Write16(0x70, 0x0102, data, 8), 0);
  Bytes all;
  for (const auto& w : Writes(3, 0x38)) {
    EXPECT_LE(w.size(), 3u);
    all.insert(all.end(), w.begin(), w.end());
  }
  EXPECT_EQ(all, (Bytes{0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(I2cBusTest, Bus5ReadKeepsByteIOfTheReadAtRegisterPlusI) {
  RegisterEcho echo;
  bus().Attach(5, 0x30, &echo);
  uint8_t out[2] = {0xEE, 0xEE};
  EXPECT_EQ(I2cBus5Read(0x60, 0x31, out, 2, 0), 0);
  // Read at 0x31 gives {0x62, 0x63}; read at 0x32 gives {0x64, 0x65}.
  EXPECT_EQ(out[0], 0x62);
  EXPECT_EQ(out[1], 0x65);
  auto t = bus().Transfers(5, 0x30);
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].bytes, Bytes{0x31});
  EXPECT_EQ(t[1].bytes.size(), 2u);
  EXPECT_EQ(t[2].bytes, Bytes{0x32});

  bus().ClearTransfers();
  EXPECT_EQ(I2cBus5Read(0x60, 0x1234, out, 1, 1), 0);
  EXPECT_EQ(bus().Transfers(5, 0x30).at(0).bytes, (Bytes{0x12, 0x34}));

  bus().ClearTransfers();
  EXPECT_EQ(I2cBus5Read(0x60, 0x31, out, 0, 0), 0);
  EXPECT_EQ(bus().TransferCount(), 0u);
  bus().Detach(5, 0x30);
}

TEST_F(I2cBusTest, KeyControllerStatusReachesBothBytes) {
  board().keys().SetStatus(0x02, 0x80);
  uint8_t out[2] = {};
  EXPECT_EQ(I2cBus5Read(kKeyControllerAddress8, 0x31, out, 2, 0), 0);
  EXPECT_EQ(out[0], 0x02);
  EXPECT_EQ(out[1], 0x80);
}

TEST_F(I2cBusTest, OversizedRequestsAreRefused) {
  uint8_t out[16] = {};
  EXPECT_EQ(I2cBus5Read(0x48, 0x31, out, 9, 0), 255);
  std::vector<uint8_t> big(kI2cMaxWriteData + 1);
  EXPECT_EQ(I2cBus3Write16(0x70, 0, big.data(), uint32_t(big.size())), 255);
  EXPECT_EQ(bus().TransferCount(), 0u);
}

TEST_F(I2cBusTest, FailuresGiveTheirMessageAndReleaseTheBus) {
  const uint8_t one = 1;
  struct Case {
    const char* what;
    std::function<void()> fault;
    std::function<int()> call;
    std::string message;
  } cases[] = {
      {"bus 3 write, no device file", [this] { bus().SetBusPresent(3, false); },
       [&] { return I2cBus3Write16(0x70, 0x10, &one, 1); }, "Open /dev/i2c-3 error!\n"},
      {"bus 3 write, address", [this] { bus().FailNext(Op::kSetAddress); },
       [&] { return I2cBus3Write16(0x70, 0x10, &one, 1); }, "set i2c device address error!\n"},
      {"bus 3 write, no acknowledge", [this] { board().dsp_a().SetPresent(false); },
       [&] { return I2cBus3Write16(0x70, 0x10, &one, 1); }, "i2c write error!\n"},
      {"bus 3 read, no device file", [this] { bus().SetBusPresent(3, false); },
       [] {
         uint8_t w[4];
         return I2cBus3Read16(0x70, 0x10, w);
       },
       "Open /dev/i2c-3 error!\n"},
      {"bus 3 read, address", [this] { bus().FailNext(Op::kSetAddress); },
       [] {
         uint8_t w[4];
         return I2cBus3Read16(0x70, 0x10, w);
       },
       "CMD_SET_I2C_SLAVE error!\n"},
      {"bus 3 read, transfer", [this] { board().dsp_a().SetPresent(false); },
       [] {
         uint8_t w[4];
         return I2cBus3Read16(0x70, 0x10, w);
       },
       ""},
      {"bus 4, no device file", [this] { bus().SetBusPresent(4, false); },
       [&] { return I2cBus4Write(0x18, 1, &one, 1); }, ""},
      {"bus 4, address", [this] { bus().FailNext(Op::kSetAddress); },
       [&] { return I2cBus4Write(0x18, 1, &one, 1); }, ""},
      {"bus 4, no acknowledge", [this] { board().expander(0x18)->SetPresent(false); },
       [&] { return I2cBus4Write(0x18, 1, &one, 1); }, ""},
      {"bus 5 write, no device file", [this] { bus().SetBusPresent(5, false); },
       [&] { return I2cBus5Write(0x48, 1, &one, 1); }, "Open /dev/i2c-5 error!\n"},
      {"bus 5 write, address", [this] { bus().FailNext(Op::kSetAddress); },
       [&] { return I2cBus5Write(0x48, 1, &one, 1); }, "set i2c device address error!\n"},
      {"bus 5 write, no acknowledge", [this] { board().keys().SetPresent(false); },
       [&] { return I2cBus5Write(0x48, 1, &one, 1); }, ""},
      {"bus 5 read, address", [this] { bus().FailNext(Op::kSetAddress); },
       [] {
         uint8_t o[2];
         return I2cBus5Read(0x48, 0x31, o, 2, 0);
       },
       "CMD_SET_I2C_SLAVE error!\n"},
      {"bus 5 read, transfer", [this] { board().keys().SetPresent(false); },
       [] {
         uint8_t o[2];
         return I2cBus5Read(0x48, 0x31, o, 2, 0);
       },
       "CMD_I2C_READ error!\n"},
      {"bus 5 byte writes, no acknowledge", [this] { board().keys().SetPresent(false); },
       [&] { return I2cBus5WriteBytes(0x48, 1, &one, 1, 0); }, "i2c write error!\n"},
  };
  for (auto& c : cases) {
    c.fault();
    testing::internal::CaptureStdout();
    int result = c.call();
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 255) << c.what;
    EXPECT_EQ(printed, c.message) << c.what;
    EXPECT_EQ(bus().OpenHandles(), 0u) << c.what;

    // Healed, the same call succeeds at once: the bus lock was released.
    bus().ClearFaults();
    board().dsp_a().SetPresent(true);
    board().expander(0x18)->SetPresent(true);
    board().keys().SetPresent(true);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.call(), 0) << c.what;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.what;
  }
}

TEST_F(I2cBusTest, FailedReadLeavesTheWordAsItWas) {
  board().dsp_a().SetWord(0x2A, 0x11223344);
  uint8_t w[4] = {9, 9, 9, 9};
  board().dsp_a().SetPresent(false);
  EXPECT_EQ(I2cBus3Read16(0x70, 0x2A, w), 255);
  EXPECT_EQ(Bytes(w, w + 4), (Bytes{9, 9, 9, 9}));
  board().dsp_a().SetPresent(true);
  EXPECT_EQ(I2cBus3Read16(0x70, 0x2A, w), 0);
  EXPECT_EQ(Bytes(w, w + 4), (Bytes{0x11, 0x22, 0x33, 0x44}));
}

TEST_F(I2cBusTest, Bus4PausesAfterEveryCallEvenWhenItFails) {
  const uint8_t v = 0x55;
  int64_t before = clock_.SleptUs();
  I2cBus4Write(0x18, 1, &v, 1);
  bus().SetBusPresent(4, false);
  I2cBus4Write(0x18, 1, &v, 1);
  EXPECT_EQ(clock_.SleptUs() - before, 200);
}

}  // namespace
