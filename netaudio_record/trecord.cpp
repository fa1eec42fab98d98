// trecord: records every receive channel of the area into one WAV file until SIGINT or SIGTERM.
//
//   trecord [-l samples] [-s name] [-o file] [-h] [-v]
//
// Exit status 0 for a normal end (also when the output cannot be opened), 1 for refused
// options, a write error or a receive layout that a WAV file cannot hold.
#include <unistd.h>

#include <csignal>
#include <string>

#include "netaudio_record/Recorder.h"
#include "tarvo/TarvoHeader.h"
#include "tarvo/TarvoPriority.h"
#include "tarvo/TarvoTool.h"

namespace {

constexpr int kDefaultLatency = 480;
const char* const kDefaultOutFileName = "sound.wav";

const char* outFileName = kDefaultOutFileName;

void usage() {
  Tarvo::printLines({
      "Usage:",
      "\t-h Show help",
      "\t-l Loopback Tx Latency (# samples) - default is " + std::to_string(kDefaultLatency),
      std::string("\t-s Shared memory name to use - default is ") + Tarvo::kDefaultAreaName,
      std::string("\t-o output file name prefix - default is ") + kDefaultOutFileName,
      "\t-v Print out version",
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::string areaName = Tarvo::kDefaultAreaName;
  int latency = kDefaultLatency;
  int opt;
  while ((opt = getopt(argc, argv, "l:s:o:hv")) != -1) {
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
      case 'o':
        outFileName = optarg;
        break;
      default:
        usage();
        return 1;
    }
  }
  Tarvo::printToolSettings(areaName, latency);

  Tarvo::Buffers buffers;
  Tarvo::Runner runner(buffers);
  Recorder recorder(buffers, latency, outFileName);
  setTarvoPriority(argv[0]);
  // A terminated recording is completed like an interrupted one; a file-size limit shows up as
  // a write error instead of killing the program before the file is completed.
  Tarvo::installStopHandler(SIGTERM);
  signal(SIGXFSZ, SIG_IGN);

  Tarvo::ToolHooks hooks;
  hooks.work = [&recorder](unsigned periods) { recorder.work(periods); };
  hooks.reset = [&recorder, &runner] { recorder.reset(runner.lastPeriodCount()); };
  hooks.afterRun = [&recorder] { recorder.cleanup(); };
  Tarvo::runToolMainLoop(buffers, runner, areaName, hooks);

  cleanupTarvoPriority();
  recorder.close_encoders();
  return recorder.failed() ? 1 : 0;
}
