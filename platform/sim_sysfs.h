// In-memory sysfs of the simulated build. It behaves like the kernel's GPIO and LED class files
// as far as devctl uses them:
// - writing a line number to /sys/class/gpio/export creates gpioN/direction ("in") and
//   gpioN/value; unexport removes them; a second export of a line fails;
// - a value write ("0"/"1") to an output line sets its level, is time-stamped on the platform
//   clock and passed to the observers; a value write to an input line fails, as on the board;
// - a value read gives "<level>\n": the last level written for outputs, the level set with
//   SetInput for inputs (1 until set: buttons read released);
// - /sys/class/leds/{gpio-power3v3,gpio1_b7,gpio1_c0}/brightness exist from the start; writes
//   are parsed as decimal numbers and passed to the observers.
// Other files (a temperature file, say) can be placed with SetFile.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/sysfs.h"

namespace platform {

struct GpioEvent {
  int gpio;
  int level;
  int64_t time_us;
};

// Receives every accepted write, in order. Called with the sysfs lock held: an observer must not
// call back into the sysfs.
class SysfsObserver {
 public:
  virtual ~SysfsObserver() = default;
  virtual void OnGpioWrite(int gpio, int level, int64_t time_us) {
    (void)gpio, (void)level, (void)time_us;
  }
  virtual void OnGpioDirection(int gpio, bool output, int64_t time_us) {
    (void)gpio, (void)output, (void)time_us;
  }
  virtual void OnLedWrite(const std::string& led, int value, int64_t time_us) {
    (void)led, (void)value, (void)time_us;
  }
};

class SimSysfs : public SysfsIo {
 public:
  struct LineState {
    bool output = false;
    int level = 0;
  };

  SimSysfs();

  int Access(const std::string& path) override;
  int Open(const std::string& path, int flags) override;
  long Seek(int fd, long offset) override;
  long Read(int fd, void* buf, size_t n) override;
  long Write(int fd, const void* buf, size_t n) override;
  int Fsync(int fd) override;
  int Close(int fd) override;

  // Level an input line reads (also before the line is exported).
  void SetInput(int gpio, int level);
  // Current level (-1 when the line is not exported) and direction.
  int Level(int gpio) const;
  bool Exported(int gpio) const;
  bool IsOutput(int gpio) const;
  // Every exported line.
  std::map<int, LineState> Lines() const;
  // Brightness of an LED class device (-1 when there is none).
  int LedValue(const std::string& led) const;
  std::map<std::string, int> Leds() const;
  // How often a line was exported, and how often a path was opened.
  int ExportCount(int gpio) const;
  int OpenCount(const std::string& path) const;
  int OpenDescriptors() const;
  // Accepted value writes, most recent last (bounded).
  std::vector<GpioEvent> History() const;
  std::vector<GpioEvent> History(int gpio) const;
  void ClearHistory();
  // Places (or replaces) a plain file.
  void SetFile(const std::string& path, const std::string& content);

  void AddObserver(SysfsObserver* observer);
  void RemoveObserver(SysfsObserver* observer);

  // Back to the start state: nothing exported, LEDs 0, no inputs, no history, no observers kept.
  void Reset();

 private:
  enum class Kind { kNone, kExport, kUnexport, kDirection, kValue, kBrightness, kPlain };
  struct Target {
    Kind kind = Kind::kNone;
    int gpio = -1;
    std::string name;  // LED name or plain path
  };
  struct Descriptor {
    std::string path;
    long offset = 0;
    int flags = 0;
  };

  Target Resolve(const std::string& path) const;
  std::string Content(const Target& t) const;
  long WriteLocked(const Target& t, const std::string& text);
  int InputLevel(int gpio) const;

  mutable std::mutex mutex_;
  std::map<int, LineState> lines_;
  std::map<int, int> inputs_;
  std::map<std::string, int> leds_;
  std::map<std::string, std::string> files_;
  std::map<int, Descriptor> fds_;
  int next_fd_ = 3;
  std::map<int, int> export_count_;
  std::map<std::string, int> open_count_;
  std::deque<GpioEvent> history_;
  std::vector<SysfsObserver*> observers_;
};

// The process's simulated sysfs.
SimSysfs& sim_sysfs();

}  // namespace platform
