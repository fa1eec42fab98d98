// tplay: plays a WAV, MP3 or FLAC file into a contiguous range of the engine's transmit
// channels, once or repeating.
#include <getopt.h>

#include <cstdio>
#include <memory>
#include <string>

#include "netaudio_play/Playback.h"
#include "netaudio_play/SndfileDecoder.h"
#include "tarvo/TarvoLine.h"
#include "tarvo/TarvoPriority.h"
#include "tarvo/TarvoTool.h"

namespace {

constexpr int kDefaultLatency = 48;

void printUsage() {
  Tarvo::printLines({
      "Usage:",
      "\t-h Show help",
      "\t-l Playback Tx Latency (# samples) - default is " + std::to_string(kDefaultLatency),
      std::string("\t-s Shared memory name to use - default is ") + Tarvo::kDefaultAreaName,
      "\t-c The first contiguous channel that the file will be played over - default is 1",
      "\t-n The number of contiguous channels that will be used - default is 0",
      "\t\t If this value is set to '0', the number of channels will be determined by the file",
      "\t\t Specifying a number of outputs greater than the number of file channels will cause "
      "nothing to be send to the excess channels.",
      "\t-r Repeat forever",
      "",
      "\t-v Print out version",
  });
}

// The decoder for the file's extension (from its last "."), or nullptr.
std::unique_ptr<Decoder> decoderFor(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return nullptr;
  const std::string extension = path.substr(dot);
  if (extension == ".mp3") return std::make_unique<MP3Decoder>();
  if (extension == ".wav") return std::make_unique<WavDecoder>();
  if (extension == ".flac") return std::make_unique<FlacDecoder>();
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::string areaName = Tarvo::kDefaultAreaName;
  int latency = kDefaultLatency;
  bool repeat = false;
  int startChannel = 1;
  int channelCount = 0;

  int opt;
  while ((opt = getopt(argc, argv, "l:s:r::c:n:hv")) != -1) {
    switch (opt) {
      case 'v':
        Tarvo::printVersion();
        return 0;
      case 's':
        areaName = optarg;
        break;
      case 'l':
        latency = Tarvo::parseLatency(optarg);
        break;
      case 'r':
        repeat = true;
        break;
      case 'c':
        startChannel = Tarvo::parseInt(optarg);
        if (startChannel < 1) {
          Tarvo::writeLine(stdout, "Starting channel '-c' should be positive.");
          return 1;
        }
        break;
      case 'n':
        channelCount = Tarvo::parseInt(optarg);
        if (channelCount < 0) {
          Tarvo::writeLine(stdout, "Number of channels '-n' should be non-negative");
          return 1;
        }
        break;
      default:
        printUsage();
        return 1;
    }
  }

  Tarvo::printToolSettings(areaName, latency);
  Tarvo::writeLine(stdout, "Starting channel: " + std::to_string(unsigned(startChannel)));
  Tarvo::writeLine(stdout, "Number of channels: " + std::to_string(channelCount));
  Tarvo::writeLine(stdout, std::string("Repeat: ") + (repeat ? "yes" : "no"));

  if (optind >= argc) {
    Tarvo::writeLine(stderr, "Error: Input filename not provided.");
    return 1;
  }
  const std::string path = argv[optind];
  std::unique_ptr<Decoder> decoderObject = decoderFor(path);
  if (!decoderObject) {
    Tarvo::writeLine(stderr, "Format should be one of 'mp3', 'wav', 'flac'.");
    return 1;
  }
  if (!decoderObject->open(path.c_str())) {
    Tarvo::writeLine(stderr, "There was an issue opening the file.  Exiting...");
    return 1;
  }

  Decoder* decoder = decoderObject.get();
  Tarvo::Buffers buffers;
  {
    Playback playback(buffers, latency, decoder, unsigned(startChannel - 1), channelCount, repeat);
    setTarvoPriority(argv[0]);
    Tarvo::Runner runner(buffers);
    Tarvo::ToolHooks hooks;
    hooks.work = [&playback](unsigned periods) { playback.work(periods); };
    hooks.reset = [&playback, &runner] { playback.reset(runner.lastPeriodCount()); };
    Tarvo::runToolMainLoop(buffers, runner, areaName, hooks);
    cleanupTarvoPriority();
  }
  return 0;
}
