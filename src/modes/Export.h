#pragma once

#include "batch/BatchDriver.h"

namespace tavirlen {

// Mode n: every family of at least three members, as read, appended in the
// .dat layout to four files named after the whole input name ("-m5.txt",
// "-m10.txt", "-m15.txt", "-m20.txt").
BatchMode exportMode();

} // namespace tavirlen
