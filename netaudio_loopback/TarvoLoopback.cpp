// tloopback: sends back what the network delivers, receive channel i to transmit channel i.
//
//   tloopback [-l samples] [-s name] [-v]
#include <unistd.h>

#include <string>

#include "netaudio_loopback/Loopback.h"
#include "tarvo/TarvoHeader.h"
#include "tarvo/TarvoPriority.h"
#include "tarvo/TarvoTool.h"

namespace {

constexpr int kDefaultLatency = 48;

void usage() {
  Tarvo::printLines({
      "Usage:",
      "\t-l Loopback Tx Latency (# samples) - default is " + std::to_string(kDefaultLatency),
      std::string("\t-s Shared memory name to use - default is ") + Tarvo::kDefaultAreaName,
      "\t-v Print out version",
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::string areaName = Tarvo::kDefaultAreaName;
  int latency = kDefaultLatency;
  int opt;
  while ((opt = getopt(argc, argv, "l:s:v")) != -1) {
    switch (opt) {
      case 'v':
        Tarvo::printVersion();
        return 0;
      case 'l':
        latency = Tarvo::parseLatency(optarg);
        break;
      case 's':
        areaName = optarg;
        break;
      default:
        usage();
        return 1;
    }
  }
  Tarvo::printToolSettings(areaName, latency);

  Tarvo::Buffers buffers;
  Tarvo::Runner runner(buffers);
  Loopback loopback(buffers, latency);
  setTarvoPriority(argv[0]);

  Tarvo::ToolHooks hooks;
  hooks.work = [&loopback](unsigned periods) { loopback.work(periods); };
  hooks.reset = [&loopback, &runner] { loopback.reset(runner.lastPeriodCount()); };
  Tarvo::runToolMainLoop(buffers, runner, areaName, hooks);

  cleanupTarvoPriority();
  return 0;
}
