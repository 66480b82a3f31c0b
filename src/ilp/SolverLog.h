#pragma once

#include "ilp/IlpModel.h"

#include <cstdio>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace tavirlen {

// The solution listing at the end of the solver log: a line starting
// "1ILP0011I", then one "ILP0064I" line per column whose third token is the
// column name and whose fifth is its value ("." for 0).
void writeSolutionListing(std::FILE* log, const std::vector<std::pair<std::string, double>>& columns);

// Reads a solver log and fixes every listed column whose value is 0 or 1.
// Lines from an "ILP0008I" line through the next "ILP0001I" line are passed
// over. False when the log cannot be opened or holds no listing.
bool readSolverLog(IlpModel& model, const std::string& logFileName);
bool readSolverLog(IlpModel& model, std::istream& log);

} // namespace tavirlen
