#pragma once

#include "app/BatchDriver.h"

namespace tavirlen {

// Mode m: the exact member-based dynamic programme.
BatchMode memberDPMode();

} // namespace tavirlen
