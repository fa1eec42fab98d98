// Prints what the DSP layer costs against the simulated board with the system clock: a complete
// boot of both DSPs (3,303 transfers, 40 ms of pauses), one configuration apply, one parameter
// change (a one-word safeload) and one EQ band.
// Usage: dsp_bench [rounds]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "devctl/core/config_defaults.h"
#include "devctl/hardware/apply_config.h"
#include "devctl/devices/board_lines.h"
#include "devctl/devices/dsp_biquad.h"
#include "devctl/devices/dsp_boot.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/gpio.h"
#include "platform/sim_i2c.h"
#include "sim/board/board.h"

namespace {

template <typename F>
double MicrosPerCall(int rounds, F&& f) {
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) f(i);
  std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / rounds;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  if (rounds <= 0) rounds = 2000;
  sim::Board board;
  platform::SimI2cBus& bus = platform::sim_i2c();

  bus.ClearTransfers();
  double boot = MicrosPerCall(3, [](int) { DspBootAll(); });
  uint64_t boot_transfers = bus.TransferCount() / 3;

  for (int line : kGpioPhantom) {
    GpioOpen(line);
    GpioSetOut(line);
  }
  auto cfg = std::make_unique<app_config_s>();
  ResetAppConfig("", cfg.get(), "");
  bus.ClearTransfers();
  double apply = MicrosPerCall(10, [&](int) { ApplyConfigToHardware(*cfg); });
  uint64_t apply_transfers = bus.TransferCount() / 10;

  double word = MicrosPerCall(rounds, [](int i) { DspSetInputGain(4 + i % 8, i % 30); });
  double band = MicrosPerCall(rounds, [](int i) {
    DspSetBiquad(0, uint32_t(i % 14), uint8_t(i % 8), 100 + i, 0, 1, 3.0f, 1.0f);
  });

  std::printf("boot of both DSPs:        %10.1f us  (%llu transfers)\n", boot,
              static_cast<unsigned long long>(boot_transfers));
  std::printf("configuration apply:      %10.1f us  (%llu transfers)\n", apply,
              static_cast<unsigned long long>(apply_transfers));
  std::printf("one-word safeload:        %10.2f us\n", word);
  std::printf("EQ band design and write: %10.2f us\n", band);
  std::printf("(the 5 us pause after each block write is a real sleep here)\n");
  return 0;
}
