#pragma once

#include "app/BatchDriver.h"

namespace tavirlen {

// Mode l: the locus-based dynamic programme over a tree of members.
BatchMode locusDPMode();

} // namespace tavirlen
