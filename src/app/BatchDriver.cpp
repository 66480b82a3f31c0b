#include "app/BatchDriver.h"

#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/RunContext.h"

#include <iostream>

namespace tavirlen {

BatchRun::~BatchRun()
{
    if (out) std::fclose(out);
}

std::string resultFileName(const std::string& inputName, const std::string& ending)
{
    if (inputName.size() < 3) return inputName + "." + ending;
    return inputName.substr(0, inputName.size() - 3) + ending;
}

void writeTotalTime(BatchRun& run)
{
    run.res << "Total Time used(Sec):\t" << static_cast<double>(processClock() - run.startClock) * 0.001
            << "\n\n";
}

void writeFamilyResults(BatchRun& run, Pedigree& pedigree)
{
    pedigree.writeDat(run.dat);
    pedigree.writeRes(run.res);
    pedigree.writeOut(run.out);
}

namespace {

bool openResultFiles(BatchRun& run)
{
    const std::string names[3] = {resultFileName(run.inputName, "dat"),
                                  resultFileName(run.inputName, "res"),
                                  resultFileName(run.inputName, "out")};
    for (const std::string& name : names) {
        // Creating a result file under the input's own name would empty the
        // input before it is read.
        if (name == run.inputName) {
            std::cerr << "Result file " << name << " would overwrite the input file" << std::endl;
            return false;
        }
    }
    run.dat.open(names[0], std::ios::out | std::ios::trunc);
    run.res.open(names[1], std::ios::out | std::ios::trunc);
    run.out = std::fopen(names[2].c_str(), "w");
    const bool opened[3] = {run.dat.is_open(), run.res.is_open(), run.out != nullptr};
    for (int i = 0; i < 3; ++i) {
        if (!opened[i]) {
            std::cerr << "Cannot create result file: " << names[i] << std::endl;
            return false;
        }
    }
    return true;
}

} // namespace

int runBatch(const BatchMode& mode, const std::string& inputName)
{
    BatchRun run;
    run.startClock = processClock();
    run.inputName = inputName;
    std::ifstream input(inputName);
    if (!input.is_open()) {
        std::cerr << "Cannot open input file: " << inputName << std::endl;
        return 1;
    }
    if (mode.writesResultFiles && !openResultFiles(run)) return 1;
    if (mode.keepsSummary) run.summary = std::make_unique<DatasetSummary>();
    if (mode.startRun) {
        if (!mode.startRun(run)) return run.status;
    } else if (mode.writesResultFiles) {
        run.res << "Family\t # of Rec\t Time used(Sec)\n";
    }

    PedigreeReader reader(input, mode.headerColumns);
    while (std::unique_ptr<Pedigree> pedigree = reader.next()) {
        if (mode.announceFamily) mode.announceFamily(run, *pedigree);
        pedigree->memberCount = static_cast<int>(pedigree->members.size());
        runContext().currentMemberCount = pedigree->memberCount;
        // Small families go without a word, unless their lines were malformed:
        // text ids can collapse a whole family into one member.
        bool small = pedigree->memberCount < mode.minimumMembers;
        if (small && pedigree->readProblem.empty()) continue;
        if (mode.checksFamilies) {
            if (auto reason = checkFamily(*pedigree)) {
                std::cout << "Skipping family " << pedigree->familyId << ": " << *reason << std::endl;
                continue;
            }
        }
        if (small) continue;
        if (mode.endOfFamily && mode.endOfFamily(run, std::move(pedigree)) == FamilyOutcome::endRun)
            return run.status;
    }
    if (mode.finishRun) mode.finishRun(run);
    return run.status;
}

} // namespace tavirlen
