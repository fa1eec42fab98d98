#include "sim/board/board.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/sim_i2c.h"

namespace sim {
namespace {

constexpr uint8_t kExpanderAddresses[] = {0x18, 0x19, 0x1B, 0x1F};

std::string Hex(unsigned value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

bool ParseUnsigned(const std::string& s, unsigned long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (*end != '\0') return false;
  *out = v;
  return true;
}

// Front-panel keys by name: status byte and bit of the key controller (set = pressed).
struct NamedKey {
  const char* name;
  int byte;
  int bit;
};
constexpr NamedKey kKeys[] = {{"1", 1, 0},    {"2", 1, 1},     {"3", 1, 2},      {"4", 1, 3},
                              {"MENU", 1, 4}, {"POWER", 1, 5}, {"CANCEL", 1, 6}, {"OK", 1, 7},
                              {"DOWN", 0, 0}, {"UP", 0, 1},    {"RIGHT", 0, 2},  {"LEFT", 0, 3}};

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  *ok = static_cast<bool>(in) || in.eof();
  return s.str();
}

}  // namespace

Board::Board() {
  platform::SimI2cBus& bus = platform::sim_i2c();
  bus.Attach(kDspBus, kDspA, &dsp_a_);
  bus.Attach(kDspBus, kDspB, &dsp_b_);
  for (uint8_t a : kExpanderAddresses) {
    expanders_.push_back(std::make_unique<SimExpander>(a));
    bus.Attach(kExpanderBus, a, expanders_.back().get());
  }
  bus.Attach(kKeyBus, kKeyController, &keys_);
}

Board::~Board() {
  Stop();
  platform::SimI2cBus& bus = platform::sim_i2c();
  bus.Detach(kDspBus, kDspA);
  bus.Detach(kDspBus, kDspB);
  for (uint8_t a : kExpanderAddresses) bus.Detach(kExpanderBus, a);
  bus.Detach(kKeyBus, kKeyController);
}

SimDsp* Board::dsp(uint8_t addr7) {
  if (addr7 == kDspA) return &dsp_a_;
  if (addr7 == kDspB) return &dsp_b_;
  return nullptr;
}

SimExpander* Board::expander(uint8_t addr7) {
  for (auto& e : expanders_) {
    if (e->addr7() == addr7) return e.get();
  }
  return nullptr;
}

platform::SimSysfs& Board::sysfs() { return platform::sim_sysfs(); }

const std::vector<std::pair<uint8_t, uint16_t>>& Board::MeterCells() {
  static const std::vector<std::pair<uint8_t, uint16_t>> cells = {
      {kDspA, 0x2A},  {kDspA, 0x38}, {kDspA, 0x46}, {kDspA, 0x54}, {kDspA, 0xFB},
      {kDspA, 0x109}, {kDspB, 0x26}, {kDspB, 0x34}, {kDspB, 0x42}, {kDspB, 0x50},
      {kDspB, 0x5E},  {kDspB, 0x6C}, {kDspB, 0x7A}, {kDspB, 0x88}};
  return cells;
}

void Board::SetAllMeters(uint32_t word) {
  for (const auto& c : MeterCells()) dsp(c.first)->SetWord(c.second, word);
}

std::string Board::DspText(const SimDsp& d, uint8_t addr7) const {
  std::string t = "# DSP " + d.name() + ", bus 3 address " + Hex(addr7, 2) + "\n";
  t += "interleavings " + std::to_string(d.Interleavings()) + "\n";
  t += "bad_counts " + std::to_string(d.BadCounts()) + "\n";
  for (uint16_t r : {0xF400, 0xF402, 0xF403}) {
    t += "control " + Hex(r, 4) + " " + Hex(d.Control(r), 4) + "\n";
  }
  for (const auto& w : d.ParameterWords()) {
    t += "cell " + Hex(w.first, 4) + " " + Hex(w.second, 8) + "\n";
  }
  return t;
}

std::string Board::ExpanderText() const {
  std::string t = "# I/O expanders, bus 4\n";
  for (const auto& e : expanders_) {
    t += "expander " + Hex(e->addr7(), 2) + " direction " + Hex(e->Direction(), 2) + " output " +
         Hex(e->Output(), 2) + "\n";
  }
  return t;
}

std::string Board::GpioText() const {
  std::string t = "# GPIO lines (exported) and LED class devices\n";
  for (const auto& l : platform::sim_sysfs().Lines()) {
    t += "gpio " + std::to_string(l.first) + (l.second.output ? " out " : " in ") +
         std::to_string(l.second.level) + "\n";
  }
  for (const auto& l : platform::sim_sysfs().Leds()) {
    t += "led " + l.first + " " + std::to_string(l.second) + "\n";
  }
  return t;
}

std::string Board::KeysText() const {
  auto s = keys_.Status();
  return "# key controller, bus 5 address 0x24\nstatus " + Hex(s.first, 2) + " " +
         Hex(s.second, 2) + "\n";
}

bool Board::WriteIfChanged(const std::string& dir, const std::string& name,
                           const std::string& text) {
  auto it = published_.find(name);
  if (it != published_.end() && it->second == text) return true;
  std::string path = dir + "/" + name;
  std::string tmp = dir + "/." + name + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return false;
  published_[name] = text;
  return true;
}

bool Board::Publish() {
  std::lock_guard<std::mutex> lock(publish_mutex_);
  std::string dir = platform::Path("/sim");
  if (!platform::MakeParentDirs(dir + "/in/x")) return false;
  bool ok = WriteIfChanged(dir, "dsp_a.txt", DspText(dsp_a_, kDspA));
  ok = WriteIfChanged(dir, "dsp_b.txt", DspText(dsp_b_, kDspB)) && ok;
  ok = WriteIfChanged(dir, "expanders.txt", ExpanderText()) && ok;
  ok = WriteIfChanged(dir, "gpio.txt", GpioText()) && ok;
  ok = WriteIfChanged(dir, "keys.txt", KeysText()) && ok;
  for (auto& p : publishers_) p(dir);
  return ok;
}

void Board::AddPublisher(std::function<void(const std::string& dir)> publisher) {
  std::lock_guard<std::mutex> lock(publish_mutex_);
  publishers_.push_back(std::move(publisher));
}

bool Board::ApplyInput(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  if (w.empty() || w[0][0] == '#') return true;
  unsigned long a = 0, b = 0, c = 0;
  if (w[0] == "keys" && w.size() == 3 && ParseUnsigned(w[1], &a) && ParseUnsigned(w[2], &b) &&
      a <= 0xFF && b <= 0xFF) {
    keys_.SetStatus(uint8_t(a), uint8_t(b));
    return true;
  }
  if (w[0] == "key" && w.size() == 4 && ParseUnsigned(w[1], &a) && ParseUnsigned(w[2], &b) &&
      a <= 1 && b <= 7 && (w[3] == "press" || w[3] == "release")) {
    keys_.SetKey(int(a), int(b), w[3] == "press");
    return true;
  }
  if (w[0] == "key" && w.size() == 3 && (w[2] == "press" || w[2] == "release")) {
    for (const NamedKey& k : kKeys) {
      if (w[1] == k.name) {
        keys_.SetKey(k.byte, k.bit, w[2] == "press");
        return true;
      }
    }
    return false;
  }
  if (w[0] == "gpio" && w.size() == 3 && ParseUnsigned(w[1], &a) && ParseUnsigned(w[2], &b) &&
      a <= 511 && b <= 1) {
    platform::sim_sysfs().SetInput(int(a), int(b));
    return true;
  }
  if (w[0] == "meter" && w.size() == 4 && (w[1] == "a" || w[1] == "b") && ParseUnsigned(w[2], &a) &&
      ParseUnsigned(w[3], &c) && a < SimDsp::kControlBase && c <= 0xFFFFFFFFul) {
    (w[1] == "a" ? dsp_a_ : dsp_b_).SetWord(uint16_t(a), uint32_t(c));
    return true;
  }
  if (w[0] == "signal" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
    SetAllMeters(w[1] == "on" ? 0x00100000u : 0u);
    return true;
  }
  if (w[0] == "dsp" && w.size() == 3 && (w[1] == "a" || w[1] == "b") &&
      (w[2] == "present" || w[2] == "absent")) {
    (w[1] == "a" ? dsp_a_ : dsp_b_).SetPresent(w[2] == "present");
    return true;
  }
  return false;
}

int Board::PollInputs() {
  std::string dir = platform::Path("/sim/in");
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  int applied = 0;
  for (const auto& n : names) {
    std::string path = dir + "/" + n;
    bool ok = false;
    std::string text = ReadWholeFile(path, &ok);
    if (!ok || text.empty() || text.back() != '\n') continue;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (ApplyInput(line)) {
        ++applied;
      } else {
        std::fprintf(stderr, "sim: input not understood: %s\n", line.c_str());
      }
    }
    unlink(path.c_str());
  }
  return applied;
}

void Board::WriteRouteTableIfMissing() {
  const std::string path = platform::Path("/proc/net/route");
  if (access(path.c_str(), F_OK) == 0) return;
  if (!platform::MakeParentDirs(path)) return;
  // As the kernel prints it: in_addr values in host order (here little-endian), flags 1 up and
  // 2 gateway; the simulated eth0 is 192.168.0.200/24 with its gateway at 192.168.0.1.
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
         "eth0\t00000000\t0100A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
         "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
}

void Board::Start(int period_ms) {
  std::lock_guard<std::mutex> lock(run_mutex_);
  if (running_) return;
  WriteRouteTableIfMissing();
  running_ = true;
  thread_ = std::thread([this, period_ms] { Run(period_ms); });
}

void Board::Stop() {
  {
    std::lock_guard<std::mutex> lock(run_mutex_);
    if (!running_) return;
    running_ = false;
  }
  run_cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Board::Run(int period_ms) {
  std::unique_lock<std::mutex> lock(run_mutex_);
  while (running_) {
    lock.unlock();
    PollInputs();
    Publish();
    lock.lock();
    run_cv_.wait_for(lock, std::chrono::milliseconds(period_ms), [this] { return !running_; });
  }
}

}  // namespace sim
