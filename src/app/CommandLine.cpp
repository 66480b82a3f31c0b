#include "app/CommandLine.h"

#include "batch/BatchDriver.h"
#include "constraints/ConstraintFinding.h"
#include "ilp/IlpDriver.h"
#include "locusdp/LocusDP.h"
#include "memberdp/MemberDP.h"
#include "modes/BestAvailable.h"
#include "modes/ErrorScreening.h"
#include "modes/Export.h"
#include "modes/Simulation.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtensionMode.h"
#include "vcf/PhasedVcf.h"

#include <CLI/CLI.hpp>

#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#ifndef TAVIRLEN_VERSION
#define TAVIRLEN_VERSION "unknown"
#endif

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

const char* const shortUsageEnd = "i:\tinteger linear programming\n";
const char* const longUsageEnd = "i:\tinteger linear programming algorithm\n";

// One mode letter: what it does and writes, whether it draws random numbers,
// which options it takes, and how it runs.
struct ModeEntry {
    char letter;
    const char* summary;
    const char* files;
    bool random;
    bool takesMaxSolutions;
    bool readsPedigreeFile;
    bool phases; // writes configurations: crossovers, --report, VCF input and output
    int (*run)(const RunOptions& options);
};

const char* const phasingFiles = "PREFIX.dat .res .out .summary.tsv .crossovers.tsv";

const ModeEntry modeTable[] = {
    {'a', "best available: exact where possible, and says per family what it guarantees (7 header columns)",
     phasingFiles, true, false, true, true, [](const RunOptions& o) { return runBatch(bestAvailableMode(), o); }},
    {'b', "block extension, the main algorithm (7 header columns)", phasingFiles, true,
     false, true, true, [](const RunOptions& o) { return runBatch(blockExtensionMode(7), o); }},
    {'t', "block extension on files with 6 header columns", phasingFiles, true,
     false, true, true, [](const RunOptions& o) { return runBatch(blockExtensionMode(6), o); }},
    {'c', "every zero-recombinant configuration, by equations modulo 2", phasingFiles,
     false, true, true, true, [](const RunOptions& o) { return runBatch(constraintFindingMode(), o); }},
    {'l', "locus-based dynamic programme over a tree of members", phasingFiles, false, false,
     true, true, [](const RunOptions& o) { return runBatch(locusDPMode(), o); }},
    {'m', "exact member-based dynamic programme; every optimal configuration",
     phasingFiles, false, true, true, true,
     [](const RunOptions& o) { return runBatch(memberDPMode(), o); }},
    {'i', "integer linear programme solved by COIN-OR CBC", phasingFiles, false, true,
     true, true, [](const RunOptions& o) { return runBatch(ilpMode(), o); }},
    {'n', "export of every family, as read, to fixed-layout files (5 header columns)",
     "INPUT-m5.txt -m10.txt -m15.txt -m20.txt, appended (PREFIX-m5.txt ... with --out), PREFIX.summary.tsv", false, false,
     true, false, [](const RunOptions& o) { return runBatch(exportMode(), o); }},
    {'e', "screening for genotyping errors and mutations (own input layout)", "PREFIX.inb .mrh", false, false,
     false, false, runErrorScreening},
    {'d', "100 simulated replicates of a pedigree structure, with recombination",
     "BASE-vary--26-2.txt -vary--26--summary -vary--26--SimWalk", true, false, false, false,
     simulateWithRecombination},
    {'s', "100 simulated replicates of a pedigree structure, without recombination", "BASE-6-2-0.txt", true,
     false, false, false, simulateWithoutRecombination},
};

void printHelp()
{
    std::cout << "tavirlen " TAVIRLEN_VERSION " - haplotype inference in pedigrees\n\n"
                 "Usage: tavirlen -LETTER INPUT [options]\n"
                 "       (options may also stand before the two arguments)\n\n"
                 "Modes (the letter is the second character of the first argument):\n";
    for (const ModeEntry& mode : modeTable) std::cout << "  -" << mode.letter << "  " << mode.summary << "\n";
    std::cout << "\nOptions:\n"
                 "  --help              this text\n"
                 "  --version           the version\n"
                 "  --seed N            seed of the random generator (modes a, b, t, d, s); without it the\n"
                 "                      clock gives the seed and the run prints \"seed N\" on standard error\n"
                 "  --out PREFIX        name every result file PREFIX plus its ending\n"
                 "  --max-solutions N   configurations written per family (modes c, m, i; default 65536\n"
                 "                      for c, 1000 for m and i); the summary says how many exist\n"
                 "  --map FILE          marker names and positions: PLINK .map (chromosome, name,\n"
                 "                      centimorgans, base pair) or chromosome, name, centimorgans;\n"
                 "                      in mode i the intervals weigh Haldane's fractions\n"
                 "  --columns N         leading columns before the alleles, when the file's layout is\n"
                 "                      not the mode's own (b: 7, t: 6, n: 5; at least 5)\n"
                 "  --report            also write PREFIX.html: every family drawn with its haplotypes\n"
                 "  --ped FILE          the input is a VCF/BCF (plain or bgzipped) and FILE its PED/FAM\n"
                 "                      pedigree (modes a, b, c, l, m, i)\n"
                 "  --region CHR        the chromosome to read when the VCF holds several\n"
                 "  --vcf-out FILE      write the phased calls to FILE (.vcf, .vcf.gz or .bcf)\n"
                 "  --fill              write filled-in missing calls to --vcf-out too\n"
                 "  --polish            modes b and t: a polishing pass after block extension that lowers\n"
                 "                      the recombinants member by member (mode a always polishes)\n"
                 "  --time-limit S      seconds the solver may take per family in mode a (default 60)\n"
                 "  --threads N         families worked on side by side (default: one per core); the\n"
                 "                      results are the same for any N\n"
                 "  --families A:B      phase and write only the A-th to the B-th family (from 1): parts\n"
                 "                      of one file run apart give what one run gives (see README)\n"
                 "  --force             replace result files that this program did not write\n"
                 "  --quiet             no progress or summary lines on standard error\n"
                 "\nFiles written (PREFIX: the input name without its last three characters, or --out):\n";
    for (const ModeEntry& mode : modeTable) std::cout << "  -" << mode.letter << "  " << mode.files << "\n";
    std::cout << "  With --report also PREFIX.html; with --vcf-out the phased VCF.\n"
                 "  Modes a and i keep their model and solver listing in a private temporary folder.\n"
                 "  Existing result files are replaced only when this program wrote them.\n"
                 "\nExit status:\n"
                 "  0  the run completed\n"
                 "  1  a file could not be opened, created or written\n"
                 "  2  a usage error: wrong arguments, an unknown letter or option, a bad option value\n"
                 "  3  the run stopped before its end (mode i at a Mendelian inconsistency)\n";
    std::cout.flush();
}

int usageError(const char* usageEnd, const std::string& message)
{
    printUsage(usageEnd);
    if (!message.empty()) std::cerr << "tavirlen: " << message << std::endl;
    return 2;
}

} // namespace

int runCommandLine(int argc, const char* const* argv)
{
    CLI::App app{"tavirlen"};
    app.set_help_flag();
    app.allow_extras();
    bool help = false;
    bool version = false;
    RunOptions options;
    unsigned seed = 0;
    long long maxSolutions = 0;
    app.add_flag("--help", help);
    app.add_flag("--version", version);
    CLI::Option* seedOption = app.add_option("--seed", seed);
    app.add_option("--out", options.outPrefix)->check([](const std::string& value) {
        return value.empty() ? std::string("the prefix must not be empty") : std::string();
    });
    CLI::Option* maxOption = app.add_option("--max-solutions", maxSolutions)->check(CLI::PositiveNumber);
    int columns = 0;
    CLI::Option* columnsOption = app.add_option("--columns", columns)->check(CLI::Range(5, 1000));
    app.add_option("--map", options.mapFile);
    CLI::Option* timeOption = app.add_option("--time-limit", options.timeLimitSeconds)->check(CLI::PositiveNumber);
    app.add_option("--threads", options.threads)->check(CLI::Range(1, 1024));
    std::string familyRange;
    CLI::Option* rangeOption = app.add_option("--families", familyRange);
    app.add_flag("--polish", options.polish);
    app.add_flag("--report", options.report);
    app.add_option("--ped", options.pedFile);
    app.add_option("--region", options.region);
    app.add_option("--vcf-out", options.vcfOut);
    app.add_flag("--fill", options.fill);
    app.add_flag("--force", options.force);
    app.add_flag("--quiet", options.quiet);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return usageError(shortUsageEnd, error.what());
    }
    if (help) {
        printHelp();
        return 0;
    }
    if (version) {
        std::cout << "tavirlen " TAVIRLEN_VERSION "\n";
        return 0;
    }
    std::vector<std::string> arguments = app.remaining();
    for (const std::string& argument : arguments)
        if (argument.size() > 2 && argument.compare(0, 2, "--") == 0)
            return usageError(shortUsageEnd, "unknown option " + argument);
    if (arguments.size() != 2) return usageError(shortUsageEnd, "");

    // Only the second character of the first argument names the mode.
    const std::string& option = arguments[0];
    const char letter = option.size() >= 2 ? option[1] : '\0';
    const ModeEntry* mode = nullptr;
    for (const ModeEntry& entry : modeTable)
        if (entry.letter == letter) mode = &entry;
    if (!mode) return usageError(longUsageEnd, "");
    if (*maxOption && !mode->takesMaxSolutions)
        return usageError(shortUsageEnd, "--max-solutions applies to modes c, m and i only");

    options.mode = letter;
    options.inputName = arguments[1];
    if (*maxOption) options.maxSolutions = maxSolutions;
    if (*columnsOption && !mode->readsPedigreeFile)
        return usageError(shortUsageEnd, "--columns applies to the pedigree modes (b, t, c, l, m, i, n) only");
    if (*columnsOption) options.headerColumns = columns;
    if (*rangeOption) {
        const std::size_t colon = familyRange.find(':');
        int first = 0;
        int last = 0;
        if (colon == std::string::npos || !wholeNumber(familyRange.substr(0, colon), first)
            || !wholeNumber(familyRange.substr(colon + 1), last) || first < 1 || last < first)
            return usageError(shortUsageEnd, "--families takes FIRST:LAST, family numbers from 1, FIRST <= LAST");
        if (!mode->readsPedigreeFile) return usageError(shortUsageEnd, "--families applies to the pedigree modes only");
        options.firstFamily = static_cast<std::size_t>(first);
        options.lastFamily = static_cast<std::size_t>(last);
    }
    if (*timeOption && letter != 'a') return usageError(shortUsageEnd, "--time-limit applies to mode a only");
    if (options.polish && letter != 'b' && letter != 't')
        return usageError(shortUsageEnd, "--polish applies to modes b and t (mode a always polishes)");
    if (options.report && !mode->phases)
        return usageError(shortUsageEnd, "--report applies to the phasing modes only");
    if (!options.pedFile.empty() && (!mode->phases || letter == 't'))
        return usageError(shortUsageEnd, "--ped applies to modes a, b, c, l, m and i only");
    if (options.pedFile.empty() && (!options.region.empty() || !options.vcfOut.empty()))
        return usageError(shortUsageEnd, "--region and --vcf-out need a VCF input with --ped");
    if (options.fill && options.vcfOut.empty()) return usageError(shortUsageEnd, "--fill needs --vcf-out");
    if (!options.vcfOut.empty() && !namesVcfFormat(options.vcfOut))
        return usageError(shortUsageEnd, "--vcf-out takes a file ending in .vcf, .vcf.gz or .bcf");
    if (!*seedOption) {
        seed = static_cast<unsigned>(std::time(nullptr));
        if (mode->random) std::cerr << "seed " << seed << std::endl;
    }
    options.seed = seed;
    seedRandom(seed);
    return mode->run(options);
}

} // namespace tavirlen
