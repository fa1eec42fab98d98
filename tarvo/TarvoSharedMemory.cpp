#include "tarvo/TarvoSharedMemory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tarvo/TarvoHeader.h"
#include "tarvo/TarvoLine.h"

namespace Tarvo {

struct SharedMemory::Impl {
  std::string mName;
  int mFd = -1;
  size_t mSize = 0;
  void* mBase = nullptr;
  uint64_t mIdentity = 0;

  ~Impl() { disconnect(); }

  int connect(const std::string& name) {
    if (name.empty() || name.size() > kNameLength) return EINVAL;
    if (mBase != nullptr) return EALREADY;
    int fd = shm_open(name.c_str(), O_RDWR, kMode);
    if (fd < 0) return errno;
    mFd = fd;
    mName = name;
    struct stat st;
    if (fstat(mFd, &st) != 0) {
      int err = errno;
      disconnect();
      return err;
    }
    if (st.st_size <= 0) {
      disconnect();
      return EAGAIN;
    }
    size_t size = static_cast<size_t>(st.st_size);
    void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, mFd, 0);
    if (base == MAP_FAILED) {
      int err = errno;
      disconnect();
      return err;
    }
    mSize = size;
    mBase = base;
    mIdentity = uint64_t(st.st_ino);
    return 0;
  }

  void disconnect() {
    if (mBase != nullptr) {
      if (mSize > 0) munmap(mBase, mSize);
      mBase = nullptr;
    }
    mSize = 0;
    mIdentity = 0;
    if (mFd >= 0) {
      close(mFd);
      mFd = -1;
    }
    mName.clear();
  }
};

SharedMemory::SharedMemory() : mImpl(new Impl) {}
SharedMemory::~SharedMemory() = default;

int SharedMemory::connect(const std::string& name, bool /*globalNamespace*/) {
  return mImpl->connect(name);
}

void SharedMemory::disconnect() { mImpl->disconnect(); }
void* SharedMemory::get() const { return mImpl->mBase; }
size_t SharedMemory::size() const { return mImpl->mSize; }
uint64_t SharedMemory::identity() const { return mImpl->mIdentity; }

std::string errorText(int n) {
  if (n == 0) return std::string();
  char buffer[1024];
  // GNU strerror_r returns either the buffer or a static string.
  const char* text = strerror_r(n, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string();
}

std::string SharedMemory::getErrorMessage(int n) {
  writeLine(stderr, "ERROR is " + std::to_string(n));
  return errorText(n);
}

}  // namespace Tarvo
