#pragma once

#include "ilp/IlpModel.h"

#include <cstdio>
#include <string>

namespace tavirlen {

// The model as fixed-column MPS text: equality rows E0, E1, ..., inequality
// rows L0, L1, ..., one 0/1 integer column per variable that occurs in a row,
// and the objective row OBJ. The model is not changed.
std::string mpsText(const IlpModel& model);

// Writes mpsText to an open file; true in every case.
bool writeMps(const IlpModel& model, std::FILE* file);

} // namespace tavirlen
