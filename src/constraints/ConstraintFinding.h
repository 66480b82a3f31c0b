#pragma once

#include "app/BatchDriver.h"

namespace tavirlen {

// Mode c: zero-recombinant configurations by equations modulo 2.
BatchMode constraintFindingMode();

} // namespace tavirlen
