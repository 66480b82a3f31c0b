#pragma once

#include <string>

namespace tavirlen {

// optimal: proven; feasible: the time limit ended the search with a
// solution that is not proven optimal.
enum class SolverStatus { optimal, feasible, infeasible, failed };

struct SolverOutcome {
    SolverStatus status = SolverStatus::failed;
    double objectiveValue = 0.0;
    std::string problem; // why the solve failed, for the family's message
};

// Hands the MPS model file to the MIP solver, which solves it to proven
// optimality. The solver's messages and then the solution listing (see
// SolverLog.h) are appended to the log file; nothing goes to standard output.
// A model without columns is not handed over: its listing is empty. With a
// time limit (seconds of wall time, 0 for none) the best solution found by
// then is listed as `feasible`.
SolverOutcome solveModelFile(const std::string& modelFileName, const std::string& logFileName,
                             double timeLimitSeconds = 0.0);

} // namespace tavirlen
