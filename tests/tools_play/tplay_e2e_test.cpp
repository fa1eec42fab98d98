// tplay as a program: its command line, and what it plays into the real-time stand-in engine.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "audio_files.h"
#include "process.h"
#include "../tarvo/test_names.h"

namespace {

constexpr int32_t kPoison = 0x7FFFFF5A;
// Playing tests run the engine with a one-second ring and the player half a second ahead of it,
// so that a player held up by a busy machine still writes every sample before it is due.
const char* const kRing = "48000";
const char* const kLead = "24000";
const char* const kSettings =
    "Using \"TarvoEP\" as shared memory\n"
    "Using 48 samples as Tx Latency\n"
    "Starting channel: 1\n"
    "Number of channels: 0\n"
    "Repeat: no\n";
const char* const kUsage =
    "Usage:\n"
    "\t-h Show help\n"
    "\t-l Playback Tx Latency (# samples) - default is 48\n"
    "\t-s Shared memory name to use - default is TarvoEP\n"
    "\t-c The first contiguous channel that the file will be played over - default is 1\n"
    "\t-n The number of contiguous channels that will be used - default is 0\n"
    "\t\t If this value is set to '0', the number of channels will be determined by the file\n"
    "\t\t Specifying a number of outputs greater than the number of file channels will cause "
    "nothing to be send to the excess channels.\n"
    "\t-r Repeat forever\n"
    "\n"
    "\t-v Print out version\n";

std::vector<std::string> tplay(std::vector<std::string> args) {
  args.insert(args.begin(), TPLAY_PATH);
  return args;
}

std::vector<int32_t> readCapture(const std::string& path) {
  const std::string bytes = Process::readFile(path);
  std::vector<int32_t> samples(bytes.size() / 4);
  if (!samples.empty()) memcpy(samples.data(), bytes.data(), samples.size() * 4);
  return samples;
}

// stderr without the priority module's lines (a warning when not root, an error where the
// scheduler refuses real time), which depend on the machine.
std::string withoutPriorityLines(const std::string& text) {
  return std::regex_replace(
      text, std::regex("(WARNING: .* has not been run as root.*|ERROR: .*Tarvo thread.*)\n"), "");
}

long firstWritten(const std::vector<int32_t>& capture) {
  for (size_t i = 0; i < capture.size(); ++i) {
    if (capture[i] != kPoison) return static_cast<long>(i);
  }
  return -1;
}

// The real-time engine with its captures in `dir`.
class Engine {
 public:
  Engine(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {})
      : mDir(dir.path) {
    std::vector<std::string> args = {ENGINE_PATH, "--name", name, "--capture", dir.path};
    args.insert(args.end(), extra.begin(), extra.end());
    mProcess.reset(new Process(args, dir.path, "engine", true));
    ready =
        mProcess->waitFor([](Process& p) { return p.out().find("ready") != std::string::npos; });
  }
  ~Engine() { stop(); }

  std::string stop() {
    if (!mProcess) return "";
    mProcess->send("quit");
    mProcess->wait();
    std::string out = mProcess->out();
    mProcess.reset();
    return out;
  }

  std::vector<int32_t> capture(unsigned ch) const {
    return readCapture(mDir + "/tx" + std::to_string(ch) + ".raw");
  }

  // Waits until channel ch has `frames` written samples followed by at least one more sample.
  bool waitForPlayed(unsigned ch, size_t frames) {
    return mProcess->waitFor([&](Process&) {
      std::vector<int32_t> c = capture(ch);
      const long first = firstWritten(c);
      return first >= 0 && c.size() > size_t(first) + frames;
    });
  }

  void send(const std::string& command) { mProcess->send(command); }

  bool ready = false;

 private:
  std::string mDir;
  std::unique_ptr<Process> mProcess;
};

TEST(TplayCommandLine, OptionsAndRefusals) {
  TempDir dir;
  ASSERT_TRUE(writeInts(dir.file("flac_inside.wav"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000,
                        ramp16(100)));
  const std::string version = "netaudio_examples : v1\\.2\\.0\\.rc2::[0-9a-f]{8}\n";
  const std::string openFailure =
      "ERROR: opening wav file \nThere was an issue opening the file.  Exiting...\n";
  const std::string formatFailure = "Format should be one of 'mp3', 'wav', 'flac'.\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;  // a regular expression
    std::string err;  // a regular expression
  } cases[] = {
      {{"-v"}, 0, version, ""},
      {{"-v", "-c", "0"}, 0, version, ""},
      {{"-c", "0", "-v"}, 1, "Starting channel '-c' should be positive\\.\n", ""},
      {{"-c", "-2", "x.wav"}, 1, "Starting channel '-c' should be positive\\.\n", ""},
      {{"-n", "-1", "x.wav"}, 1, "Number of channels '-n' should be non-negative\n", ""},
      {{"-h"}, 1, std::regex_replace(kUsage, std::regex("[.()#'\\-]"), "\\$&"), ""},
      {{"-x", "a.wav"},
       1,
       std::regex_replace(kUsage, std::regex("[.()#'\\-]"), "\\$&"),
       ".*invalid option.*\n"},
      {{},
       1,
       std::regex_replace(kSettings, std::regex("[.\"]"), "\\$&"),
       "Error: Input filename not provided\\.\n"},
      {{"song.MP3"},
       1,
       "(.|\n)*Repeat: no\n",
       std::regex_replace(formatFailure, std::regex("[.()']"), "\\$&")},
      {{"noext"},
       1,
       "(.|\n)*Repeat: no\n",
       std::regex_replace(formatFailure, std::regex("[.()']"), "\\$&")},
      {{dir.file("missing.wav")},
       1,
       "(.|\n)*Repeat: no\n",
       std::regex_replace(openFailure, std::regex("[.]"), "\\$&")},
      {{dir.file("flac_inside.wav")},
       1,
       "(.|\n)*Repeat: no\n",
       std::regex_replace(openFailure, std::regex("[.]"), "\\$&")},
      {{"-rignored", "noext"},
       1,
       "(.|\n)*Repeat: yes\n",
       std::regex_replace(formatFailure, std::regex("[.()']"), "\\$&")},
      {{"-l", "99999999999", "-r", "-c", "2", "-n", "3", "noext"},
       1,
       "Using \"TarvoEP\" as shared memory\nUsing 2147483647 samples as Tx Latency\n"
       "Starting channel: 2\nNumber of channels: 3\nRepeat: yes\n",
       std::regex_replace(formatFailure, std::regex("[.()']"), "\\$&")},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string what;
    for (const std::string& a : c.args) what += a + " ";
    SCOPED_TRACE(what);
    Process p(tplay(c.args), dir.path, "case" + std::to_string(n++));
    EXPECT_EQ(p.wait(), c.status);
    EXPECT_TRUE(std::regex_match(p.out(), std::regex(c.out))) << p.out();
    EXPECT_TRUE(std::regex_match(p.err(), std::regex(c.err))) << p.err();
  }
}

// WAV of every sample format and FLAC, made by sox from a file of known samples, play into
// transmit channels 3 and 4 bit-exactly.
TEST(TplayPlays, PcmAndFloatFilesBitExact) {
  TempDir dir;
  const std::vector<int32_t> s16 = ramp16(12000);
  const std::vector<int32_t> s24 = noise(24000, 0xFFFFFF00u);
  ASSERT_TRUE(writeInts(dir.file("src16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, s16));
  ASSERT_TRUE(writeInts(dir.file("src24.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, s24));
  struct Case {
    const char* file;
    const char* soxArgs;  // output options for sox, from the source
    const char* source;
    const std::vector<int32_t>* expected;
  } cases[] = {
      {"s16.wav", "-b 16", "src16.wav", &s16},
      {"a.b.wav", "-b 24", "src16.wav", &s16},
      {"s32.wav", "-b 32", "src16.wav", &s16},
      {"float.wav", "-e floating-point -b 32", "src16.wav", &s16},
      {"s16.flac", "-b 16", "src16.wav", &s16},
      {"s24.wav", "-b 24", "src24.wav", &s24},
      {"s24.flac", "-b 24", "src24.wav", &s24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string command =
        std::string("sox -D -V1 ") + dir.file(c.source) + " " + c.soxArgs + " " + dir.file(c.file);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    TempDir run;
    const std::string area = tarvo_test::uniqueAreaName();
    Engine engine(run, area, {"--spc", kRing});
    ASSERT_TRUE(engine.ready);
    Process player(tplay({"-s", area, "-l", kLead, "-c", "3", dir.file(c.file)}), run.path,
                   "tplay");
    EXPECT_EQ(player.wait(), 0) << player.err();
    const size_t frames = c.expected->size() / 2;
    ASSERT_TRUE(engine.waitForPlayed(2, frames));
    engine.stop();
    for (unsigned ch = 2; ch < 4; ++ch) {
      std::vector<int32_t> capture = engine.capture(ch);
      const long first = firstWritten(capture);
      ASSERT_GE(first, 0);
      ASSERT_GT(capture.size(), first + frames);
      size_t mismatches = 0;
      for (size_t i = 0; i < frames; ++i) {
        if (capture[first + i] != (*c.expected)[2 * i + (ch - 2)]) ++mismatches;
      }
      EXPECT_EQ(mismatches, 0u) << "channel " << ch;
      EXPECT_EQ(capture[first + frames], kPoison) << "nothing after the last frame";
    }
    for (unsigned ch : {0u, 1u, 4u, 7u}) EXPECT_EQ(firstWritten(engine.capture(ch)), -1);
    EXPECT_NE(player.out().find("Decoder closed successfully\n"), std::string::npos);
    EXPECT_NE(player.err().find("starting channel: 3 | file channel count: 2 | total netaudio "
                                "channels: 8 | user-defined channel count: 0 -> 2\n"),
              std::string::npos);
  }
}

TEST(TplayPlays, Mp3ToneKeepsItsPitchAndLevel) {
  TempDir dir;
  ASSERT_EQ(std::system(("sox -n -V1 -r 48000 -c 1 -b 16 " + dir.file("tone.wav") +
                         " synth 0.5 sine 1000 vol 0.5 && lame --quiet -b 192 " +
                         dir.file("tone.wav") + " " + dir.file("tone.mp3"))
                            .c_str()),
            0);
  const std::string area = tarvo_test::uniqueAreaName();
  Engine engine(dir, area, {"--spc", kRing});
  ASSERT_TRUE(engine.ready);
  Process player(tplay({"-s", area, "-l", kLead, dir.file("tone.mp3")}), dir.path, "tplay");
  EXPECT_EQ(player.wait(), 0) << player.err();
  ASSERT_TRUE(engine.waitForPlayed(0, 20000));
  engine.stop();
  std::vector<int32_t> c = engine.capture(0);
  const long first = firstWritten(c);
  ASSERT_GE(first, 0);
  // The middle of the tone, away from the encoder's fade-in and padding.
  const size_t from = first + 4800, to = first + 19200;
  ASSERT_GT(c.size(), to);
  unsigned crossings = 0;
  double sumSquares = 0;
  for (size_t i = from; i < to; ++i) {
    EXPECT_EQ(c[i] & 0xFFFF, 0);
    if ((c[i - 1] < 0) != (c[i] < 0)) ++crossings;
    sumSquares += double(c[i]) * c[i];
  }
  EXPECT_NEAR(crossings / 2.0 / ((to - from) / 48000.0), 1000.0, 15.0);
  EXPECT_NEAR(std::sqrt(sumSquares / (to - from)) / 2147483648.0, 0.5 / std::sqrt(2.0), 0.03);
}

TEST(TplayPlays, RepeatLoopsUntilSigint) {
  TempDir dir;
  const std::vector<int32_t> file = ramp16(1000);
  ASSERT_TRUE(writeInts(dir.file("short.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, file));
  const std::string area = tarvo_test::uniqueAreaName();
  Engine engine(dir, area, {"--spc", kRing});
  ASSERT_TRUE(engine.ready);
  Process player(tplay({"-s", area, "-l", kLead, "-r", dir.file("short.wav")}), dir.path, "tplay");
  ASSERT_TRUE(engine.waitForPlayed(1, 5000));
  player.signal(SIGINT);
  EXPECT_EQ(player.wait(), 0);
  EXPECT_NE(player.out().find("Repeat: yes\n"), std::string::npos);
  EXPECT_NE(player.out().find("Decoder closed successfully\n"), std::string::npos);
  const std::string err = player.err();
  EXPECT_EQ(err.substr(err.size() - 30), "Disconnecting...\nDisconnected\n");
  engine.stop();
  std::vector<int32_t> c = engine.capture(1);
  const long first = firstWritten(c);
  for (size_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(c[first + i], file[2 * (i % 1000) + 1]) << "frame " << i;
  }
}

TEST(TplayPlays, MismatchesEndNormally) {
  TempDir dir;
  ASSERT_TRUE(
      writeInts(dir.file("44k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, ramp16(1000)));
  ASSERT_TRUE(
      writeInts(dir.file("48k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, ramp16(1000)));
  struct Case {
    std::vector<std::string> args;
    std::string errLine;
  } cases[] = {
      {{dir.file("44k.wav")},
       "file sample rate: 44100 netaudio sample rate: 48000\n"
       "Error: Sample rate mismatch, exiting...\n"},
      {{"-c", "8", dir.file("48k.wav")},
       "starting channel: 8 | file channel count: 2 | total netaudio channels: 8 | "
       "user-defined channel count: 0 -> 2\n"
       "Error: User asked for more channels than exist in netaudio, exiting...\n"},
  };
  for (const Case& c : cases) {
    const std::string area = tarvo_test::uniqueAreaName();
    TempDir run;
    Engine engine(run, area);
    ASSERT_TRUE(engine.ready);
    std::vector<std::string> args = {"-s", area};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Process player(tplay(args), run.path, "tplay");
    EXPECT_EQ(player.wait(), 0);
    EXPECT_NE(player.err().find(c.errLine), std::string::npos) << player.err();
    EXPECT_NE(player.out().find("Config changed\n"), std::string::npos);
  }
}

TEST(TplayConnects, WaitsQuietlyForTheEngine) {
  TempDir dir;
  ASSERT_TRUE(
      writeInts(dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, ramp16(1000)));
  const std::string area = tarvo_test::uniqueAreaName();
  Process player(tplay({"-s", area, "-r", dir.file("a.wav")}), dir.path, "tplay");
  const std::string expected =
      "Decoder opened successfully\n"
      "Connecting...\n"
      "Error connecting to shared memory: ERROR is 2\n"
      "No such file or directory\n"
      "Trying to connect again...\n";
  ASSERT_TRUE(
      player.waitFor([&](Process& p) { return withoutPriorityLines(p.err()) == expected; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));  // two more attempts
  EXPECT_EQ(withoutPriorityLines(player.err()), expected);
  Engine engine(dir, area);
  ASSERT_TRUE(engine.ready);
  ASSERT_TRUE(
      player.waitFor([](Process& p) { return p.err().find("Activated\n") != std::string::npos; }));
  EXPECT_NE(withoutPriorityLines(player.err()).find(expected + "Connected\n"), std::string::npos);
  player.signal(SIGINT);
  player.signal(SIGINT);
  EXPECT_EQ(player.wait(), 0);
}

TEST(TplayConnects, SigintDuringTheRetryPauseEndsIt) {
  TempDir dir;
  ASSERT_TRUE(
      writeInts(dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, ramp16(1000)));
  Process player(tplay({"-s", tarvo_test::uniqueAreaName(), dir.file("a.wav")}), dir.path, "tplay");
  ASSERT_TRUE(player.waitFor(
      [](Process& p) { return p.err().find("Trying to connect again...") != std::string::npos; }));
  player.signal(SIGINT);
  EXPECT_EQ(player.wait(), 0);
  EXPECT_NE(player.out().find("Decoder closed successfully\n"), std::string::npos);
}

}  // namespace

namespace {

int countLines(const std::string& text, const std::string& line) {
  int n = 0;
  for (size_t at = text.find(line + "\n"); at != std::string::npos;
       at = text.find(line + "\n", at + 1)) {
    if (at == 0 || text[at - 1] == '\n') ++n;
  }
  return n;
}

TEST(TplayConnects, FollowsTheEngineThroughCloseAndRecreate) {
  TempDir dir;
  ASSERT_TRUE(
      writeInts(dir.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, ramp16(1000)));
  const std::string area = tarvo_test::uniqueAreaName();
  Engine engine(dir, area);
  ASSERT_TRUE(engine.ready);
  Process player(tplay({"-s", area, "-r", dir.file("a.wav")}), dir.path, "tplay");
  ASSERT_TRUE(player.waitFor([](Process& p) { return countLines(p.err(), "Activated") == 1; }));

  // The area removed and made anew: the player reconnects and plays on. It says once that
  // the area went and once that it is back.
  engine.send("recreate 300");
  ASSERT_TRUE(
      player.waitFor([](Process& p) { return countLines(p.out(), "Config changed") == 2; }));
  const std::string afterRecreate = player.err();
  EXPECT_EQ(countLines(afterRecreate, "Connecting..."), 1) << afterRecreate;
  EXPECT_EQ(countLines(afterRecreate, "Disconnected"), 1) << afterRecreate;
  EXPECT_EQ(countLines(afterRecreate, "Connected"), 2) << afterRecreate;

  // The area left closed (magic 0): said once, then looked for quietly until it opens again.
  engine.send("close");
  ASSERT_TRUE(player.waitFor([](Process& p) { return countLines(p.err(), "Disconnected") == 2; }));
  engine.send("reopen");
  ASSERT_TRUE(
      player.waitFor([](Process& p) { return countLines(p.out(), "Config changed") == 3; }));
  const std::string afterReopen = player.err();
  EXPECT_EQ(countLines(afterReopen, "Disconnected"), 2) << afterReopen;
  EXPECT_EQ(countLines(afterReopen, "Connected"), 3) << afterReopen;
  player.signal(SIGINT);
  EXPECT_EQ(player.wait(), 0);
}

}  // namespace
