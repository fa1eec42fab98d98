// tarvo_engine: the stand-in network-audio engine in real time, for end-to-end runs of the
// tools and the ALSA plug-in (and scripts/sim).
//
//   tarvo_engine [--name N] [--split] [--tx N] [--rx N] [--rate HZ] [--encoding BITS]
//                [--spc SAMPLES] [--spp SAMPLES] [--pad BYTES] [--start-count P]
//                [--timing sem|poll|type2|missing|none] [--tx-after poison|zero|keep]
//                [--rx-content pattern|sine|silence|loop] [--capture DIR] [--periods N]
//                [--post-cap N] [--max-channels N] [--max-spc N] [--drift-ppm N]
//                [--time-flag-stuck] [--fifo]
//
// Prints "ready" on stdout once the area exists. Reads commands from stdin, one per line:
//   stall MS          no periods and no posts for MS milliseconds
//   burst K           K periods handed over at once (the time of K periods passes first)
//   rewind K          period_count back by K without a reset
//   rate HZ           reconfigure to another sample rate
//   channels TX RX    reconfigure the channel counts (within --max-channels)
//   period SAMPLES    reconfigure samples_per_period (0: a layout that cannot carry audio)
//   hold MS           reset_count odd for MS milliseconds (-1: until "release")
//   release           end a hold
//   close [unlink]    magic 0 (and remove the names)
//   reopen            magic back
//   recreate MS       close and unlink, then after MS milliseconds create the area anew
//   quit              end
// On SIGINT/SIGTERM/quit/--periods it removes the area and prints one JSON line of counters:
// periods, posts, late transmit samples per channel, and its own deadline lateness.
// --capture DIR writes every consumed transmit sample of channel c to DIR/tx<c>.raw (int32).
#include <getopt.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/engine/StandInEngine.h"

namespace {

using sim::StandInEngine;

std::atomic<bool> g_stop{false};

void onStopSignal(int) { g_stop = true; }

struct Options {
  StandInEngine::Config config;
  std::string captureDir;
  uint64_t periods = 0;  // 0: until stopped
  bool fifo = false;
};

bool parseEnum(const char* text, std::initializer_list<const char*> names, int& out) {
  int i = 0;
  for (const char* name : names) {
    if (strcmp(text, name) == 0) {
      out = i;
      return true;
    }
    ++i;
  }
  return false;
}

bool parseOptions(int argc, char** argv, Options& o) {
  enum {
    kName = 1000,
    kSplit,
    kTx,
    kRx,
    kRate,
    kEncoding,
    kSpc,
    kSpp,
    kPad,
    kStart,
    kTiming,
    kTxAfter,
    kRxContent,
    kCapture,
    kPeriods,
    kPostCap,
    kMaxCh,
    kMaxSpc,
    kFifo,
    kDrift,
    kFlagStuck
  };
  static const option longOptions[] = {{"name", required_argument, nullptr, kName},
                                       {"split", no_argument, nullptr, kSplit},
                                       {"tx", required_argument, nullptr, kTx},
                                       {"rx", required_argument, nullptr, kRx},
                                       {"rate", required_argument, nullptr, kRate},
                                       {"encoding", required_argument, nullptr, kEncoding},
                                       {"spc", required_argument, nullptr, kSpc},
                                       {"spp", required_argument, nullptr, kSpp},
                                       {"pad", required_argument, nullptr, kPad},
                                       {"start-count", required_argument, nullptr, kStart},
                                       {"timing", required_argument, nullptr, kTiming},
                                       {"tx-after", required_argument, nullptr, kTxAfter},
                                       {"rx-content", required_argument, nullptr, kRxContent},
                                       {"capture", required_argument, nullptr, kCapture},
                                       {"periods", required_argument, nullptr, kPeriods},
                                       {"post-cap", required_argument, nullptr, kPostCap},
                                       {"max-channels", required_argument, nullptr, kMaxCh},
                                       {"max-spc", required_argument, nullptr, kMaxSpc},
                                       {"fifo", no_argument, nullptr, kFifo},
                                       {"drift-ppm", required_argument, nullptr, kDrift},
                                       {"time-flag-stuck", no_argument, nullptr, kFlagStuck},
                                       {nullptr, 0, nullptr, 0}};
  StandInEngine::Config& c = o.config;
  int opt;
  int e = 0;
  while ((opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
    auto number = [] { return strtoull(optarg, nullptr, 0); };
    switch (opt) {
      case kName:
        c.name = optarg;
        break;
      case kSplit:
        c.split = true;
        break;
      case kTx:
        c.txChannels = number();
        break;
      case kRx:
        c.rxChannels = number();
        break;
      case kRate:
        c.samplerate = number();
        break;
      case kEncoding:
        c.encoding = number();
        break;
      case kSpc:
        c.samplesPerChannel = number();
        break;
      case kSpp:
        c.samplesPerPeriod = number();
        break;
      case kPad:
        c.stridePadding = number();
        break;
      case kStart:
        c.startPeriodCount = number();
        break;
      case kTiming:
        if (!parseEnum(optarg, {"sem", "poll", "type2", "missing", "none"}, e)) return false;
        c.timing = static_cast<StandInEngine::Timing>(e);
        break;
      case kTxAfter:
        if (!parseEnum(optarg, {"poison", "zero", "keep"}, e)) return false;
        c.txAfter = static_cast<StandInEngine::TxAfter>(e);
        break;
      case kRxContent:
        if (!parseEnum(optarg, {"pattern", "sine", "silence", "loop"}, e)) return false;
        c.rx = static_cast<StandInEngine::RxContent>(e);
        break;
      case kCapture:
        o.captureDir = optarg;
        break;
      case kPeriods:
        o.periods = number();
        break;
      case kPostCap:
        c.postCap = number();
        break;
      case kMaxCh:
        c.maxChannels = number();
        break;
      case kMaxSpc:
        c.maxSamplesPerChannel = number();
        break;
      case kFifo:
        o.fifo = true;
        break;
      case kDrift:
        c.driftPpm = static_cast<int32_t>(strtol(optarg, nullptr, 0));
        break;
      case kFlagStuck:
        c.timeFlagStuck = true;
        break;
      default:
        return false;
    }
  }
  // The engine's own memory stays with the transmit captures on disk when asked for.
  c.captureTx = false;
  return c.samplesPerChannel > 0 && c.samplesPerPeriod > 0 && c.samplerate > 0;
}

// Commands from stdin, handed to the period loop.
class CommandQueue {
 public:
  void push(std::string line) {
    std::lock_guard<std::mutex> lock(mMutex);
    mLines.push_back(std::move(line));
  }
  bool pop(std::string& line) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mLines.empty()) return false;
    line = std::move(mLines.front());
    mLines.pop_front();
    return true;
  }

 private:
  std::mutex mMutex;
  std::deque<std::string> mLines;
};

uint64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ULL + ts.tv_nsec;
}

void sleepUntil(uint64_t ns) {
  timespec ts{};
  ts.tv_sec = ns / 1000000000ULL;
  ts.tv_nsec = ns % 1000000000ULL;
  while (!g_stop && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

class Captures {
 public:
  explicit Captures(std::string dir) : mDir(std::move(dir)) {}
  ~Captures() {
    for (FILE* f : mFiles) {
      if (f != nullptr) fclose(f);
    }
  }
  void write(unsigned ch, const int32_t* samples, size_t n) {
    if (mDir.empty()) return;
    if (ch >= mFiles.size()) mFiles.resize(ch + 1, nullptr);
    if (mFiles[ch] == nullptr) {
      std::string path = mDir + "/tx" + std::to_string(ch) + ".raw";
      mFiles[ch] = fopen(path.c_str(), "wb");
      if (mFiles[ch] == nullptr) return;
    }
    fwrite(samples, sizeof(int32_t), n, mFiles[ch]);
  }
  void flush() {
    for (FILE* f : mFiles) {
      if (f != nullptr) fflush(f);
    }
  }

 private:
  std::string mDir;
  std::vector<FILE*> mFiles;
};

struct Counters {
  uint64_t periods = 0;
  uint64_t posts = 0;
  std::vector<uint64_t> late;
  std::vector<uint64_t> lateness;  // ns past each deadline

  void add(const StandInEngine& engine, unsigned channels) {
    posts += engine.posts();
    if (late.size() < channels) late.resize(channels, 0);
    for (unsigned ch = 0; ch < channels; ++ch) late[ch] += engine.lateSamples(ch);
  }

  std::string json() const {
    std::vector<uint64_t> sorted = lateness;
    std::sort(sorted.begin(), sorted.end());
    auto pct = [&](double p) -> uint64_t {
      if (sorted.empty()) return 0;
      return sorted[std::min(sorted.size() - 1, size_t(p * (sorted.size() - 1) + 0.5))];
    };
    uint64_t total = 0;
    std::ostringstream out;
    out << "{\"periods\":" << periods << ",\"posts\":" << posts << ",\"late_tx_samples\":[";
    for (size_t i = 0; i < late.size(); ++i) {
      out << (i ? "," : "") << late[i];
      total += late[i];
    }
    out << "],\"late_tx_total\":" << total << ",\"deadline_lateness_ns\":{\"p50\":" << pct(0.5)
        << ",\"p99\":" << pct(0.99) << ",\"max\":" << (sorted.empty() ? 0 : sorted.back()) << "}}";
    return out.str();
  }
};

class EngineRun {
 public:
  explicit EngineRun(const Options& options) : mOptions(options), mCaptures(options.captureDir) {}

  bool create() {
    mEngine.reset(new StandInEngine(mOptions.config));
    int err = mEngine->create();
    if (err != 0) {
      fprintf(stderr, "tarvo_engine: cannot create area %s: %s\n", mOptions.config.name.c_str(),
              strerror(err));
      mEngine.reset();
      return false;
    }
    mEngine->setCaptureFn(
        [this](unsigned ch, const int32_t* s, size_t n) { mCaptures.write(ch, s, n); });
    return true;
  }

  void retire() {
    if (!mEngine) return;
    mCounters.add(*mEngine, std::max(mOptions.config.maxChannels, mOptions.config.txChannels));
    mEngine.reset();
  }

  int run(CommandQueue& commands) {
    if (!create()) return 1;
    printf("ready\n");
    fflush(stdout);
    const uint64_t spp = mOptions.config.samplesPerPeriod;
    uint64_t rate = mOptions.config.samplerate;
    uint64_t t0 = nowNs();
    uint64_t tick = 0;
    while (!g_stop) {
      const uint64_t deadline = t0 + (tick + 1) * spp * 1000000000ULL / rate;
      sleepUntil(deadline);
      if (g_stop) break;
      const uint64_t woke = nowNs();
      mCounters.lateness.push_back(woke > deadline ? woke - deadline : 0);
      ++tick;

      std::string line;
      while (commands.pop(line)) {
        if (!execute(line, t0, tick, rate)) g_stop = true;
      }
      if (g_stop) break;
      if (!mEngine) {
        if (mRecreateAt != 0 && woke >= mRecreateAt) {
          mRecreateAt = 0;
          if (!create()) return 1;
        }
        continue;
      }
      if (mHoldUntil != 0 && woke >= mHoldUntil) {
        mHoldUntil = 0;
        mEngine->finishReconfigure();
      }
      if (mBurstLeft > 1) {
        --mBurstLeft;
        continue;
      }
      if (mBurstLeft == 1) {
        mBurstLeft = 0;
        mEngine->burst(mBurstSize);
        mCounters.periods += mBurstSize;
      } else {
        mEngine->step(1);
        ++mCounters.periods;
      }
      mCaptures.flush();  // tests read the captures while the engine runs
      if (mOptions.periods != 0 && mCounters.periods >= mOptions.periods) break;
    }
    mCaptures.flush();
    retire();
    printf("%s\n", mCounters.json().c_str());
    fflush(stdout);
    return 0;
  }

 private:
  // Returns false for "quit".
  bool execute(const std::string& line, uint64_t& t0, uint64_t& tick, uint64_t& rate) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    long long a = 0, b = 0;
    if (word == "quit") return false;
    if (word == "stall" && (in >> a) && a >= 0) {
      sleepUntil(nowNs() + uint64_t(a) * 1000000ULL);
      t0 = nowNs();
      tick = 0;
    } else if (word == "recreate" && (in >> a) && a >= 0) {
      if (mEngine) mEngine->close(true);
      mCaptures.flush();
      retire();
      mRecreateAt = nowNs() + uint64_t(a) * 1000000ULL;
    } else if (!mEngine) {
      fprintf(stderr, "tarvo_engine: no area for '%s'\n", line.c_str());
    } else if (word == "burst" && (in >> a) && a > 0) {
      mBurstSize = unsigned(a);
      mBurstLeft = unsigned(a);
    } else if (word == "rewind" && (in >> a) && a >= 0) {
      mEngine->rewind(uint64_t(a));
    } else if (word == "rate" && (in >> a) && a > 0) {
      mEngine->changeRate(uint32_t(a));
      rate = uint64_t(a);
      t0 = nowNs();
      tick = 0;
    } else if (word == "channels" && (in >> a >> b) && a >= 0 && b >= 0) {
      mEngine->changeChannels(uint32_t(a), uint32_t(b));
    } else if (word == "period" && (in >> a) && a >= 0) {
      mEngine->reconfigure(
          [a](Tarvo::buffer_header& h) { h.samples_per_period = uint32_t(a); });
    } else if (word == "hold" && (in >> a)) {
      mEngine->reconfigure(nullptr, true);
      mHoldUntil = a < 0 ? 0 : nowNs() + uint64_t(a) * 1000000ULL;
    } else if (word == "release") {
      mHoldUntil = 0;
      mEngine->finishReconfigure();
    } else if (word == "close") {
      in >> word;
      mEngine->close(word == "unlink");
    } else if (word == "reopen") {
      mEngine->reopen();
    } else {
      fprintf(stderr, "tarvo_engine: unknown command '%s'\n", line.c_str());
    }
    return true;
  }

  const Options& mOptions;
  Captures mCaptures;
  std::unique_ptr<StandInEngine> mEngine;
  Counters mCounters;
  unsigned mBurstLeft = 0;
  unsigned mBurstSize = 0;
  uint64_t mHoldUntil = 0;
  uint64_t mRecreateAt = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    fprintf(stderr, "tarvo_engine: bad options (see the comment at the top of the source)\n");
    return 2;
  }
  struct sigaction action = {};
  action.sa_handler = onStopSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (options.fifo) {
    sched_param p{};
    p.sched_priority = sched_get_priority_max(SCHED_FIFO) - 1;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) != 0) {
      fprintf(stderr, "tarvo_engine: SCHED_FIFO refused, running at normal priority\n");
    }
  }

  CommandQueue commands;
  // Detached: it may sit in a blocking read when the engine ends.
  std::thread([&commands] {
    std::string line;
    while (std::getline(std::cin, line)) commands.push(line);
  }).detach();

  EngineRun run(options);
  int status = run.run(commands);
  fflush(stdout);
  _exit(status);
}
