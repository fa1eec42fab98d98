#include <thread>

#include "devctl/devices/io_expander.h"
#include "tests/support/sim_unit.h"

namespace {

using testsupport::Bytes;

class IoExpanderTest : public testsupport::SimUnitFixture {
 protected:
  IoExpanderTest() : SimUnitFixture(Drivers()) {}
};

TEST_F(IoExpanderTest, GainRangeCodesChangeAtMinus9And6And20Db) {
  const struct {
    unsigned ch;
    int db;
    uint8_t bits;
  } cases[] = {{0, 20, 3}, {0, 19, 2},  {0, 6, 2},  {0, 5, 1},
               {3, -9, 1}, {3, -10, 0}, {2, 30, 3}, {1, -30, 0}};
  for (const auto& c : cases) {
    for (unsigned ch = 0; ch < 4; ++ch) SetAnalogGainRange(ch, 0);
    EXPECT_EQ(SetAnalogGainRange(c.ch, c.db), 0);
    uint8_t out = board().expander(0x18)->Output();
    EXPECT_EQ((out >> (2 * c.ch)) & 3, c.bits) << "ch " << c.ch << " at " << c.db << " dB";
    EXPECT_EQ(out & ~(3 << (2 * c.ch)), 0x55 & ~(3 << (2 * c.ch))) << "other inputs kept";
  }
  bus().ClearTransfers();
  EXPECT_EQ(SetAnalogGainRange(4, 0), -1);
  EXPECT_EQ(bus().TransferCount(), 0u);
}

TEST_F(IoExpanderTest, AllInputsAt0DbWrite0x55) {
  for (unsigned ch = 0; ch < 4; ++ch) IoExpSetGainRange(ch, 0);
  EXPECT_EQ(Writes(4, 0x18).back(), (Bytes{0x01, 0x55}));
}

TEST_F(IoExpanderTest, PowerExpanderBits) {
  for (unsigned ch = 0; ch < 4; ++ch) IoExpSetPhantom(ch, 0);
  IoExpSetPhantom(0, 1);
  IoExpSetResetLine(0, 1);
  IoExpSetResetLine(1, 1);
  IoExpSetEnableLine(1);
  EXPECT_EQ(board().expander(0x1F)->Output(), 0x8E);
  bus().ClearTransfers();
  IoExpSetPhantom(4, 1);
  IoExpSetResetLine(2, 1);
  EXPECT_EQ(bus().TransferCount(), 0u);
  // Each power-line change pauses twice: the bus routine's 100 us and its own.
  int64_t before = clock_.SleptUs();
  IoExpSetEnableLine(0);
  EXPECT_EQ(clock_.SleptUs() - before, 200);
}

TEST_F(IoExpanderTest, InitWritesDirectionThenShadowInItsOrder) {
  IoExpInit();
  std::vector<std::pair<unsigned, Bytes>> seen;
  for (const auto& t : bus().Transfers()) seen.push_back({t.addr7, t.bytes});
  EXPECT_EQ(seen, (std::vector<std::pair<unsigned, Bytes>>{
                      {0x1F, {3, 0x00}},
                      {0x1F, {1, IoExpShadow(kIoExpPower)}},
                      {0x1B, {3, 0x00}},
                      {0x1B, {1, 0x44}},
                      {0x19, {3, 0x00}},
                      {0x19, {1, 0x44}},
                      {0x18, {3, 0x00}},
                      {0x18, {1, IoExpShadow(kIoExpGainRange)}},
                  }));
}

}  // namespace
