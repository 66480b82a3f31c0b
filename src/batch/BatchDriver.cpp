#include "batch/BatchDriver.h"

#include "batch/RunFeedback.h"
#include "pedigree/Crossovers.h"
#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/RunContext.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sys/stat.h>

namespace tavirlen {

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
    FamilyRow& row = run.row(pedigree);
    row.recombinants = pedigree.recombinantCount;
    ++row.solutionsWritten;
}

void markFamily(FamilyRow& row, FamilyStatus status, const std::string& reason, const std::string& kind)
{
    row.status = status;
    row.reason = reason;
    row.reasonKind = kind;
    row.recombinants.reset();
    row.optimal = "";
}

BatchRun::~BatchRun()
{
    if (!workFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(workFolder, ignored);
    }
}

OutputFile* BatchRun::openResultFile(const std::string& name, bool append)
{
    OutputFile* file = files.open(name, append);
    if (!file) status = 1;
    return file;
}

namespace {

bool openCommonFiles(BatchRun& run, const BatchMode& mode)
{
    const std::string summaryName = resultFileName(run.options, "summary.tsv");
    std::vector<std::string> names;
    if (mode.writesResultFiles)
        names = {resultFileName(run.options, "dat"), resultFileName(run.options, "res"),
                 resultFileName(run.options, "out"), resultFileName(run.options, "crossovers.tsv")};
    names.push_back(summaryName);
    if (!run.files.acceptNames(names)) return false;
    if (mode.writesResultFiles) {
        OutputFile* files[4];
        for (int i = 0; i < 4; ++i)
            if (!(files[i] = run.openResultFile(names[static_cast<std::size_t>(i)]))) return false;
        run.dat.rdbuf(files[0]->stream().rdbuf());
        run.res.rdbuf(files[1]->stream().rdbuf());
        run.out = files[2]->file();
        run.crossovers.rdbuf(files[3]->stream().rdbuf());
        run.crossovers << "family\tsolution\tchild\tparent\tside\tlocus_before\tlocus_after";
        if (!run.markers.empty()) run.crossovers << "\tmarker_before\tmarker_after\tcm_before\tcm_after\tbp_before\tbp_after";
        run.crossovers << "\n";
    }
    return true;
}

// One row per change of source in the configuration just written; loci are
// numbered from 1 in file order, as the lines of a map file.
void writeCrossovers(BatchRun& run, const Pedigree& pedigree, int solution)
{
    const MarkerMap& map = run.markers;
    for (const Crossover& c : findCrossovers(pedigree)) {
        run.crossovers << pedigree.familyText() << "\t" << solution << "\t" << pedigree.idText(c.childId) << "\t"
                       << pedigree.idText(c.parentId) << "\t" << (c.side == 0 ? "paternal" : "maternal") << "\t"
                       << c.locusBefore + 1 << "\t" << c.locusAfter + 1;
        if (!map.empty()) {
            auto at = [](const auto& values, int locus) {
                return static_cast<std::size_t>(locus) < values.size() ? values[static_cast<std::size_t>(locus)]
                                                                        : decltype(values[0]){};
            };
            run.crossovers << "\t" << at(map.names, c.locusBefore) << "\t" << at(map.names, c.locusAfter) << "\t"
                           << at(map.centimorgans, c.locusBefore) << "\t" << at(map.centimorgans, c.locusAfter)
                           << "\t";
            if (map.hasBasePairs())
                run.crossovers << at(map.basePairs, c.locusBefore) << "\t" << at(map.basePairs, c.locusAfter);
            else
                run.crossovers << "\t";
        }
        run.crossovers << "\n";
    }
}

// What the run writes beside the three result files for each configuration
// of a family, whichever mode writes it.
void attachWriters(BatchRun& run, Pedigree& pedigree)
{
    if (!run.crossovers.rdbuf()) return;
    pedigree.configurationWritten = [&run, solution = 0](const Pedigree& written) mutable {
        writeCrossovers(run, written, ++solution);
    };
}

// A family whose lines are not together in the file is read as separate
// families; a part too small to be phased must not vanish without a word.
void reportSplitFamilies(const SummaryTable& table)
{
    std::map<std::string, std::pair<int, int>> parts; // family -> (parts, small parts skipped)
    std::vector<std::string> order;
    for (const FamilyRow& row : table.rows()) {
        auto [entry, added] = parts.emplace(row.familyId, std::make_pair(0, 0));
        if (added) order.push_back(row.familyId);
        ++entry->second.first;
        if (row.status == FamilyStatus::skipped && row.reasonKind.rfind("fewer than", 0) == 0) ++entry->second.second;
    }
    for (const std::string& family : order) {
        const auto [count, small] = parts[family];
        if (count > 1 && small > 0)
            std::cerr << "Family " << family << " has its lines in " << count << " separate places of the file; "
                      << small << " of these parts had too few members and were skipped (keep a family's lines "
                      << "together)" << std::endl;
    }
}

std::optional<MarkerMap> loadMap(const std::string& name)
{
    if (auto problem = inputProblem(name, "map")) {
        std::cerr << *problem << std::endl;
        return std::nullopt;
    }
    std::ifstream file(name);
    std::string error;
    std::optional<MarkerMap> map = readMarkerMap(file, error);
    if (!map) std::cerr << "Cannot use map file " << name << ": " << error << std::endl;
    return map;
}

FamilyRow newRow(const BatchRun& run, const Pedigree& pedigree)
{
    FamilyRow row;
    row.familyId = pedigree.familyText();
    row.members = static_cast<int>(pedigree.members.size());
    row.loci = pedigree.locusCount;
    row.mode = std::string(1, run.options.mode);
    return row;
}

} // namespace

int runBatch(const BatchMode& mode, const std::string& inputName)
{
    RunOptions options;
    options.inputName = inputName;
    options.quiet = true;
    return runBatch(mode, options);
}

int runBatch(const BatchMode& mode, const RunOptions& options)
{
    BatchRun run(options);
    run.startClock = processClock();
    if (auto problem = inputProblem(run.inputName)) {
        std::cerr << *problem << std::endl;
        return 1;
    }
    std::ifstream input(run.inputName, std::ios::binary);
    std::error_code sizeError;
    std::uintmax_t inputBytes = std::filesystem::file_size(run.inputName, sizeError);
    RunFeedback feedback(options.quiet, sizeError ? 0 : inputBytes);

    if (!options.mapFile.empty()) {
        std::optional<MarkerMap> map = loadMap(options.mapFile);
        if (!map) return 1;
        run.markers = std::move(*map);
    }
    if (!openCommonFiles(run, mode)) return 1;
    if (mode.keepsSummary) run.summary = std::make_unique<DatasetSummary>();
    if (mode.startRun) {
        if (!mode.startRun(run)) return run.status;
    } else if (mode.writesResultFiles) {
        run.res << "Family\t # of Rec\t Time used(Sec)\n";
    }

    PedigreeReader reader(input, options.headerColumns.value_or(mode.headerColumns));
    bool stopped = false;
    long long fittingMap = 0;
    std::string stoppedAt;
    while (std::unique_ptr<Pedigree> pedigree = reader.next()) {
        pedigree->inputIndex = run.table.size();
        FamilyRow& row = run.table.add(newRow(run, *pedigree));
        if (stopped) {
            markFamily(row, FamilyStatus::skipped, "not processed: the run stopped at family " + stoppedAt,
                       "not processed");
            continue;
        }
        if (mode.announceFamily) mode.announceFamily(run, *pedigree);
        pedigree->memberCount = static_cast<int>(pedigree->members.size());
        runContext().currentMemberCount = pedigree->memberCount;
        bool small = pedigree->memberCount < mode.minimumMembers;
        std::optional<std::string> reason;
        if (mode.checksFamilies || !pedigree->readProblem.empty()) reason = checkFamily(*pedigree);
        // A family with malformed lines is reported even when it is small:
        // text ids can collapse a whole family into one member.
        if (reason && (mode.checksFamilies && (!small || !pedigree->readProblem.empty()))) {
            std::cout << "Skipping family " << pedigree->familyText() << ": " << *reason << std::endl;
            markFamily(row, FamilyStatus::skipped, *reason,
                       pedigree->readProblem.empty() ? "unsound pedigree" : "unreadable line");
            continue;
        }
        if (small) {
            markFamily(row, FamilyStatus::skipped,
                       "fewer than " + std::to_string(mode.minimumMembers) + " members",
                       "fewer than " + std::to_string(mode.minimumMembers) + " members");
            continue;
        }
        if (!run.markers.empty()) {
            if (static_cast<std::size_t>(pedigree->locusCount) != run.markers.size()) {
                const std::string why = "the map has " + std::to_string(run.markers.size())
                    + " markers but the family has " + std::to_string(pedigree->locusCount) + " loci";
                std::cout << "Skipping family " << pedigree->familyText() << ": " << why << std::endl;
                markFamily(row, FamilyStatus::skipped, why, "not matching the map");
                continue;
            }
            ++fittingMap;
        }
        if (!mode.endOfFamily) continue;
        attachWriters(run, *pedigree);
        const std::string familyText = pedigree->familyText();
        auto started = std::chrono::steady_clock::now();
        const std::size_t index = pedigree->inputIndex;
        FamilyOutcome outcome = mode.endOfFamily(run, std::move(pedigree));
        run.table.at(index).seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (OutputFile* failed = run.files.failed()) {
            std::cerr << failed->failure() << std::endl;
            run.files.discard();
            return 1;
        }
        feedback.familyDone(static_cast<long long>(run.table.size()),
                            static_cast<std::uintmax_t>(std::max<std::streamoff>(0, input.tellg())));
        if (outcome == FamilyOutcome::endRun) {
            stopped = true;
            stoppedAt = familyText;
        }
    }
    reportSplitFamilies(run.table);
    if (const auto& stop = reader.blankStop())
        std::cerr << "Reading stopped at the blank line " << stop->line << "; " << stop->furtherLines
                  << " further lines were not read" << std::endl;
    if (!run.markers.empty() && fittingMap == 0 && run.table.size() > 0) {
        std::cerr << "The map " << options.mapFile << " has " << run.markers.size()
                  << " markers and no family has that many loci" << std::endl;
        return 1;
    }
    if (!stopped && mode.finishRun) mode.finishRun(run);

    OutputFile* table = run.openResultFile(resultFileName(run.options, "summary.tsv"));
    if (table) run.table.write(table->stream());
    if (!run.files.commit()) return 1;
    feedback.finish(run.table.tally() + "; " + writtenList(run.files.names()));
    return run.status;
}

} // namespace tavirlen
