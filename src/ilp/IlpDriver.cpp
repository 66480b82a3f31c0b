#include "ilp/IlpDriver.h"

#include "ilp/IlpReduction.h"
#include "ilp/MpsWriter.h"
#include "ilp/Solver.h"
#include "ilp/SolverLog.h"
#include "pedigree/LineReader.h"
#include "pedigree/PedigreeReader.h"
#include "phasing/Sources.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdlib.h>

namespace tavirlen {

namespace {

const char* const markerDistanceFileName = "markerdist.txt";
void fallBackToEvenSpacing(DatasetSummary& summary)
{
    summary.markerDistances.clear();
    summary.likelihoodSkipped = true;
}

// One line on standard output and in .res for a family that gets no result.
void reportFamily(const Pedigree& pedigree, std::ostream& res, const std::string& text)
{
    std::string line = "Family " + pedigree.familyText() + ": " + text;
    std::cout << line << "\n";
    res << line << "\n";
    res.flush();
}

void emptyFile(const std::string& name)
{
    std::ofstream(name, std::ios::out | std::ios::trunc);
}

// The allele of each rank at each locus.
std::vector<std::vector<int>> allelesByRank(const Pedigree& pedigree)
{
    std::vector<std::vector<int>> alleles;
    for (const std::set<int>& observed : pedigree.observedAlleles)
        alleles.emplace_back(observed.begin(), observed.end());
    return alleles;
}

// Gives a variable its value straight in its record, as the enumeration of
// undetermined classes does.
void applyValue(IlpModel& model, const std::vector<std::vector<int>>& alleles, int v, int value)
{
    GenotypeRecord* g = model.record(v);
    if (!g) return;
    auto locus = static_cast<std::size_t>(variableLocus(v));
    int kind = variableKind(v);
    int m = locus < model.distinctAlleleCounts.size() ? model.distinctAlleleCounts[locus] : 0;
    if (kind == paternalSourceKind) {
        g->paternalSource = value;
    } else if (kind == maternalSourceKind) {
        g->maternalSource = value;
    } else if (value == 1 && kind < m) {
        g->allele1 = alleles[locus][static_cast<std::size_t>(kind)];
    } else if (value == 1 && kind >= m && kind < 2 * m) {
        g->allele2 = alleles[locus][static_cast<std::size_t>(kind - m)];
    }
    g->phased = true;
}

bool ilpStartRun(BatchRun& run)
{
    // The model and the solver listing of each family are working files: in
    // a folder of this run's own, two runs in one folder cannot mix them up.
    if (!createWorkFolder(run)) return false;
    run.res << "Solution#\tSolution\tFamilyID\tRec#\tTime(Sec)\n";
    if (run.markers.empty())
        readMarkerDistances(*run.summary);
    else
        useMapDistances(*run.summary, run.markers);
    return true;
}

void ilpAnnounceFamily(BatchRun&, const Pedigree& pedigree)
{
    std::cout << "Processing pedigree " << pedigree.familyText() << "\n";
}

// In input order: the checks, the weights (a family may leave the rest of
// the run evenly spaced) and the Mendelian check that ends the run.
Prepared ilpPrepareFamily(BatchRun& run, FamilyRun& family)
{
    Pedigree& pedigree = *family.pedigree;
    FamilyRow& row = family.row;
    if (missingAllAllelesAtSomeLocus(pedigree)) {
        std::cout << pedigree.familyText() << " missing all alleles on some markers!\n";
        markFamily(row, FamilyStatus::skipped, "nobody is typed at some locus", "an untyped locus");
        return Prepared::done;
    }
    if (auto problem = ilpSchemeProblem(pedigree)) {
        std::cout << "Skipping family " << pedigree.familyText() << ": " << *problem << "\n";
        markFamily(row, FamilyStatus::skipped, *problem, "too large for the programme's numbering");
        return Prepared::done;
    }

    DatasetSummary& summary = *run.summary;
    std::size_t loci = pedigree.members.begin()->second.genotypes.size();
    std::size_t intervals = loci > 0 ? loci - 1 : 0;
    if (!summary.likelihoodSkipped && summary.markerDistances.size() < intervals) {
        std::cout << markerDistanceFileName << " holds " << summary.markerDistances.size()
                  << " distances but family " << pedigree.familyText() << " has " << intervals
                  << " marker intervals, assume evenly spaced!\n";
        fallBackToEvenSpacing(summary);
    }
    if (summary.likelihoodSkipped)
        pedigree.markerWeights.assign(intervals, 1.0f);
    else
        pedigree.markerWeights = summary.markerDistances;

    pedigree.missingAlleleCount = 0;
    for (const auto& [id, m] : pedigree.members) pedigree.missingAlleleCount += m.missingAlleleCount;
    pedigree.finalise();
    pedigree.prepare();
    // Mode i does not phase around an inconsistent trio: the run ends here.
    if (!pedigree.checkMendel()) {
        std::cerr << "tavirlen: the run stopped at family " << pedigree.familyText()
                  << ": Mendelian inconsistency (reported on standard output)" << std::endl;
        markFamily(row, FamilyStatus::mendel, "Mendelian inconsistency; the run stopped here");
        family.status = 3;
        return Prepared::stop;
    }
    summary.countPedigree(pedigree);
    return Prepared::process;
}

FamilyOutcome ilpEndOfFamily(FamilyRun& run)
{
    Pedigree& pedigree = *run.pedigree;
    FamilyRow& row = run.row;
    // Working files of this family only: families are solved side by side.
    const std::string stem = run.workFolder + "/family" + std::to_string(run.inputIndex);
    IlpSettings settings;
    settings.modelFileName = stem + ".msp";
    settings.logFileName = stem + ".log";
    settings.maxSolutions = run.options.maxSolutionsOr(defaultMaxIlpSolutions);
    IlpSolutionCount count;
    IlpResult result = solvePedigreeByIlp(pedigree, run.dat, run.res, run.out, settings, &count);
    std::remove(settings.modelFileName.c_str());
    std::remove(settings.logFileName.c_str());
    if (result == IlpResult::solved) {
        row.recombinants = pedigree.recombinantCount;
        row.optimal = "yes";
        row.solutionsWritten = count.written;
        row.solutionsInAll = count.inAll;
    } else {
        markFamily(row, result == IlpResult::solverFailed ? FamilyStatus::unphased : FamilyStatus::noSolution,
                   result == IlpResult::solverFailed ? "the solver failed" : "no haplotype configuration fits the genotypes");
    }
    // Kept for the likelihoods, which need every family's founders.
    run.keep = true;
    return FamilyOutcome::next;
}

void ilpFinishRun(BatchRun& run)
{
    writeTotalTime(run);
    run.summary->countFounderHaplotypes();
    run.summary->computeLikelihoods();
    run.summary->writeStatistics(run.res);
}

} // namespace

bool missingAllAllelesAtSomeLocus(const Pedigree& pedigree)
{
    std::size_t loci = pedigree.members.empty() ? 0 : pedigree.members.begin()->second.genotypes.size();
    for (std::size_t l = 0; l < loci; ++l) {
        bool allMissing = true;
        for (const auto& [id, m] : pedigree.members) {
            const GenotypeRecord& g = m.genotypes[l];
            if (g.allele1 >= 1 || g.allele2 >= 1) allMissing = false;
        }
        if (allMissing) return true;
    }
    return false;
}

BatchMode ilpMode()
{
    BatchMode mode;
    mode.method = "integer programme";
    mode.keepsSummary = true;
    mode.minimumMembers = 3;
    mode.startRun = ilpStartRun;
    mode.announceFamily = ilpAnnounceFamily;
    mode.prepareFamily = ilpPrepareFamily;
    mode.endOfFamily = ilpEndOfFamily;
    mode.finishRun = ilpFinishRun;
    return mode;
}

void useMapDistances(DatasetSummary& summary, const MarkerMap& map)
{
    summary.markerDistances.clear();
    summary.likelihoodSkipped = false;
    for (std::size_t k = 1; k < map.size(); ++k) {
        const double fraction = haldaneFraction(map.centimorgans[k] - map.centimorgans[k - 1]);
        if (!(fraction > 0.0)) {
            std::cout << "Markers " << map.names[k - 1] << " and " << map.names[k]
                      << " of the map share a position, assume evenly spaced!\n";
            fallBackToEvenSpacing(summary);
            return;
        }
        summary.markerDistances.push_back(static_cast<float>(fraction));
    }
}

void readMarkerDistances(DatasetSummary& summary)
{
    std::ifstream file(markerDistanceFileName);
    if (!file.is_open()) {
        summary.likelihoodSkipped = true;
        std::cout << "Can not find the marker distance file: markerdist.txt, assume evenly spaced!\n";
        return;
    }
    readMarkerDistances(summary, file);
}

void readMarkerDistances(DatasetSummary& summary, std::istream& file)
{
    std::string line;
    LineReader lines(file);
    while (lines.next(line)) {
        const long long lineNumber = lines.lineNumber();
        std::vector<std::string> fields = splitFields(line, " ,\t");
        if (fields.empty()) break;
        // Only a whole decimal number: "0.1abc" or a hexadecimal float is
        // not a distance someone meant.
        double value = 0.0;
        const float theta = wholeDecimal(fields[0], value) ? static_cast<float>(value) : 0.0f;
        if (!(theta > 0.0f && theta <= 0.5f)) {
            std::cout << "Marker distance \"" << fields[0] << "\" on line " << lineNumber << " of "
                      << markerDistanceFileName
                      << " is not a recombination fraction in (0, 0.5], assume evenly spaced!\n";
            fallBackToEvenSpacing(summary);
            return;
        }
        summary.markerDistances.push_back(theta);
    }
}

IlpResult solveIlp(IlpModel& model, const IlpSettings& settings, std::string& message, bool* proven)
{
    const std::string& modelFileName = settings.modelFileName;
    const std::string& logFileName = settings.logFileName;
    IlpResult result = IlpResult::solved;
    buildModel(model);
    if (!reduceModel(model)) {
        message = "the integer programme is inconsistent (no haplotype configuration fits the genotypes); no "
                  "solution written";
        result = IlpResult::inconsistent;
    } else if (std::FILE* file = std::fopen(modelFileName.c_str(), "w")) {
        writeMps(model, file);
        bool written = std::fflush(file) == 0 && !std::ferror(file);
        std::fclose(file);
        emptyFile(logFileName);
        SolverOutcome outcome;
        if (written)
            outcome = solveModelFile(modelFileName, logFileName, settings.timeLimitSeconds);
        else
            outcome.problem = "the model file " + modelFileName + " could not be written";
        const bool solution = outcome.status == SolverStatus::optimal || outcome.status == SolverStatus::feasible;
        if (solution && !readSolverLog(model, logFileName)) {
            outcome.status = SolverStatus::failed;
            outcome.problem = "the solver log " + logFileName + " holds no solution";
        }
        if (outcome.status == SolverStatus::infeasible) {
            message = "the solver found no feasible haplotype configuration; no solution written";
            result = IlpResult::infeasible;
        } else if (outcome.status == SolverStatus::failed) {
            message = outcome.problem + "; no solution written";
            result = IlpResult::solverFailed;
        } else {
            if (proven) *proven = outcome.status == SolverStatus::optimal;
            settleObjective(model);
            settleMergedClasses(model);
            applyHaplotypes(model);
        }
    } else {
        message = "the model file " + modelFileName + " cannot be created; no solution written";
        result = IlpResult::solverFailed;
    }
    emptyFile(logFileName);
    emptyFile(modelFileName);
    return result;
}

IlpResult solvePedigreeByIlp(Pedigree& pedigree, std::ostream& dat, std::ostream& res, std::FILE* out,
                             const IlpSettings& settings, IlpSolutionCount* count)
{
    IlpModel model(pedigree);
    std::string message;
    IlpResult result = solveIlp(model, settings, message, nullptr);
    if (result != IlpResult::solved) {
        reportFamily(pedigree, res, message);
        return result;
    }
    IlpSolutionCount written = writeIlpSolutions(model, dat, res, out, settings.maxSolutions);
    if (count) *count = written;
    return result;
}

void settleObjective(IlpModel& model)
{
    for (std::size_t i = model.objectiveVariables.size(); i-- > 0;) {
        int literal = model.objectiveVariables[i];
        if (literal > 0 && model.fixedValue(literal) != 1)
            model.fixVariable(literal, 0);
        else if (literal < 0 && model.fixedValue(-literal) != 0)
            model.fixVariable(-literal, 1);
    }
}

namespace {

// Whether giving the first set firstValue (and the second set the other
// value) agrees with every fixed member.
bool classAccepts(const IlpModel& model, const MergedClass& merged, int firstValue)
{
    for (int v : merged.firstSet)
        if (model.fixedValue(v) == 1 - firstValue) return false;
    for (int v : merged.secondSet)
        if (model.fixedValue(v) == firstValue) return false;
    return true;
}

void fixClass(IlpModel& model, const MergedClass& merged, int firstValue)
{
    for (int v : merged.firstSet) model.fixVariable(v, firstValue);
    for (int v : merged.secondSet) model.fixVariable(v, 1 - firstValue);
}

int firstFixedValue(const IlpModel& model, const std::set<int>& set)
{
    for (int v : set) {
        int value = model.fixedValue(v);
        if (value >= 0) return value;
    }
    return -1;
}

} // namespace

void settleMergedClasses(IlpModel& model)
{
    model.undeterminedClasses.clear();
    for (const MergedClass& merged : model.mergedClasses) {
        int value = firstFixedValue(model, merged.firstSet);
        if (value >= 0) {
            if (classAccepts(model, merged, value)) {
                fixClass(model, merged, value);
                continue;
            }
            std::cout << (value == 1 ? "error 1" : "error 2") << "\n";
        }
        value = firstFixedValue(model, merged.secondSet);
        if (value >= 0) {
            if (classAccepts(model, merged, 1 - value)) {
                fixClass(model, merged, 1 - value);
                continue;
            }
            std::cout << (value == 1 ? "error 3" : "error 4") << "\n";
        }
        model.undeterminedClasses.push_back(merged);
    }
}

void applyHaplotypes(IlpModel& model)
{
    Pedigree& pedigree = *model.pedigree;
    std::vector<std::vector<int>> alleles = allelesByRank(pedigree);
    for (int id : pedigree.processingOrder) {
        Individual& member = *pedigree.member(id);
        for (std::size_t l = 0; l < member.genotypes.size() && l < alleles.size(); ++l) {
            GenotypeRecord& g = member.genotypes[l];
            int m = model.distinctAlleleCounts[l];
            int base = variableId(member.memberIndex, static_cast<int>(l), 0);
            for (int side = 0; side < 2; ++side) {
                for (int k = 0; k < m; ++k) {
                    if (model.fixedValue(base + side * m + k) != 1) continue;
                    g.allele(side) = alleles[l][static_cast<std::size_t>(k)];
                    break;
                }
            }
            g.phased = true;
            g.paternalSource = model.fixedValue(base + paternalSourceKind) == 1 ? 1 : 0;
            g.maternalSource = model.fixedValue(base + maternalSourceKind) == 1 ? 1 : 0;
        }
    }
}

void applyIlpSolution(IlpModel& model, long long solution)
{
    std::vector<std::vector<int>> alleles = allelesByRank(*model.pedigree);
    for (std::size_t j = 0; j < model.undeterminedClasses.size(); ++j) {
        int bit = j < 63 ? static_cast<int>((solution >> j) & 1) : 0;
        const MergedClass& merged = model.undeterminedClasses[j];
        for (int v : merged.firstSet) applyValue(model, alleles, v, bit);
        for (int v : merged.secondSet) applyValue(model, alleles, v, 1 - bit);
    }
    countRecombinants(*model.pedigree);
}

IlpSolutionCount writeIlpSolutions(IlpModel& model, std::ostream& dat, std::ostream& res, std::FILE* out,
                                   long long maxSolutions)
{
    Pedigree& pedigree = *model.pedigree;
    const std::size_t classes = model.undeterminedClasses.size();
    IlpSolutionCount count;
    count.inAll = classes < 63 ? std::to_string(1LL << classes) : "2^" + std::to_string(classes);
    long long solutions = maxSolutions;
    if (classes < 63 && (1LL << classes) <= maxSolutions) {
        solutions = 1LL << classes;
    } else {
        std::string line = "Family " + pedigree.familyText() + ": " + std::to_string(classes)
            + " undetermined phase choices; only the first " + std::to_string(maxSolutions) + " of 2^"
            + std::to_string(classes) + " equally good solutions are written";
        std::cout << line << "\n";
        res << line << "\n";
    }
    for (long long s = 0; s < solutions; ++s) {
        applyIlpSolution(model, s);
        pedigree.writeDat(dat);
        res << solutions << "\t" << s + 1 << "\t";
        pedigree.writeRes(res);
        pedigree.writeOut(out);
    }
    count.written = solutions;
    return count;
}

} // namespace tavirlen
