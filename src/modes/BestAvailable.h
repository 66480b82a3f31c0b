#pragma once

#include "batch/BatchDriver.h"

namespace tavirlen {

// Mode a, "best available": every family gets the fewest recombinants that
// can be had, and its row says what is guaranteed. The exact engine where the
// family fits it; otherwise the integer programme within the run's time
// limit, proven optimal or its best solution; and block extension with
// polishing where that does better or nothing else can be had. Seven header
// columns, as mode b.
BatchMode bestAvailableMode();

} // namespace tavirlen
