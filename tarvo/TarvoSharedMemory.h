// One named POSIX shared-memory segment of the engine's area, mapped read-write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Tarvo {

class SharedMemory {
 public:
  SharedMemory();
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Opens the existing segment `name` (1..kNameLength characters, used as given) and maps all of
  // it. Returns 0, EINVAL for a bad name, EALREADY when already mapped, EAGAIN for a segment of
  // size 0 (the engine is still setting it up), or the errno of shm_open/fstat/mmap (ENOENT: no
  // such segment). A failure holds nothing. globalNamespace has no effect.
  int connect(const std::string& name, bool globalNamespace);
  // Unmaps and closes; harmless when nothing is mapped.
  void disconnect();
  // Mapped base, nullptr when not mapped.
  void* get() const;
  // Mapped size (the segment's size when connected), 0 when not mapped.
  size_t size() const;
  // Tells this segment from one made anew under the same name (its inode); 0 when not mapped.
  uint64_t identity() const;

  // Writes "ERROR is <n>" and an end of line to stderr, then returns the system's text for n
  // ("" for 0).
  static std::string getErrorMessage(int n);

  struct Impl;

 private:
  std::unique_ptr<Impl> mImpl;
};

// The system's text for error n ("" for 0), without writing anything.
std::string errorText(int n);

}  // namespace Tarvo
