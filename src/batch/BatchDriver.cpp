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
#include <stdlib.h>
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
            run.crossovers << "\t" << at(map.names, c.locusBefore) << "\t" << at(map.names, c.locusAfter) << "\t";
            if (map.hasCentimorgans())
                run.crossovers << at(map.centimorgans, c.locusBefore) << "\t" << at(map.centimorgans, c.locusAfter);
            else
                run.crossovers << "\t";
            run.crossovers << "\t";
            if (map.hasBasePairs())
                run.crossovers << at(map.basePairs, c.locusBefore) << "\t" << at(map.basePairs, c.locusAfter);
            else
                run.crossovers << "\t";
        }
        run.crossovers << "\n";
    }
}

// Drawings per family in the report, for the modes that write several
// configurations of one family.
constexpr int maxDrawingsPerFamily = 10;

ReportFamily reportRow(const FamilyRow& row, int solution)
{
    return ReportFamily{statusName(row.status), row.method, static_cast<int>(row.recombinants.value_or(0)),
                        row.optimal, solution};
}

// What the run writes beside the three result files for each configuration
// of a family, whichever mode writes it: crossovers, drawings, VCF calls.
void attachWriters(BatchRun& run, Pedigree& pedigree)
{
    pedigree.configurationWritten = [&run, solution = 0](const Pedigree& written) mutable {
        ++solution;
        if (run.crossovers.rdbuf()) writeCrossovers(run, written, solution);
        if (run.report && solution <= maxDrawingsPerFamily) {
            const FamilyRow& row = run.table.at(written.inputIndex);
            run.drawings[written.inputIndex].push_back(
                run.report->addFamily(written, reportRow(row, solution), run.markers.empty() ? nullptr : &run.markers));
        }
        if (run.vcfCalls && solution == 1) run.vcfCalls->addPedigree(written);
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

FamilyRow newRow(const BatchRun& run, const BatchMode& mode, const Pedigree& pedigree)
{
    FamilyRow row;
    row.familyId = pedigree.familyText();
    row.members = static_cast<int>(pedigree.members.size());
    row.loci = pedigree.locusCount;
    row.mode = std::string(1, run.options.mode);
    row.method = mode.method;
    return row;
}

// A family that never reaches its step is still listed in the report.
void listUndrawn(BatchRun& run, const FamilyRow& row)
{
    if (run.report) run.report->addUndrawn(row.familyId, row.members, reportRow(row, 0));
}

// The input of a VCF run: the VCF's samples matched to the PED's members.
std::optional<std::vector<MemberLine>> readVcfInput(BatchRun& run)
{
    std::string error;
    std::optional<FamilyVcfInput> input = readFamilyVcf(run.options.inputName, run.options.pedFile,
                                                        run.options.region, error);
    if (!input) {
        std::cerr << error << std::endl;
        return std::nullopt;
    }
    for (const std::string& message : input->siteMessages) std::cerr << message << std::endl;
    if (input->samplesOutsidePedigree == 1)
        std::cerr << "1 VCF sample is not in the pedigree; its calls were ignored" << std::endl;
    else if (input->samplesOutsidePedigree > 1)
        std::cerr << input->samplesOutsidePedigree << " VCF samples are not in the pedigree; their calls were ignored"
                  << std::endl;
    std::vector<MemberLine> lines;
    lines.reserve(input->members.size());
    for (PedMember& m : input->members)
        lines.push_back({m.familyId, m.individualId, m.fatherId, m.motherId, m.sex, std::move(m.alleles)});
    if (run.markers.empty()) run.markers = input->markers;
    run.vcfInput = std::make_unique<FamilyVcfInput>(std::move(*input));
    if (!run.options.vcfOut.empty()) run.vcfCalls = std::make_unique<PhasedVcfCalls>(*run.vcfInput, run.options.fill);
    return lines;
}

// The phased VCF is written whole at the end; it may replace only a file
// that is not the input and that this program wrote.
bool acceptVcfOut(const RunOptions& options)
{
    const std::string& name = options.vcfOut;
    std::optional<std::string> problem;
    if (name == options.inputName || name == options.pedFile || sameExistingFile(name, options.inputName)
        || sameExistingFile(name, options.pedFile))
        problem = "Result file " + name + " would overwrite the input file";
    else if (!options.force && std::filesystem::exists(name) && !phasedVcfOfTavirlen(name))
        problem = "Result file " + name + " exists and was not written by tavirlen; choose another --vcf-out "
                  "name, or pass --force";
    if (problem) std::cerr << *problem << std::endl;
    return !problem;
}

// The outputs that need every family: the report page and the phased VCF.
bool writeRunOutputs(BatchRun& run)
{
    if (run.report) {
        OutputFile* page = run.openResultFile(resultFileName(run.options, "html"));
        if (!page || !run.report->write(page->stream())) return false;
    }
    if (run.vcfCalls) {
        std::string error;
        if (!writePhasedVcf(run.options.inputName, run.options.vcfOut, *run.vcfCalls, error)) {
            std::cerr << "Cannot write result file " << run.options.vcfOut << ": " << error << std::endl;
            return false;
        }
    }
    return true;
}

} // namespace

bool createWorkFolder(BatchRun& run)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tavirlen-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::cerr << "Cannot create a working folder in " << std::filesystem::temp_directory_path() << std::endl;
        run.status = 1;
        return false;
    }
    run.workFolder = pattern;
    return true;
}

void familyFinished(BatchRun& run, std::size_t inputIndex)
{
    auto drawn = run.drawings.find(inputIndex);
    if (drawn == run.drawings.end()) {
        if (run.report) listUndrawn(run, run.table.at(inputIndex));
        return;
    }
    const FamilyRow& row = run.table.at(inputIndex);
    const bool several = drawn->second.size() > 1;
    for (std::size_t k = 0; k < drawn->second.size(); ++k)
        run.report->setRow(drawn->second[k], reportRow(row, several ? static_cast<int>(k + 1) : 0));
    run.drawings.erase(drawn);
}

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
    std::optional<PedigreeReader> reader;
    if (options.pedFile.empty()) {
        reader.emplace(input, options.headerColumns.value_or(mode.headerColumns));
    } else {
        std::optional<std::vector<MemberLine>> members = readVcfInput(run);
        if (!members) return 1;
        reader.emplace(std::move(*members));
    }
    if (!options.vcfOut.empty() && !acceptVcfOut(options)) return 1;
    if (options.report) {
        if (!run.files.acceptNames({resultFileName(options, "html")})) return 1;
        run.report = std::make_unique<HtmlReport>("Tavirlen haplotypes: " + options.inputName);
    }
    if (!openCommonFiles(run, mode)) return 1;
    if (mode.keepsSummary) run.summary = std::make_unique<DatasetSummary>();
    if (mode.startRun) {
        if (!mode.startRun(run)) return run.status;
    } else if (mode.writesResultFiles) {
        run.res << "Family\t # of Rec\t Time used(Sec)\n";
    }

    bool stopped = false;
    long long fittingMap = 0;
    std::string stoppedAt;
    while (std::unique_ptr<Pedigree> pedigree = reader->next()) {
        pedigree->inputIndex = run.table.size();
        FamilyRow& row = run.table.add(newRow(run, mode, *pedigree));
        if (stopped) {
            markFamily(row, FamilyStatus::skipped, "not processed: the run stopped at family " + stoppedAt,
                       "not processed");
            listUndrawn(run, row);
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
            listUndrawn(run, row);
            continue;
        }
        if (small) {
            markFamily(row, FamilyStatus::skipped,
                       "fewer than " + std::to_string(mode.minimumMembers) + " members",
                       "fewer than " + std::to_string(mode.minimumMembers) + " members");
            listUndrawn(run, row);
            continue;
        }
        if (!run.markers.empty()) {
            if (static_cast<std::size_t>(pedigree->locusCount) != run.markers.size()) {
                const std::string why = "the map has " + std::to_string(run.markers.size())
                    + " markers but the family has " + std::to_string(pedigree->locusCount) + " loci";
                std::cout << "Skipping family " << pedigree->familyText() << ": " << why << std::endl;
                markFamily(row, FamilyStatus::skipped, why, "not matching the map");
                listUndrawn(run, row);
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
        if (!mode.defersFamilies) familyFinished(run, index);
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
    if (const auto& stop = reader->blankStop())
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
    if (!writeRunOutputs(run)) {
        run.files.discard();
        return 1;
    }
    if (!run.files.commit()) return 1;
    std::vector<std::string> written = run.files.names();
    if (run.vcfCalls) written.push_back(options.vcfOut);
    feedback.finish(run.table.tally() + "; " + writtenList(written));
    return run.status;
}

} // namespace tavirlen
