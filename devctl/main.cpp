// devctl, the control program of the unit. It takes no arguments and reads no environment (the
// simulated build reads its board folder from DEVCTL_SIM_ROOT, and with DEVCTL_LOCK_TIMES=1 it
// records how long the configuration lock is held, for the benchmarks); it starts every service in
// one fixed order, applies the stored power state and then idles for ever.
#include <csignal>
#include <cstdlib>

#include "devctl/app/startup.h"
#include "devctl/core/timer.h"
#include "devctl/devices/key_scanner.h"
#include "devctl/web/application.h"
#include "platform/clock.h"

#ifdef DEVCTL_SIM
#include "devctl/core/config_lock.h"
#include "platform/sim_sysfs.h"
#include "sim/board/board.h"
#include "sim/board/front_panel.h"
#endif

int main() {
  // A control client that closed its connection must cost a failed write, not the process.
  std::signal(SIGPIPE, SIG_IGN);

#ifdef DEVCTL_SIM
  const char* lock_times = std::getenv("DEVCTL_LOCK_TIMES");
  if (lock_times && *lock_times == '1') SetConfigLockTiming(true);
  // The simulated board stands in for the hardware; its state files and inputs are under
  // <root>/sim/.
  static sim::Board board;
  static sim::FrontPanel front_panel(board);
  board.Start();
  // The board's temperature sensor reads about 37 C.
  platform::sim_sysfs().SetFile("/sys/bus/iio/devices/iio:device1/in_voltage0_raw", "400\n");
#endif

  CApplication app("appthread");
  CKey keys("keythread");
  CTimer timer("timerthread");
  DevctlStartup(app, keys, timer);
  for (;;) platform::SleepMs(1000);
}
