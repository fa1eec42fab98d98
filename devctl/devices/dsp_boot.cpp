#include "devctl/devices/dsp_boot.h"

#include <mutex>

#include "devctl/devices/dsp_access.h"
#include "devctl/devices/dsp_images.h"

namespace {

struct Image {
  uint16_t reg;
  const uint8_t* data;
  int32_t len;
};

// Per-DSP values of the sequence.
struct BootProfile {
  uint16_t mclk_out;              // 0xF005
  std::vector<DspBootWrite> src;  // sample-rate converter inputs and output rates
  uint16_t serial_out[24];        // 0xF180-0xF197
  uint16_t serial_port[8];        // 0xF200-0xF21C, step 4
  Image images[3];                // program, data memory 0, data memory 1
};

const BootProfile& Profile(uint8_t address8) {
  static const BootProfile a = {
      0x0007,
      {{0xF100, 0x0081}, {0xF107, 0x0002}, {0xF140, 0x0006}, {0xF147, 0x0003}},
      {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0x3B, 2, 2, 2, 2, 2, 2, 2},
      {0x9040, 0x9040, 0x4840, 0x6C42, 0x9042, 0x2440, 0x4840, 0x9042},
      {{0xC000, g_dsp_a_program, kDspAProgramBytes},
       {0x0000, g_dsp_a_dm0, kDspADm0Bytes},
       {0x6000, g_dsp_a_dm1, kDspADm1Bytes}}};
  static const BootProfile b = {
      0x0005,
      {{0xF100, 0x0001},
       {0xF101, 0x0009},
       {0xF102, 0x0011},
       {0xF103, 0x0019},
       {0xF104, 0x0002},
       {0xF105, 0x0002},
       {0xF106, 0x0002},
       {0xF107, 0x0002},
       {0xF140, 0x0006},
       {0xF141, 0x0006},
       {0xF142, 0x0006},
       {0xF143, 0x0006},
       {0xF144, 0x0001},
       {0xF145, 0x0001},
       {0xF146, 0x0001},
       {0xF147, 0x0001}},
      {0x23, 0x2B, 0x33, 0x3B, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
      {0x0042, 0x2442, 0x9000, 0x9000, 0x0042, 0x9042, 0x9000, 0x9000},
      {{0xC000, g_dsp_b_program, kDspBProgramBytes},
       {0x0000, g_dsp_b_dm0, kDspBDm0Bytes},
       {0x6000, g_dsp_b_dm1, kDspBDm1Bytes}}};
  return address8 == kDspBAddress8 ? b : a;
}

// A step of the sequence: control writes, a 5 ms pause, or the three image loads.
enum class Step { kWrites, kPause, kImages };

struct Phase {
  Step step;
  std::vector<DspBootWrite> writes;
};

std::vector<Phase> Sequence(uint8_t address8) {
  const BootProfile& p = Profile(address8);
  std::vector<DspBootWrite> clocks = {{0xF403, 0x0000},     {0xF403, 0x0001}, {0xF003, 0x0000},
                                      {0xF000, 0x0060},     {0xF001, 0x0002}, {0xF002, 0x0001},
                                      {0xF005, p.mclk_out}, {0xF003, 0x0001}};
  std::vector<DspBootWrite> ports = {{0xF050, 0x1FFF}, {0xF051, 0x001F}};
  ports.insert(ports.end(), p.src.begin(), p.src.end());
  for (int i = 0; i < 24; ++i) ports.push_back({uint16_t(0xF180 + i), p.serial_out[i]});
  for (int i = 0; i < 8; ++i) ports.push_back({uint16_t(0xF200 + 4 * i), p.serial_port[i]});
  return {
      {Step::kWrites, {{0xF890, 0x0000}, {0xF890, 0x0001}}},  // soft reset
      {Step::kPause, {}},
      {Step::kWrites, {{0xF400, 0x0000}, {0xF400, 0x0001}}},  // hibernate
      {Step::kPause, {}},
      {Step::kWrites, clocks},  // core stopped, PLL set up
      {Step::kPause, {}},       // PLL lock
      {Step::kWrites, ports},
      {Step::kImages, {}},
      {Step::kWrites,
       {{0xF403, 0x0000},
        {0xF404, 0x0000},
        {0xF401, 0x0002},
        {0xF402, 0x0000},
        {0xF402, 0x0001}}},  // core start
      {Step::kPause, {}},
      {Step::kWrites, {{0xF400, 0x0000}}},  // hibernate cleared
  };
}

void Boot(uint8_t address8) {
  const BootProfile& p = Profile(address8);
  std::lock_guard<std::mutex> lock(DspSafeloadMutex(address8));
  for (const Phase& phase : Sequence(address8)) {
    switch (phase.step) {
      case Step::kWrites:
        for (const DspBootWrite& w : phase.writes) {
          const uint8_t value[2] = {uint8_t(w.value >> 8), uint8_t(w.value)};
          DspBlockWrite(address8, w.reg, 2, value);
        }
        break;
      case Step::kPause:
        DspDelay5ms();
        break;
      case Step::kImages:
        for (const Image& image : p.images) {
          DspBlockWrite(address8, image.reg, image.len, image.data);
        }
        break;
    }
  }
}

}  // namespace

void DspBootA() { Boot(kDspAAddress8); }

void DspBootB() { Boot(kDspBAddress8); }

void DspBootAll() {
  DspBootA();
  DspBootB();
}
