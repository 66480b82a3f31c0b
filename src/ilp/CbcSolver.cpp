// The solver hand-off on COIN-OR CBC, used as a library.
#include "ilp/Solver.h"

#include "ilp/SolverLog.h"

#include <CbcHeuristic.hpp>
#include <CbcModel.hpp>
#include <CglGomory.hpp>
#include <CglKnapsackCover.hpp>
#include <CglProbing.hpp>
#include <CoinError.hpp>
#include <CoinMessageHandler.hpp>
#include <OsiClpSolverInterface.hpp>

#include <cstdio>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace tavirlen {

namespace {

// Closes the log whatever way the solve ends.
struct LogFile {
    std::FILE* file;
    explicit LogFile(const std::string& name) : file(std::fopen(name.c_str(), "a")) {}
    ~LogFile()
    {
        if (file) std::fclose(file);
    }
};

SolverOutcome failure(const std::string& problem)
{
    SolverOutcome outcome;
    outcome.problem = problem;
    return outcome;
}

// A model without columns holds when every row admits an activity of 0.
SolverOutcome settleEmptyModel(const OsiSolverInterface& solver, std::FILE* log)
{
    SolverOutcome outcome;
    const double* lower = solver.getRowLower();
    const double* upper = solver.getRowUpper();
    for (int i = 0; i < solver.getNumRows(); ++i) {
        if (lower[i] > 1e-9 || upper[i] < -1e-9) {
            outcome.status = SolverStatus::infeasible;
            return outcome;
        }
    }
    writeSolutionListing(log, {});
    outcome.status = SolverStatus::optimal;
    return outcome;
}

SolverOutcome solve(const std::string& modelFileName, std::FILE* log, double timeLimitSeconds)
{
    CoinMessageHandler handler(log);
    handler.setLogLevel(1);

    OsiClpSolverInterface lp;
    lp.passInMessageHandler(&handler);
    lp.getModelPtr()->passInMessageHandler(&handler);
    // The empty extension makes the reader take the name exactly as given.
    if (lp.readMps(modelFileName.c_str(), "") != 0) return failure("the model file could not be read");
    if (lp.getNumCols() == 0) return settleEmptyModel(lp, log);

    lp.setHintParam(OsiDoReducePrint, true, OsiHintTry);
    // Presolve runs in memory; no presolve file is ever written.
    lp.setHintParam(OsiDoPresolveInInitial, true, OsiHintTry);
    lp.setHintParam(OsiDoPresolveInResolve, true, OsiHintTry);
    lp.initialSolve();
    SolverOutcome outcome;
    if (lp.isProvenPrimalInfeasible()) {
        outcome.status = SolverStatus::infeasible;
        return outcome;
    }
    if (!lp.isProvenOptimal()) return failure("the linear relaxation could not be solved");

    CbcModel model(lp);
    model.passInMessageHandler(&handler);
    model.solver()->passInMessageHandler(&handler);
    model.setLogLevel(1);
    model.setMaximumSolutions(999999);
    model.setMaximumNodes(9999999);
    if (timeLimitSeconds > 0.0) {
        model.setUseElapsedTime(true);
        model.setMaximumSeconds(timeLimitSeconds);
    }
    CglProbing probing;
    probing.setUsingObjective(1);
    probing.setMaxPass(3);
    probing.setMaxProbe(100);
    probing.setMaxLook(50);
    model.addCutGenerator(&probing, -1, "Probing");
    CglGomory gomory;
    model.addCutGenerator(&gomory, -1, "Gomory");
    CglKnapsackCover knapsack;
    model.addCutGenerator(&knapsack, -1, "Knapsack");
    CbcRounding rounding(model);
    model.addHeuristic(&rounding);

    model.branchAndBound();
    if (model.isProvenInfeasible()) {
        outcome.status = SolverStatus::infeasible;
        return outcome;
    }
    const double* best = model.bestSolution();
    const bool stoppedByTime = timeLimitSeconds > 0.0 && model.isSecondsLimitReached();
    if (!best || (!model.isProvenOptimal() && !stoppedByTime))
        return failure(stoppedByTime ? "the solver found no solution within the time limit"
                                     : "the solver stopped before proving a solution optimal");

    std::vector<std::pair<std::string, double>> columns;
    for (int j = 0; j < lp.getNumCols(); ++j) columns.push_back({lp.getColName(j), best[j]});
    writeSolutionListing(log, columns);
    outcome.status = model.isProvenOptimal() ? SolverStatus::optimal : SolverStatus::feasible;
    outcome.objectiveValue = model.getObjValue();
    return outcome;
}

} // namespace

SolverOutcome solveModelFile(const std::string& modelFileName, const std::string& logFileName,
                             double timeLimitSeconds)
{
    LogFile log(logFileName);
    if (!log.file) return failure("the solver log " + logFileName + " cannot be written");
    try {
        SolverOutcome outcome = solve(modelFileName, log.file, timeLimitSeconds);
        if (std::ferror(log.file)) return failure("the solver log " + logFileName + " could not be written");
        return outcome;
    } catch (const CoinError& error) {
        return failure("the solver stopped: " + error.message());
    } catch (const std::exception& error) {
        return failure(std::string("the solver stopped: ") + error.what());
    }
}

} // namespace tavirlen
