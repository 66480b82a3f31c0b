#include "modes/Simulation.h"

#include "batch/ResultFiles.h"
#include "batch/RunFeedback.h"
#include "modes/Structure.h"
#include "pedigree/Random.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>

namespace tavirlen {

namespace {

constexpr int recombiningLoci = 26;
constexpr int plainLoci = 6;
constexpr int alleleValues = 2;

// A founder allele: 1..alleleCount with equal chances.
int drawAllele(int alleleCount)
{
    return static_cast<int>(static_cast<double>(rand()) / 32768.0 * alleleCount + 1.0);
}

// A fair coin for the parent's haplotype a child starts from.
int drawSide()
{
    return rand() < 16383 ? 1 : 0;
}

// One side of a child: the haplotype it copies from `parent`, switching
// where a recombination is drawn. Returns the number of switches.
int dropSide(Individual& child, const Individual& parent, int side, std::ostream* report,
             int replicate, int locusCount, const std::vector<float>* fractions)
{
    int switches = 0;
    int s = drawSide();
    for (int i = 0; i < locusCount; ++i) {
        std::size_t interval = static_cast<std::size_t>(i) - 1;
        if (i > 0 && fractions && interval < fractions->size()
            && static_cast<double>(rand()) / 32768.0 < static_cast<double>((*fractions)[interval])) {
            s = 1 - s;
            ++switches;
            if (report) {
                *report << "Family " << replicate << " Individual " << child.individualId
                        << (side == 0 ? " recombinantion in parternal chromosome at position "
                                      : " recombinantion in maternal chromosome at position ")
                        << i << "\n";
                report->flush();
            }
        }
        GenotypeRecord& record = child.genotypes[static_cast<std::size_t>(i)];
        record.allele(side) = parent.genotypes[static_cast<std::size_t>(i)].allele(s);
        record.source(side) = s;
    }
    return switches;
}

std::vector<float> drawFractions()
{
    std::vector<float> fractions(recombiningLoci - 1);
    for (float& fraction : fractions) fraction = static_cast<float>(rand() * 1.8310546875e-6 + 0.001);
    return fractions;
}

// A fresh pedigree for replicate r with the structure's members.
std::unique_ptr<Pedigree> makeReplicate(const Pedigree& structure, int replicate)
{
    auto pedigree = std::make_unique<Pedigree>(replicate);
    pedigree->members = structure.members;
    pedigree->memberCount = structure.memberCount;
    pedigree->founderCount = structure.founderCount;
    return pedigree;
}

// Reads and checks the structure; false (with a message) when it cannot be used.
bool loadStructure(const std::string& inputName, Pedigree& structure)
{
    if (auto problem = inputProblem(inputName)) {
        std::cerr << *problem << std::endl;
        return false;
    }
    std::ifstream input(inputName);
    std::optional<std::string> problem = readStructure(structure, input);
    if (!problem) problem = checkStructure(structure);
    if (problem) {
        std::cerr << "Cannot simulate " << inputName << ": " << *problem << std::endl;
        return false;
    }
    return true;
}

RunOptions quietOptions(const std::string& inputName)
{
    RunOptions options;
    options.inputName = inputName;
    options.quiet = true;
    return options;
}

// Moves the files into place and says what was written.
int finishSimulation(ResultSet& files, const RunOptions& options)
{
    if (!files.commit()) return 1;
    RunFeedback(options.quiet, 0).finish(std::to_string(replicateCount) + " replicates simulated; "
                                         + writtenList(files.names()));
    return 0;
}

} // namespace

std::string simulationBaseName(const std::string& inputName)
{
    if (inputName.size() <= 4) return inputName;
    return inputName.substr(0, inputName.size() - 4);
}

int dropGenes(Pedigree& pedigree, std::ostream* report, int replicate, int locusCount,
              const std::vector<float>* fractions, int alleleCount)
{
    std::vector<int> order = simulationOrder(pedigree);
    if (order.size() != pedigree.members.size()) return -1;
    pedigree.familyId = replicate;
    pedigree.locusCount = locusCount;
    int recombinations = 0;
    for (int id : order) {
        Individual& m = pedigree.members.at(id);
        m.familyId = replicate;
        m.genotypes.assign(static_cast<std::size_t>(std::max(locusCount, 0)), GenotypeRecord{});
        if (m.isFounder()) {
            for (GenotypeRecord& record : m.genotypes) {
                record.allele1 = drawAllele(alleleCount);
                record.allele2 = drawAllele(alleleCount);
            }
            continue;
        }
        recombinations += dropSide(m, pedigree.members.at(m.fatherId), 0, report, replicate,
                                   locusCount, fractions);
        recombinations += dropSide(m, pedigree.members.at(m.motherId), 1, report, replicate,
                                   locusCount, fractions);
    }
    return recombinations;
}

void writeReplicate(std::ostream& out, const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members) {
        out << m.familyId << "\t" << id << "\t" << m.fatherId << "\t" << m.motherId << "\t" << m.sex
            << "\t0\t0\t";
        for (const GenotypeRecord& g : m.genotypes) out << " " << g.allele1 << "\t" << g.allele2 << "\t";
        out << "\n";
    }
}

void writeSimWalkBlock(std::FILE* out, const Pedigree& pedigree)
{
    const char* indent = "                  "; // 18 blanks: the loci column
    std::fprintf(out, "%5d  %8lld\n", pedigree.memberCount, pedigree.familyId);
    for (const auto& [id, m] : pedigree.members) {
        std::fprintf(out, "%5d", id);
        if (m.fatherId != 0)
            std::fprintf(out, "%5d", m.fatherId);
        else
            std::fprintf(out, "     ");
        if (m.motherId != 0)
            std::fprintf(out, "%5d ", m.motherId);
        else
            std::fprintf(out, "      ");
        std::fprintf(out, "%1d ", m.sex);
        // Three loci to a line, every locus exactly once.
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            if (k > 0 && k % 3 == 0) std::fprintf(out, "\n%s", indent);
            std::fprintf(out, "%3d/%3d ", m.genotypes[k].allele1, m.genotypes[k].allele2);
        }
        std::fprintf(out, "\n");
    }
}

int simulateWithRecombination(const std::string& inputName)
{
    return simulateWithRecombination(quietOptions(inputName));
}

int simulateWithoutRecombination(const std::string& inputName)
{
    return simulateWithoutRecombination(quietOptions(inputName));
}

int simulateWithRecombination(const RunOptions& options)
{
    const std::string& inputName = options.inputName;
    Pedigree structure(0);
    if (!loadStructure(inputName, structure)) return 1;

    std::vector<float> fractions = drawFractions();
    const std::string middle = "-vary--" + std::to_string(recombiningLoci) + "-";
    const std::string base = simulationBaseName(inputName);
    const std::string replicateName
        = suffixedResultName(options, base, middle + std::to_string(alleleValues) + ".txt");
    const std::string reportName = suffixedResultName(options, base, middle + "-summary");
    const std::string simWalkName = suffixedResultName(options, base, middle + "-SimWalk");
    ResultSet files(options);
    if (!files.acceptNames({replicateName, reportName, simWalkName})) return 1;
    OutputFile* replicatesFile = files.open(replicateName);
    OutputFile* reportFile = replicatesFile ? files.open(reportName) : nullptr;
    OutputFile* simWalkFile = reportFile ? files.open(simWalkName) : nullptr;
    if (!simWalkFile) return 1;
    std::ostream& replicates = replicatesFile->stream();
    std::ostream& report = reportFile->stream();
    std::FILE* simWalk = simWalkFile->file();
    std::fprintf(simWalk, "(I5,2X,A8)\n");
    std::fprintf(simWalk, "(3A5,1X,2A1,(T19,3(A8),:))\n");

    float recombinationSum = 0;
    for (int r = 1; r <= replicateCount; ++r) {
        std::unique_ptr<Pedigree> replicate = makeReplicate(structure, r);
        recombinationSum += static_cast<float>(
            dropGenes(*replicate, &report, r, recombiningLoci, &fractions, alleleValues));
        writeSimWalkBlock(simWalk, *replicate);
        writeReplicate(replicates, *replicate);
    }

    report << "Marker interval recombFrac:\n";
    for (float fraction : fractions) report << fraction << "\n";
    report << "Average number of recombinant per family: "
           << static_cast<float>(recombinationSum * 0.01);
    return finishSimulation(files, options);
}

int simulateWithoutRecombination(const RunOptions& options)
{
    const std::string& inputName = options.inputName;
    Pedigree structure(0);
    if (!loadStructure(inputName, structure)) return 1;

    const std::string outputName = suffixedResultName(options, simulationBaseName(inputName),
                                                      "-" + std::to_string(plainLoci) + "-"
                                                          + std::to_string(alleleValues) + "-0.txt");
    ResultSet files(options);
    OutputFile* outputFile = files.open(outputName);
    if (!outputFile) return 1;
    std::ostream& output = outputFile->stream();
    for (int r = 1; r <= replicateCount; ++r) {
        std::unique_ptr<Pedigree> replicate = makeReplicate(structure, r);
        dropGenes(*replicate, nullptr, r, plainLoci, nullptr, alleleValues);
        writeReplicate(output, *replicate);
    }
    return finishSimulation(files, options);
}

} // namespace tavirlen
