// Prints figures of the period loop against the real-time stand-in engine (48 kHz, 48-sample
// periods), all in one run:
//   1. an in-process client running tplay's Playback under Tarvo::Runner: wake-up latency
//      p50/p99 (work-call entry minus the engine's monotonic stamp of the period) beside the
//      engine's own deadline lateness in the same run, share of batches with more than one
//      period, CPU time per period of the client thread;
//   2. the tplay program at a one-period (48) and a two-period (96) lead: CPU time per period
//      (from its rusage) and the engine's late transmit samples;
//   3. the tloopback program at the same two leads: CPU time per period and late transmit
//      samples (all 8 channels looped);
//   4. the trecord program recording 8 channels of 32 bits: CPU time per period;
//   5. the ttrace program, which only wakes and reads the header: the cost of waking alone;
// each beside the engine's late transmit samples and its own deadline lateness in that run.
// The runs take place in a private /dev/shm when the bench may make one (root), since ttrace
// always uses the area "TarvoEP".
//
//   period_loop [--seconds N] [--lead SAMPLES] [--fifo]
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <sndfile.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "netaudio_play/Playback.h"
#include "netaudio_play/SndfileDecoder.h"
#include "tarvo/TarvoPriority.h"
#include "tarvo/TarvoRunner.h"
#include "tarvo/TarvoTiming.h"

namespace {

struct Child {
  pid_t pid = -1;
  int stdinFd = -1;
  std::string outPath;
};

Child spawn(const std::vector<std::string>& argv, const std::string& outPath, bool quiet) {
  Child c;
  c.outPath = outPath;
  int in[2];
  if (pipe(in) != 0) return c;
  c.pid = fork();
  if (c.pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    if (quiet) dup2(open("/dev/null", O_WRONLY), 2);
    dup2(in[0], 0);
    close(in[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  c.stdinFd = in[1];
  return c;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool waitForText(const std::string& path, const std::string& text) {
  for (int i = 0; i < 2000; ++i) {
    if (readFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Ends the engine and returns its JSON line of counters.
std::string stopEngine(Child& engine) {
  if (write(engine.stdinFd, "quit\n", 5) < 0) kill(engine.pid, SIGTERM);
  waitpid(engine.pid, nullptr, 0);
  close(engine.stdinFd);
  std::string out = readFile(engine.outPath);
  const size_t brace = out.find('{');
  return brace == std::string::npos ? "{}" : out.substr(brace);
}

uint64_t jsonNumber(const std::string& json, const std::string& key) {
  std::smatch m;
  if (std::regex_search(json, m, std::regex("\"" + key + "\":([0-9]+)"))) {
    return std::stoull(m[1]);
  }
  return 0;
}

// A mount namespace of our own with an empty /dev/shm (POSIX shared memory and semaphores).
// Call while the process has one thread.
bool makePrivateShm() {
  if (unshare(CLONE_NEWNS) != 0) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount("tmpfs", "/dev/shm", "tmpfs", 0, "mode=1777") == 0;
}

void printEngineFigures(FILE* out, const std::string& json) {
  fprintf(out,
          "  engine: periods %llu, late tx samples %llu, deadline lateness p50 %.1f us, "
          "p99 %.1f us, max %.1f us\n",
          (unsigned long long)jsonNumber(json, "periods"),
          (unsigned long long)jsonNumber(json, "late_tx_total"), jsonNumber(json, "p50") / 1e3,
          jsonNumber(json, "p99") / 1e3, jsonNumber(json, "max") / 1e3);
}

double cpuSeconds(const rusage& r) {
  return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec +
         r.ru_stime.tv_usec / 1e6;
}

bool makeTestFile(const std::string& path) {
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = 48000;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  std::vector<short> frames(2 * 48000 * 5);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<short>(i * 31);
  sf_writef_short(f, frames.data(), 48000 * 5);
  sf_close(f);
  return true;
}

// Prints one line: the engine's deadline lateness p50/p99 of its last run.
void printEngineLateness(FILE* out, const std::string& json) {
  fprintf(out, "  engine's own deadline lateness in the same run: p50 %.1f us, p99 %.1f us\n",
          jsonNumber(json, "p50") / 1e3, jsonNumber(json, "p99") / 1e3);
}

std::vector<std::string> engineArgs(const std::string& name, bool fifo) {
  std::vector<std::string> args = {ENGINE_PATH, "--name", name,   "--tx",  "8", "--rx",
                                   "8",         "--spc",  "4096", "--spp", "48"};
  if (fifo) args.push_back("--fifo");
  return args;
}

// Runs a tool program against a fresh engine for `seconds`, then prints its CPU time per
// engine period and the engine's figures of the same run.
bool runToolProgram(FILE* out, const std::string& label, const std::vector<std::string>& argv,
                    const std::string& area, bool fifo, int seconds, const std::string& dir) {
  Child engine = spawn(engineArgs(area, fifo), dir + "/engine_tool.out", false);
  if (!waitForText(engine.outPath, "ready")) return false;
  Child tool = spawn(argv, dir + "/tool.out", true);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  kill(tool.pid, SIGINT);
  int status = 0;
  rusage usage{};
  wait4(tool.pid, &status, 0, &usage);
  const std::string json = stopEngine(engine);
  const uint64_t enginePeriods = jsonNumber(json, "periods");
  fprintf(out, "%s:\n", label.c_str());
  fprintf(out, "  CPU per period: %.2f us (whole process, start-up included), exit status %d\n",
          enginePeriods ? cpuSeconds(usage) * 1e6 / enginePeriods : 0.0,
          WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  printEngineFigures(out, json);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  int lead = 48;
  bool fifo = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--seconds") && i + 1 < argc)
      seconds = atoi(argv[++i]);
    else if (!strcmp(argv[i], "--lead") && i + 1 < argc)
      lead = atoi(argv[++i]);
    else if (!strcmp(argv[i], "--fifo"))
      fifo = true;
  }
  const bool privateShm = makePrivateShm();
  char dirPattern[] = "/tmp/period_loop.XXXXXX";
  const std::string dir = mkdtemp(dirPattern);
  const std::string file = dir + "/tone.wav";
  if (!makeTestFile(file)) return 1;
  const std::string area = "PLB" + std::to_string(getpid());
  // The client objects print their own lines; figures go to the real stdout only.
  FILE* out = fdopen(dup(1), "w");
  freopen("/dev/null", "w", stdout);
  freopen("/dev/null", "w", stderr);
  fprintf(out, "period_loop: 48 kHz, 48-sample periods, lead %d samples, %d s per run, %s\n", lead,
          seconds, fifo ? "SCHED_FIFO" : "normal priority");

  // 1. In-process client.
  {
    Child engine = spawn(engineArgs(area, fifo), dir + "/engine1.out", false);
    if (!waitForText(engine.outPath, "ready")) return 1;
    Tarvo::Buffers buffers;
    if (buffers.connect(area, false) != 0) return 1;
    WavDecoder wav;
    if (!wav.open(file.c_str())) return 1;
    Decoder* decoder = &wav;
    std::atomic<bool> running{true};
    std::vector<uint64_t> latency;
    latency.reserve(size_t(seconds) * 1100);
    uint64_t calls = 0, batches = 0, periods = 0;
    double cpu = 0;
    std::thread client([&] {
      if (fifo) setTarvoPriority("period_loop");
      Playback playback(buffers, lead, decoder, 0, 0, true, running);
      Tarvo::Runner runner(buffers);
      const volatile Tarvo::buffer_header* h = buffers.getHeader();
      rusage before{}, after{};
      getrusage(RUSAGE_THREAD, &before);
      runner.run(
          running,
          [&](unsigned n) {
            const uint64_t now = Tarvo::getMonotonicValue();
            const uint64_t stamp = h->monotonic;
            if (latency.size() < latency.capacity())
              latency.push_back(now > stamp ? now - stamp : 0);
            ++calls;
            if (n > 1) ++batches;
            periods += n;
            playback.work(n);
          },
          [&] { playback.reset(); });
      getrusage(RUSAGE_THREAD, &after);
      cpu = cpuSeconds(after) - cpuSeconds(before);
    });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    running = false;
    client.join();
    const std::string json = stopEngine(engine);
    std::sort(latency.begin(), latency.end());
    auto pct = [&](double p) {
      return latency.empty() ? 0.0 : latency[size_t(p * (latency.size() - 1))] / 1e3;
    };
    fprintf(out, "in-process client (Runner + Playback, 2 channels):\n");
    fprintf(out, "  wake-up latency p50 %.1f us, p99 %.1f us, max %.1f us over %llu work calls\n",
            pct(0.5), pct(0.99), latency.empty() ? 0.0 : latency.back() / 1e3,
            (unsigned long long)calls);
    printEngineLateness(out, json);
    fprintf(out, "  batches of more than one period: %.3f %%\n",
            calls ? 100.0 * batches / calls : 0.0);
    fprintf(out, "  CPU per period: %.2f us\n", periods ? cpu * 1e6 / periods : 0.0);
    printEngineFigures(out, json);
  }

  // 2. The tplay program at a one- and a two-period lead.
  for (int playLead : {48, 96}) {
    if (!runToolProgram(out, "tplay program (-r, 2 channels, -l " + std::to_string(playLead) + ")",
                        {TPLAY_PATH, "-s", area, "-l", std::to_string(playLead), "-r", file}, area,
                        fifo, seconds, dir)) {
      return 1;
    }
  }

  // 3. The tloopback program at the default lead and at twice the period.
  for (int loopLead : {48, 96}) {
    if (!runToolProgram(out, "tloopback program (-l " + std::to_string(loopLead) + ", 8 channels)",
                        {TLOOPBACK_PATH, "-s", area, "-l", std::to_string(loopLead)}, area, fifo,
                        seconds, dir)) {
      return 1;
    }
  }

  // 4. The trecord program.
  if (!runToolProgram(out, "trecord program (8 channels of 32 bits)",
                      {TRECORD_PATH, "-s", area, "-o", dir + "/recording.wav"}, area, fifo, seconds,
                      dir)) {
    return 1;
  }
  // 5. ttrace: waking and reading the header only (it always uses "TarvoEP").
  if (privateShm) {
    if (!runToolProgram(out, "ttrace program (the cost of waking alone)", {TTRACE_PATH}, "TarvoEP",
                        fifo, seconds, dir)) {
      return 1;
    }
  } else {
    fprintf(out, "ttrace program: skipped (no private /dev/shm for the area \"TarvoEP\")\n");
  }
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
