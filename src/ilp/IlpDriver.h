#pragma once

#include "batch/BatchDriver.h"
#include "ilp/IlpModel.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace tavirlen {

// Mode i: integer linear programming on the MIP solver.
BatchMode ilpMode();

// Solutions written per family unless the run says otherwise.
constexpr long long defaultMaxIlpSolutions = 1000;

// Reads "markerdist.txt" from the working directory into the summary's
// markerDistances: the first field of each line up to the first blank line,
// each a recombination fraction in (0, 0.5]. A missing file or a bad value is
// reported and leaves the summary without distances and likelihoods.
void readMarkerDistances(DatasetSummary& summary);
void readMarkerDistances(DatasetSummary& summary, std::istream& file);

// The interval fractions from a marker map instead: Haldane's fraction of
// each interval's centimorgans. Markers at one position leave the run
// without distances, as a bad distance file does.
void useMapDistances(DatasetSummary& summary, const MarkerMap& map);

enum class IlpResult { solved, inconsistent, infeasible, solverFailed };

// Where one family's model and solver listing go, and how many of its
// optimal solutions are written.
struct IlpSettings {
    std::string modelFileName;
    std::string logFileName;
    long long maxSolutions = defaultMaxIlpSolutions;
    double timeLimitSeconds = 0.0; // 0: until proven optimal
};

// How many solutions a family has and how many were written.
struct IlpSolutionCount {
    long long written = 0;
    std::string inAll; // a number, or 2^N when it is too large to print
};

// The programme of one prepared pedigree: model, reduction, the model file,
// the solver and its listing. On success the model's fixed values hold the
// solution, applied to the records but for the undetermined classes;
// `proven` says whether the solver proved it optimal (it may not within a
// time limit). Otherwise `message` says why there is none.
IlpResult solveIlp(IlpModel& model, const IlpSettings& settings, std::string& message, bool* proven);

// Gives the undetermined classes the bits of solution number `solution`
// (the first is 0) and counts the recombinants.
void applyIlpSolution(IlpModel& model, long long solution);

// One prepared pedigree through the integer programme: model, reduction, the
// model file, the solver, the log, the mapping back and one .dat block, .res
// line and .out block per optimal solution. A family without a solution gets
// one line on standard output and in .res instead.
IlpResult solvePedigreeByIlp(Pedigree& pedigree, std::ostream& dat, std::ostream& res, std::FILE* out,
                             const IlpSettings& settings, IlpSolutionCount* count = nullptr);

// True when nobody in the family is typed at some locus; the programme is
// not built for such a family.
bool missingAllAllelesAtSomeLocus(const Pedigree& pedigree);

// Objective variables the log left open take their cheaper value.
void settleObjective(IlpModel& model);

// Every merged class takes the value of its first fixed member; classes with
// no fixed member become the undetermined classes.
void settleMergedClasses(IlpModel& model);

// Alleles and sources of every member from the fixed allele and source
// variables; every record ends phased.
void applyHaplotypes(IlpModel& model);

// Writes the 2^N solutions of the N undetermined classes, at most
// `maxSolutions` of them (with a line saying so when there are more), each
// prefixed on .res by the number of solutions written and its own number.
IlpSolutionCount writeIlpSolutions(IlpModel& model, std::ostream& dat, std::ostream& res, std::FILE* out,
                                   long long maxSolutions = defaultMaxIlpSolutions);

} // namespace tavirlen
