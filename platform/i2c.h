// The I2C seam: the system calls the bus routines of devctl make on an i2c-dev character device.
// The routines above it (locks, path formatting, open and close per call, short-write loops,
// messages) are the same code for the board and for the simulated board; only this interface
// differs: the kernel's /dev/i2c-N on the board, in-process devices in the simulated build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// One message of a combined transfer, laid out like the kernel's struct i2c_msg.
struct I2cMessage {
  uint16_t addr;   // 7-bit target address
  uint16_t flags;  // kI2cMessageRead for a read message
  uint16_t len;
  uint8_t* buf;
};
constexpr uint16_t kI2cMessageRead = 0x0001;

class I2cPort {
 public:
  virtual ~I2cPort() = default;
  // Opens a bus device given by its unit path ("/dev/i2c-3"). A handle >= 0, or -1.
  virtual int Open(const std::string& device) = 0;
  // Claims a 7-bit target address even when a kernel driver holds it (I2C_SLAVE_FORCE). 0 or -1.
  virtual int SetAddress(int handle, unsigned addr7) = 0;
  // One write() to the claimed target: the number of bytes taken (possibly fewer than n), or
  // 0 / -1 on failure (no acknowledge).
  virtual long Write(int handle, const uint8_t* data, size_t n) = 0;
  // One combined transfer (I2C_RDWR): the number of messages done, or -1.
  virtual int Transfer(int handle, I2cMessage* msgs, unsigned count) = 0;
  virtual void Close(int handle) = 0;
};

// The port in use: the kernel's buses on the board, the simulated buses (SimI2cBus) otherwise.
I2cPort& i2c();
// Installs a port (nullptr restores the default). Not owned.
void SetI2cPort(I2cPort* port);

// The kernel's i2c-dev devices (the board's port; the path goes through platform::Path).
I2cPort& KernelI2cPort();

}  // namespace platform
