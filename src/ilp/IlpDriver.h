#pragma once

#include "app/BatchDriver.h"
#include "ilp/IlpModel.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace tavirlen {

// Mode i: integer linear programming on the MIP solver.
BatchMode ilpMode();

// The solver log, in the working directory.
extern const char* const ilpLogFileName;

// Reads "markerdist.txt" from the working directory into the summary's
// markerDistances: the first field of each line up to the first blank line,
// each a recombination fraction in (0, 0.5]. A missing file or a bad value is
// reported and leaves the summary without distances and likelihoods.
void readMarkerDistances(DatasetSummary& summary);

enum class IlpResult { solved, inconsistent, infeasible, solverFailed };

// One prepared pedigree through the integer programme: model, reduction, the
// model file, the solver, the log, the mapping back and one .dat block, .res
// line and .out block per optimal solution. A family without a solution gets
// one line on standard output and in .res instead.
IlpResult solvePedigreeByIlp(Pedigree& pedigree, std::ostream& dat, std::ostream& res, std::FILE* out,
                             const std::string& modelFileName);

// Objective variables the log left open take their cheaper value.
void settleObjective(IlpModel& model);

// Every merged class takes the value of its first fixed member; classes with
// no fixed member become the undetermined classes.
void settleMergedClasses(IlpModel& model);

// Alleles and sources of every member from the fixed allele and source
// variables; every record ends phased.
void applyHaplotypes(IlpModel& model);

// Writes the 2^N solutions of the N undetermined classes (only the first,
// with a line saying so, when N is above 30), each prefixed on .res by the
// number of solutions and its own number.
void writeIlpSolutions(IlpModel& model, std::ostream& dat, std::ostream& res, std::FILE* out);

} // namespace tavirlen
