#include "devctl/devices/i2c_bus.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/i2c.h"

namespace {

std::mutex g_i2c_dsp_mutex;  // guards bus 3
std::mutex g_i2c_mutex;      // guards buses 4 and 5 together

constexpr int kOk = 0;
constexpr int kFail = 255;

std::string BusPath(unsigned bus) { return "/dev/i2c-" + std::to_string(bus); }

void PrintLine(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

void PrintOpenError(const std::string& path) {
  std::printf("Open %s error!\n", path.c_str());
  std::fflush(stdout);
}

// Opens the bus and claims the address; the handle is closed again when the address fails.
enum class OpenResult { kOk, kOpenFailed, kAddressFailed };

OpenResult OpenTarget(unsigned bus, unsigned addr7, int* handle) {
  platform::I2cPort& port = platform::i2c();
  *handle = port.Open(BusPath(bus));
  if (*handle < 0) return OpenResult::kOpenFailed;
  if (port.SetAddress(*handle, addr7) < 0) {
    port.Close(*handle);
    *handle = -1;
    return OpenResult::kAddressFailed;
  }
  return OpenResult::kOk;
}

// write() until every byte has gone; false when a call takes nothing.
bool WriteAll(int handle, const uint8_t* buf, size_t n) {
  platform::I2cPort& port = platform::i2c();
  size_t sent = 0;
  while (sent < n) {
    long r = port.Write(handle, buf + sent, n - sent);
    if (r <= 0) return false;
    sent += static_cast<size_t>(r);
  }
  return true;
}

// The plain write of the three buses: [register bytes, data]. Messages as given.
struct WritePlan {
  unsigned bus;
  unsigned addr7;
  const char* address_error;  // nullptr: silent
  const char* write_error;    // nullptr: silent
  bool open_message;
};

int PlainWrite(const WritePlan& plan, const uint8_t* reg, size_t reg_len, const uint8_t* data,
               uint32_t n) {
  if (n > kI2cMaxWriteData || (n > 0 && data == nullptr)) return kFail;
  // Sized to the transfer and kept off the caller's stack.
  std::vector<uint8_t> buf(reg_len + n);
  std::memcpy(buf.data(), reg, reg_len);
  if (n > 0) std::memcpy(buf.data() + reg_len, data, n);

  int handle = -1;
  switch (OpenTarget(plan.bus, plan.addr7, &handle)) {
    case OpenResult::kOpenFailed:
      if (plan.open_message) PrintOpenError(BusPath(plan.bus));
      return kFail;
    case OpenResult::kAddressFailed:
      if (plan.address_error) PrintLine(plan.address_error);
      return kFail;
    case OpenResult::kOk:
      break;
  }
  bool ok = WriteAll(handle, buf.data(), buf.size());
  platform::i2c().Close(handle);
  if (!ok && plan.write_error) PrintLine(plan.write_error);
  return ok ? kOk : kFail;
}

// Opens a bus and selects the device for a routine that transfers byte by byte or reads back,
// printing what failed. Returns false when the routine must give up.
bool OpenDevice(unsigned bus, unsigned address7, const char* address_error, int* handle) {
  switch (OpenTarget(bus, address7, handle)) {
    case OpenResult::kOpenFailed:
      PrintOpenError(BusPath(bus));
      return false;
    case OpenResult::kAddressFailed:
      PrintLine(address_error);
      return false;
    case OpenResult::kOk:
      break;
  }
  return true;
}

}  // namespace

int I2cBus3Write16(uint8_t address8, uint16_t reg, const uint8_t* data, uint32_t n) {
  const uint8_t r[2] = {uint8_t(reg >> 8), uint8_t(reg)};
  std::lock_guard<std::mutex> lock(g_i2c_dsp_mutex);
  return PlainWrite(
      {3, unsigned(address8 >> 1), "set i2c device address error!", "i2c write error!", true}, r, 2,
      data, n);
}

int I2cBus3Read16(uint8_t address8, uint16_t reg, uint8_t out[4]) {
  std::lock_guard<std::mutex> lock(g_i2c_dsp_mutex);
  int handle = -1;
  if (!OpenDevice(3, address8 >> 1, "CMD_SET_I2C_SLAVE error!", &handle)) return kFail;
  uint8_t buf[4] = {uint8_t(reg >> 8), uint8_t(reg), 0, 0};
  platform::I2cMessage msgs[2] = {{uint16_t(address8 >> 1), 0, 2, buf},
                                  {uint16_t(address8 >> 1), platform::kI2cMessageRead, 4, buf}};
  int done = platform::i2c().Transfer(handle, msgs, 2);
  platform::i2c().Close(handle);
  if (done != 2) return kFail;
  std::memcpy(out, buf, 4);
  return kOk;
}

int I2cBus4Write(uint8_t address7, uint8_t reg, const uint8_t* data, uint32_t n) {
  int result;
  {
    std::lock_guard<std::mutex> lock(g_i2c_mutex);
    result = PlainWrite({4, address7, nullptr, nullptr, false}, &reg, 1, data, n);
  }
  platform::clock().SleepUs(100);
  return result;
}

int I2cBus5Write(uint8_t address8, uint8_t reg, const uint8_t* data, uint32_t n) {
  std::lock_guard<std::mutex> lock(g_i2c_mutex);
  return PlainWrite({5, unsigned(address8 >> 1), "set i2c device address error!", nullptr, true},
                    &reg, 1, data, n);
}

int I2cBus5Read(uint8_t address8, uint32_t reg, uint8_t* out, uint16_t n, int reg16) {
  std::lock_guard<std::mutex> lock(g_i2c_mutex);
  if (n == 0) return kOk;
  if (n > kI2cBus5MaxRead || out == nullptr) return kFail;
  int handle = -1;
  if (!OpenDevice(5, address8 >> 1, "CMD_SET_I2C_SLAVE error!", &handle)) return kFail;
  uint16_t addr7 = uint16_t(address8 >> 1);
  int result = kOk;
  for (uint16_t i = 0; i < n; ++i) {
    uint32_t r = reg + i;
    uint8_t reg_bytes[2];
    uint16_t reg_len = 1;
    if (reg16 == 1) {
      reg_bytes[0] = uint8_t(r >> 8);
      reg_bytes[1] = uint8_t(r);
      reg_len = 2;
    } else {
      reg_bytes[0] = uint8_t(r);
    }
    uint8_t in[kI2cBus5MaxRead] = {};
    platform::I2cMessage msgs[2] = {{addr7, 0, reg_len, reg_bytes},
                                    {addr7, platform::kI2cMessageRead, n, in}};
    if (platform::i2c().Transfer(handle, msgs, 2) != 2) {
      PrintLine("CMD_I2C_READ error!");
      result = kFail;
      break;
    }
    out[i] = in[i];
  }
  platform::i2c().Close(handle);
  return result;
}

int I2cBus5WriteBytes(uint8_t address8, uint32_t reg, const uint8_t* data, uint16_t n, int reg16) {
  std::lock_guard<std::mutex> lock(g_i2c_mutex);
  if (n > 0 && data == nullptr) return kFail;
  int handle = -1;
  if (!OpenDevice(5, address8 >> 1, "set i2c device address error!", &handle)) return kFail;
  int result = kOk;
  for (uint16_t i = 0; i < n; ++i) {
    uint32_t r = reg + i;
    uint8_t buf[3] = {uint8_t(r), 0x00, data[i]};
    if (reg16 == 1) {
      buf[0] = uint8_t(r >> 8);
      buf[1] = uint8_t(r);
    }
    if (platform::i2c().Write(handle, buf, 3) < 1) {
      PrintLine("i2c write error!");
      result = kFail;
      break;
    }
  }
  platform::i2c().Close(handle);
  return result;
}
