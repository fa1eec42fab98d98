// A private folder as the unit's root for one test (the shared unit root of tests/support).
#pragma once

#include "tests/support/unit_root.h"

namespace webtest {
using UnitRootTest = testsupport::UnitRootFixture;
}  // namespace webtest
