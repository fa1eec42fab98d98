// The simulated unit of tests/support, under the name the web and text tests use.
#pragma once

#include "devctl/core/config_defaults.h"
#include "devctl/core/unit_state.h"
#include "devctl/devices/dsp_channels.h"
#include "devctl/devices/io_expander.h"
#include "platform/paths.h"
#include "platform/storage.h"
#include "tests/support/sim_unit.h"

namespace webtest {

class BoardTest : public testsupport::SimUnitFixture {};

}  // namespace webtest
