#pragma once

#include "batch/BatchDriver.h"

namespace tavirlen {

// Modes b and t: block extension on files with 7 or 6 header columns.
BatchMode blockExtensionMode(int headerColumns);

} // namespace tavirlen
