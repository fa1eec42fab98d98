// Fuzz target: received text through the line dispatcher and every text command it reaches. The
// input is split into lines at CR; each line comes from one of three clients.
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devctl/core/config_defaults.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/unit_state.h"
#include "devctl/text/dispatcher.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "sim/board/board.h"

extern const std::vector<std::string> kFuzzSeeds = {
    "IN 1 GAIN 5\r",
    "in1gain+3\rIN 0 GAIN-2\r",
    "reset\ryes\rreset all\rno\r",
    "NET IP 10.0.0.5\rSTATUS\rIN 15 GAIN 7\r",
    "help\r?\r",
    "in 1 name Stage Left\r",
    "PRESET 1 NAME SAVE ME\r",
    "IN 99999999999 GAIN -99999999999\r",
    "\x7f\x7f\x7f\r\n",
    "OUT 1 EQ 1 FRQ 100\rusbport 1\r",
};

namespace {

void Prepare() {
  static bool done = [] {
    static char root[] = "/tmp/devctl_text_fuzz_XXXXXX";
    if (mkdtemp(root) == nullptr) abort();
    // The folder goes when the run ends normally; a crash keeps it for a look.
    atexit([] { std::system((std::string("rm -rf '") + root + "'").c_str()); });
    platform::SetRoot(root);
    platform::MakeParentDirs(platform::Path("/oem/app.json"));
    platform::MakeParentDirs(platform::Path("/etc/hostname"));
    static platform::FakeClock clock;
    platform::SetClock(&clock);
    // Every command saves; the saves are flushed file by file but never sync the host's disks.
    platform::SetHostSync(false);
    static sim::Board board;
    ResetAppConfig("/oem/app.json", &g_unit.config, "02:00:00:00:00:01");
    g_unit.config_path = "/oem/app.json";
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Prepare();
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  int client = 0;
  while (start <= input.size()) {
    size_t end = input.find('\r', start);
    if (end == std::string::npos) end = input.size();
    std::vector<char> line(input.begin() + start, input.begin() + end);
    if (end < input.size()) line.push_back('\r');
    ConfigLock lock;
    std::string reply = DispatchLine(3 + client, line.data(), static_cast<int>(line.size()));
    // A command that wakes a unit in standby sends the power-on notice ahead of its reply.
    static const std::string kWakeNotice =
        "[SUCCESS]Set system power on, please wait a moment...\r\n";
    if (reply.compare(0, kWakeNotice.size(), kWakeNotice) == 0) reply.erase(0, kWakeNotice.size());
    if (reply.size() < 2 || reply.compare(0, 2, "\r\n") != 0) abort();
    if (reply.compare(reply.size() - 1, 1, ">") != 0) abort();
    client = (client + 1) % 3;
    start = end + 1;
  }
  return 0;
}
