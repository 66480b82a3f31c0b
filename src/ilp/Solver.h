#pragma once

#include <string>

namespace tavirlen {

enum class SolverStatus { optimal, infeasible, failed };

struct SolverOutcome {
    SolverStatus status = SolverStatus::failed;
    double objectiveValue = 0.0;
    std::string problem; // why the solve failed, for the family's message
};

// Hands the MPS model file to the MIP solver, which solves it to proven
// optimality. The solver's messages and then the solution listing (see
// SolverLog.h) are appended to the log file; nothing goes to standard output.
// A model without columns is not handed over: its listing is empty.
SolverOutcome solveModelFile(const std::string& modelFileName, const std::string& logFileName);

} // namespace tavirlen
