// The simulated unit of tests/support for the driver tests: no configuration is set.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/sim_unit.h"

class HardwareTest : public testsupport::SimUnitFixture {
 protected:
  HardwareTest() : SimUnitFixture(DriverOptions()) {}
  static Options DriverOptions() {
    Options o;
    o.factory_config = false;
    return o;
  }
};

using Bytes = std::vector<uint8_t>;
