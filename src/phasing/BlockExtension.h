#pragma once

#include "pedigree/Pedigree.h"

namespace tavirlen {

// Phases a prepared pedigree that has been added to the dataset summary.
// Returns false, changing nothing, when the Mendelian check fails.
bool runBlockExtension(Pedigree& pedigree);

} // namespace tavirlen
