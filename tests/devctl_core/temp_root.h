// A fresh folder as the unit's root for each test (the shared unit root of tests/support).
#pragma once

#include "tests/support/unit_root.h"

using TempRoot = testsupport::UnitRootFixture;
