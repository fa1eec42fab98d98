// The simulated unit of tests/support with its front panel, for the start-up and panel tests;
// the configuration is what each test loads or sets.
#pragma once

#include "tests/support/sim_unit.h"
#include "unit_root.h"

class BoardTest : public testsupport::SimUnitFixture {
 protected:
  BoardTest() : SimUnitFixture(PanelOptions()) {}
  static Options PanelOptions() {
    Options o;
    o.front_panel = true;
    o.factory_config = false;
    return o;
  }
};
