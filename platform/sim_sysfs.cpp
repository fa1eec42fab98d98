#include "platform/sim_sysfs.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

namespace platform {
namespace {

constexpr size_t kHistoryLimit = 200000;
constexpr int kMaxGpio = 511;
const char kGpioDir[] = "/sys/class/gpio/";
const char kLedDir[] = "/sys/class/leds/";

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The text a sysfs store routine sees: up to the first NUL, without one trailing newline.
std::string StoreText(const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  size_t len = 0;
  while (len < n && p[len] != '\0') ++len;
  std::string s(p, len);
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

// A whole-string decimal number (kstrtol), or false.
bool ParseNumber(const std::string& s, long* out) {
  if (s.empty() || s.size() > 12) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0') return false;
  *out = v;
  return true;
}

// "gpioN" at the start of rest: N, and the remainder after it ("" or "/file").
bool ParseLineDir(const std::string& rest, int* gpio, std::string* tail) {
  if (!StartsWith(rest, "gpio")) return false;
  size_t i = 4;
  size_t start = i;
  while (i < rest.size() && i - start < 4 && rest[i] >= '0' && rest[i] <= '9') ++i;
  if (i == start) return false;
  if (i < rest.size() && rest[i] != '/') return false;
  *gpio = std::atoi(rest.substr(start, i - start).c_str());
  *tail = rest.substr(i);
  return true;
}

}  // namespace

SimSysfs::SimSysfs() { Reset(); }

void SimSysfs::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
  inputs_.clear();
  leds_ = {{"gpio-power3v3", 0}, {"gpio1_b7", 0}, {"gpio1_c0", 0}};
  files_.clear();
  fds_.clear();
  export_count_.clear();
  open_count_.clear();
  history_.clear();
  observers_.clear();
}

SimSysfs::Target SimSysfs::Resolve(const std::string& path) const {
  Target t;
  if (path == "/sys/class/gpio/export") {
    t.kind = Kind::kExport;
  } else if (path == "/sys/class/gpio/unexport") {
    t.kind = Kind::kUnexport;
  } else if (StartsWith(path, kGpioDir)) {
    int gpio = -1;
    std::string tail;
    if (ParseLineDir(path.substr(sizeof(kGpioDir) - 1), &gpio, &tail) && lines_.count(gpio)) {
      if (tail == "/direction") t = Target{Kind::kDirection, gpio, ""};
      if (tail == "/value") t = Target{Kind::kValue, gpio, ""};
    }
  } else if (StartsWith(path, kLedDir)) {
    std::string rest = path.substr(sizeof(kLedDir) - 1);
    size_t slash = rest.find('/');
    if (slash != std::string::npos && rest.substr(slash) == "/brightness" &&
        leds_.count(rest.substr(0, slash))) {
      t = Target{Kind::kBrightness, -1, rest.substr(0, slash)};
    }
  }
  if (t.kind == Kind::kNone && files_.count(path)) t = Target{Kind::kPlain, -1, path};
  return t;
}

int SimSysfs::InputLevel(int gpio) const {
  auto it = inputs_.find(gpio);
  return it == inputs_.end() ? 1 : it->second;
}

std::string SimSysfs::Content(const Target& t) const {
  switch (t.kind) {
    case Kind::kDirection:
      return lines_.at(t.gpio).output ? "out\n" : "in\n";
    case Kind::kValue: {
      const LineState& l = lines_.at(t.gpio);
      return std::to_string(l.output ? l.level : InputLevel(t.gpio)) + "\n";
    }
    case Kind::kBrightness:
      return std::to_string(leds_.at(t.name)) + "\n";
    case Kind::kPlain:
      return files_.at(t.name);
    default:
      return "";
  }
}

int SimSysfs::Access(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Resolve(path).kind != Kind::kNone) return 0;
  if (path == "/sys" || path == "/sys/class" || path == "/sys/class/gpio" ||
      path == "/sys/class/leds") {
    return 0;
  }
  if (StartsWith(path, kGpioDir)) {
    int gpio = -1;
    std::string tail;
    if (ParseLineDir(path.substr(sizeof(kGpioDir) - 1), &gpio, &tail) && tail.empty() &&
        lines_.count(gpio)) {
      return 0;
    }
  }
  if (StartsWith(path, kLedDir) && leds_.count(path.substr(sizeof(kLedDir) - 1))) return 0;
  for (const auto& f : files_) {
    if (StartsWith(f.first, path + "/")) return 0;
  }
  return -1;
}

int SimSysfs::Open(const std::string& path, int flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  Target t = Resolve(path);
  if (t.kind == Kind::kNone) {
    bool under_classes = StartsWith(path, kGpioDir) || StartsWith(path, kLedDir);
    if (!(flags & O_CREAT) || under_classes) return -1;
    files_[path] = "";
  } else if (t.kind == Kind::kPlain && (flags & O_TRUNC)) {
    files_[path].clear();
  }
  int fd = next_fd_++;
  fds_[fd] = Descriptor{path, 0, flags};
  ++open_count_[path];
  return fd;
}

long SimSysfs::Seek(int fd, long offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = fds_.find(fd);
  if (it == fds_.end() || offset < 0) return -1;
  it->second.offset = offset;
  return offset;
}

long SimSysfs::Read(int fd, void* buf, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = fds_.find(fd);
  if (it == fds_.end() || (it->second.flags & O_ACCMODE) == O_WRONLY) return -1;
  Target t = Resolve(it->second.path);
  if (t.kind == Kind::kNone || t.kind == Kind::kExport || t.kind == Kind::kUnexport) return -1;
  std::string content = Content(t);
  long off = it->second.offset;
  if (off >= static_cast<long>(content.size())) return 0;
  size_t take = std::min(n, content.size() - static_cast<size_t>(off));
  std::memcpy(buf, content.data() + off, take);
  it->second.offset += static_cast<long>(take);
  return static_cast<long>(take);
}

long SimSysfs::Write(int fd, const void* buf, size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = fds_.find(fd);
  if (it == fds_.end() || (it->second.flags & O_ACCMODE) == O_RDONLY) return -1;
  Target t = Resolve(it->second.path);
  if (t.kind == Kind::kPlain) {
    std::string& f = files_[t.name];
    size_t off = static_cast<size_t>(it->second.offset);
    if (f.size() < off + n) f.resize(off + n);
    f.replace(off, n, static_cast<const char*>(buf), n);
    it->second.offset += static_cast<long>(n);
    return static_cast<long>(n);
  }
  long r = WriteLocked(t, StoreText(buf, n));
  return r < 0 ? -1 : static_cast<long>(n);
}

long SimSysfs::WriteLocked(const Target& t, const std::string& text) {
  int64_t now = clock().NowUs();
  long v = 0;
  switch (t.kind) {
    case Kind::kExport:
      if (!ParseNumber(text, &v) || v < 0 || v > kMaxGpio || lines_.count(int(v))) return -1;
      lines_[int(v)] = LineState{};
      ++export_count_[int(v)];
      return 0;
    case Kind::kUnexport:
      if (!ParseNumber(text, &v) || !lines_.count(int(v))) return -1;
      lines_.erase(int(v));
      return 0;
    case Kind::kDirection: {
      LineState& l = lines_[t.gpio];
      if (text == "out" || text == "low") {
        l.output = true;
        l.level = 0;
      } else if (text == "high") {
        l.output = true;
        l.level = 1;
      } else if (text == "in") {
        l.output = false;
      } else {
        return -1;
      }
      for (auto* o : observers_) o->OnGpioDirection(t.gpio, l.output, now);
      return 0;
    }
    case Kind::kValue: {
      LineState& l = lines_[t.gpio];
      if (!l.output || !ParseNumber(text, &v)) return -1;
      l.level = v != 0 ? 1 : 0;
      history_.push_back(GpioEvent{t.gpio, l.level, now});
      if (history_.size() > kHistoryLimit) history_.pop_front();
      for (auto* o : observers_) o->OnGpioWrite(t.gpio, l.level, now);
      return 0;
    }
    case Kind::kBrightness:
      if (!ParseNumber(text, &v) || v < 0) return -1;
      leds_[t.name] = int(std::min<long>(v, 255));
      for (auto* o : observers_) o->OnLedWrite(t.name, leds_[t.name], now);
      return 0;
    default:
      return -1;
  }
}

int SimSysfs::Fsync(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  return fds_.count(fd) ? 0 : -1;
}

int SimSysfs::Close(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  return fds_.erase(fd) ? 0 : -1;
}

void SimSysfs::SetInput(int gpio, int level) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputs_[gpio] = level != 0 ? 1 : 0;
}

int SimSysfs::Level(int gpio) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = lines_.find(gpio);
  if (it == lines_.end()) return -1;
  return it->second.output ? it->second.level : InputLevel(gpio);
}

bool SimSysfs::Exported(int gpio) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.count(gpio) != 0;
}

bool SimSysfs::IsOutput(int gpio) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = lines_.find(gpio);
  return it != lines_.end() && it->second.output;
}

std::map<int, SimSysfs::LineState> SimSysfs::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<int, LineState> out = lines_;
  for (auto& l : out) {
    if (!l.second.output) l.second.level = InputLevel(l.first);
  }
  return out;
}

int SimSysfs::LedValue(const std::string& led) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = leds_.find(led);
  return it == leds_.end() ? -1 : it->second;
}

std::map<std::string, int> SimSysfs::Leds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return leds_;
}

int SimSysfs::ExportCount(int gpio) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = export_count_.find(gpio);
  return it == export_count_.end() ? 0 : it->second;
}

int SimSysfs::OpenCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = open_count_.find(path);
  return it == open_count_.end() ? 0 : it->second;
}

int SimSysfs::OpenDescriptors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(fds_.size());
}

std::vector<GpioEvent> SimSysfs::History() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {history_.begin(), history_.end()};
}

std::vector<GpioEvent> SimSysfs::History(int gpio) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<GpioEvent> out;
  for (const auto& e : history_) {
    if (e.gpio == gpio) out.push_back(e);
  }
  return out;
}

void SimSysfs::ClearHistory() {
  std::lock_guard<std::mutex> lock(mutex_);
  history_.clear();
}

void SimSysfs::SetFile(const std::string& path, const std::string& content) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_[path] = content;
}

void SimSysfs::AddObserver(SysfsObserver* observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  observers_.push_back(observer);
}

void SimSysfs::RemoveObserver(SysfsObserver* observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

SimSysfs& sim_sysfs() {
  static SimSysfs fs;
  return fs;
}

}  // namespace platform
