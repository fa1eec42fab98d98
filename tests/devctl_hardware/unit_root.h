// A fresh unit folder per test (the shared unit root of tests/support).
#pragma once

#include "tests/support/unit_root.h"

using UnitRoot = testsupport::UnitRootFixture;
using testsupport::OpenDescriptorCount;
