// Booting the two DSPs: soft reset, clock and port set-up, loading of the program and data
// memories from the embedded images, core start. The configuration is sent afterwards by
// ApplyConfigToHardware.
//
// Callers first pulse the expander's reset lines and raise its enable line, then call
// DspBootAll, then wait 200 ms (start-up) or 100 ms (wake) before applying the configuration.
// Each DSP's safeload lock is held for its whole boot, so no setter from another thread lands
// between the steps (it waits and lands after the boot).
#pragma once

#include <cstdint>
#include <vector>

// One control-register write of a boot sequence.
struct DspBootWrite {
  uint16_t reg;
  uint16_t value;
};

// DspBootA then DspBootB.
void DspBootAll();
// The boot sequence on DSP A (0x70) / DSP B (0x72). No step is checked: bus failures are
// printed by the bus layer and the sequence goes on.
void DspBootA();
void DspBootB();
