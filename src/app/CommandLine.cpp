#include "app/CommandLine.h"

#include "app/BatchDriver.h"
#include "constraints/ConstraintFinding.h"
#include "ilp/IlpDriver.h"
#include "locusdp/LocusDP.h"
#include "memberdp/MemberDP.h"
#include "modes/ErrorScreening.h"
#include "modes/Simulation.h"
#include "pedigree/Random.h"

#include <ctime>
#include <iostream>
#include <string>

namespace tavirlen {

namespace {

void printUsage(const char* lastLine)
{
    std::cout << "USAGE: Tavirlen.exe -option infile\n\n";
    std::cout << "options:\n";
    std::cout << "b:\tblock-extension algorithm\n";
    std::cout << "c:\tconstraint-finding algorithm\n";
    std::cout << "l:\tlocus-based DP algorithm\n";
    std::cout << "m:\tmember-based DP algorithm\n";
    std::cout << lastLine;
    std::cout.flush();
}

struct ModeEntry {
    char letter;
    int (*run)(const std::string& inputName);
};

const ModeEntry modeTable[] = {
    {'b', [](const std::string& in) { return runBatch(blockExtensionMode(7), in); }},
    {'c', [](const std::string& in) { return runBatch(constraintFindingMode(), in); }},
    {'l', [](const std::string& in) { return runBatch(locusDPMode(), in); }},
    {'m', [](const std::string& in) { return runBatch(memberDPMode(), in); }},
    {'i', [](const std::string& in) { return runBatch(ilpMode(), in); }},
    {'t', [](const std::string& in) { return runBatch(blockExtensionMode(6), in); }},
    {'n', [](const std::string& in) { return runBatch(exportMode(), in); }},
    {'d', simulateWithRecombination},
    {'e', runErrorScreening},
    {'s', simulateWithoutRecombination},
};

} // namespace

int runCommandLine(int argc, const char* const* argv)
{
    if (argc != 3) {
        printUsage("i:\tinteger linear programming\n");
        return 0;
    }
    seedRandom(static_cast<unsigned>(std::time(nullptr)));
    const char* option = argv[1];
    char letter = option[0] == '\0' ? '\0' : option[1];
    for (const ModeEntry& entry : modeTable)
        if (letter != '\0' && entry.letter == letter) return entry.run(argv[2]);
    printUsage("i:\tinteger linear programming algorithm\n");
    return 0;
}

} // namespace tavirlen
