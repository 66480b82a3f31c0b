#pragma once

#include "app/BatchDriver.h"

namespace tavirlen {

// Mode i: integer linear programming on the MIP solver.
BatchMode ilpMode();

} // namespace tavirlen
