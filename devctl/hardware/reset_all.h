// Reset of every setting to the factory values, as the reset key and the panel's factory-reset
// page make it (the change itself lives with the other resets in core).
#pragma once

#include "devctl/core/reset_changes.h"
