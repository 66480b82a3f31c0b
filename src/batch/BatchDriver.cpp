#include "batch/BatchDriver.h"

#include "batch/OutputRouting.h"
#include "batch/RunFeedback.h"
#include "pedigree/Crossovers.h"
#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "pedigree/RunContext.h"
#include "pedigree/TextLine.h"
#include "report/PedigreeSvg.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <malloc.h>
#include <map>
#include <mutex>
#include <stdlib.h>
#include <sys/stat.h>
#include <thread>

namespace tavirlen {

struct FamilyRun::MemoryStream {
    MemoryStream() : file(::open_memstream(&buffer, &size)) {}
    ~MemoryStream()
    {
        if (file) std::fclose(file);
        std::free(buffer);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file;
};

// A few suffice: no more families are open at once than the run's queue
// holds. A stream keeps the room its largest family needed, so one that a
// large family grew is let go rather than held to the end of the run.
struct FamilyRun::SpareStreams {
    std::unique_ptr<MemoryStream> take()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!streams.empty()) {
                std::unique_ptr<MemoryStream> stream = std::move(streams.back());
                streams.pop_back();
                return stream;
            }
        }
        return std::make_unique<MemoryStream>();
    }
    void giveBack(std::unique_ptr<MemoryStream> stream)
    {
        if (!stream || !stream->file) return;
        std::fflush(stream->file);
        if (stream->size > (std::size_t{1} << 16)) return;
        std::rewind(stream->file);
        std::lock_guard<std::mutex> lock(mutex);
        if (streams.size() < 16) streams.push_back(std::move(stream));
    }

    std::mutex mutex;
    std::vector<std::unique_ptr<MemoryStream>> streams;
};

FamilyRun::SpareStreams& FamilyRun::spareStreams()
{
    // Never destroyed: a family let go late in the program's exit still
    // finds it. What it holds is memory only, nothing to flush.
    static SpareStreams& spare = *new SpareStreams;
    return spare;
}

FamilyRun::FamilyRun(const BatchRun& run, std::size_t index)
    : options(run.options), markers(run.markers), summary(run.summary.get()), workFolder(run.workFolder),
      inputIndex(index), stream_(spareStreams().take())
{
    out = stream_->file;
}

FamilyRun::~FamilyRun()
{
    spareStreams().giveBack(std::move(stream_));
}

std::string FamilyRun::outText()
{
    if (!out) return std::string();
    std::fflush(out);
    return std::string(stream_->buffer, stream_->size);
}

BatchRun::BatchRun(const RunOptions& runOptions)
    : options(runOptions), inputName(runOptions.inputName), files(runOptions)
{
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

void writeTotalTime(BatchRun& run)
{
    run.res << "Total Time used(Sec):\t" << static_cast<double>(processClock() - run.startClock) * 0.001
            << "\n\n";
}

void writeFamilyResults(FamilyRun& run, Pedigree& pedigree)
{
    pedigree.writeDat(run.dat);
    pedigree.writeRes(run.res);
    pedigree.writeOut(run.out);
    run.row.recombinants = pedigree.recombinantCount;
    ++run.row.solutionsWritten;
}

void markFamily(FamilyRow& row, FamilyStatus status, const std::string& reason, const std::string& kind)
{
    row.status = status;
    row.reason = reason;
    row.reasonKind = kind;
    row.recombinants.reset();
    row.optimal = "";
}

Prepared prepareAndCount(BatchRun& run, FamilyRun& family)
{
    Pedigree& pedigree = *family.pedigree;
    pedigree.finalise();
    pedigree.prepare();
    pedigree.missingAlleleCount = 0;
    for (const auto& [id, m] : pedigree.members) pedigree.missingAlleleCount += m.missingAlleleCount;
    run.summary->countPedigree(pedigree);
    return Prepared::process;
}

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

namespace {

// Drawings per family in the report, for the modes that write several
// configurations of one family.
constexpr int maxDrawingsPerFamily = 10;

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
        run.datSinks = {&run.dat};
        run.crossovers << "family\tsolution\tchild\tparent\tside\tlocus_before\tlocus_after";
        if (!run.markers.empty()) run.crossovers << "\tmarker_before\tmarker_after\tcm_before\tcm_after\tbp_before\tbp_after";
        run.crossovers << "\n";
    }
    return true;
}

// One row per change of source in the configuration just written; loci are
// numbered from 1 in file order, as the lines of a map file.
void writeCrossovers(FamilyRun& run, const Pedigree& pedigree, int solution)
{
    const MarkerMap& map = run.markers;
    const std::string family = pedigree.familyText();
    std::string line;
    for (const Crossover& c : findCrossovers(pedigree)) {
        line.clear();
        line += family;
        line += '\t';
        appendNumber(line, solution);
        line += '\t';
        line += pedigree.idText(c.childId);
        line += '\t';
        line += pedigree.idText(c.parentId);
        line += c.side == 0 ? "\tpaternal\t" : "\tmaternal\t";
        appendNumber(line, c.locusBefore + 1);
        line += '\t';
        appendNumber(line, c.locusAfter + 1);
        if (map.empty()) line += '\n';
        run.crossovers.write(line.data(), static_cast<std::streamsize>(line.size()));
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
            run.crossovers << "\n";
        }
    }
}

// What the run writes beside the three result files for each configuration
// of a family, whichever mode writes it: crossovers, drawings, VCF calls.
void attachWriters(const BatchRun& run, FamilyRun& family, Pedigree& pedigree)
{
    const bool crossovers = run.crossovers.rdbuf() != nullptr;
    const bool report = run.report != nullptr;
    const bool vcf = run.vcfCalls != nullptr;
    pedigree.configurationWritten = [&family, crossovers, report, vcf, solution = 0](const Pedigree& written) mutable {
        ++solution;
        if (crossovers) writeCrossovers(family, written, solution);
        if (report && solution <= maxDrawingsPerFamily)
            family.drawings.emplace_back(solution, drawPedigreeSvg(written, family.markers.empty() ? nullptr
                                                                                                   : &family.markers));
        if (vcf && solution == 1) family.vcfConfiguration = std::make_unique<Pedigree>(written);
    };
}

ReportFamily reportRow(const FamilyRow& row, int solution)
{
    return ReportFamily{statusName(row.status), row.method, static_cast<int>(row.recombinants.value_or(0)),
                        row.optimal, solution};
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
    std::vector<MemberLine> lines = input->members;
    for (MemberLine& m : input->members) m.alleles = {};
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

// The families of a run in flight: each is worked on by one of the run's
// threads (or at once, with one thread), and their results are written in
// input order as soon as every family before them is written too.
class FamilyQueue {
public:
    using Work = std::function<void(FamilyRun&)>;

    FamilyQueue(BatchRun& run, const BatchMode& mode, RunFeedback& feedback)
        : run_(run), mode_(mode), feedback_(feedback)
    {
        // With one thread the families are worked on where they are read;
        // with more, the reading thread is one of them: it works on a waiting
        // family whenever it would otherwise wait for the next to write.
        const int workers = run.threads > 1 ? run.threads - 1 : 0;
        for (int t = 0; t < workers; ++t) workers_.emplace_back([this] { serve(); });
    }

    ~FamilyQueue()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    // A family that needs no more work: written in its turn.
    void add(std::unique_ptr<FamilyRun> family) { submit(std::move(family), nullptr); }

    void submit(std::unique_ptr<FamilyRun> family, Work work)
    {
        FamilyRun& added = *family;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            inFlight_.push_back(std::move(family));
        }
        if (!work) {
            added.done = true;
        } else if (workers_.empty()) {
            work(added);
            added.done = true;
        } else {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                waiting_.push_back({&added, std::move(work)});
            }
            wake_.notify_one();
        }
    }

    // Writes every finished family at the front; with `all`, waits for every
    // one; otherwise waits only while too many are in flight. False when a
    // result file could not be written (the run must end).
    bool drain(bool all)
    {
        const std::size_t limit = 4 * static_cast<std::size_t>(run_.threads) + 4;
        for (;;) {
            std::unique_ptr<FamilyRun> front;
            std::pair<FamilyRun*, Work> waiting;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (inFlight_.empty()) return true;
                if (!inFlight_.front()->done) {
                    if (!all && inFlight_.size() < limit) return true;
                    if (!waiting_.empty()) {
                        waiting = std::move(waiting_.front());
                        waiting_.pop_front();
                    } else {
                        finished_.wait(lock, [this] { return inFlight_.front()->done.load(); });
                    }
                }
                if (!waiting.first) {
                    front = std::move(inFlight_.front());
                    inFlight_.pop_front();
                }
            }
            if (waiting.first) {
                finish(waiting);
                continue;
            }
            if (!write(*front)) return false;
        }
    }

    bool stopped() const { return stopped_; }
    const std::string& stoppedAt() const { return stoppedAt_; }

private:
    void serve()
    {
        for (;;) {
            std::pair<FamilyRun*, Work> next;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
                if (waiting_.empty()) return;
                next = std::move(waiting_.front());
                waiting_.pop_front();
            }
            finish(next);
        }
    }

    void finish(std::pair<FamilyRun*, Work>& next)
    {
        next.second(*next.first);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            next.first->done = true;
        }
        finished_.notify_all();
    }

    // One family's results, in its turn.
    bool write(FamilyRun& family)
    {
        if (stopped_) {
            markFamily(family.row, FamilyStatus::skipped, "not processed: the run stopped at family " + stoppedAt_,
                       "not processed");
            family.drawings.clear();
            family.vcfConfiguration.reset();
        } else {
            std::cout << family.messages << std::flush;
            std::cerr << family.errors << std::flush;
            const std::string dat = family.dat.str();
            for (std::ostream* sink : run_.datSinks) *sink << dat;
            run_.res << family.res.str();
            const std::string out = family.outText();
            if (run_.out) std::fwrite(out.data(), 1, out.size(), run_.out);
            if (run_.crossovers.rdbuf()) run_.crossovers << family.crossovers.str();
        }
        const std::size_t rowIndex = family.inputIndex - run_.rowOffset;
        if (rowIndex < run_.table.size())
            run_.table.at(rowIndex) = family.row;
        else
            run_.table.add(family.row);
        if (run_.report && !family.deferred) listInReport(family);
        if (run_.vcfCalls && family.vcfConfiguration) run_.vcfCalls->addPedigree(*family.vcfConfiguration);
        if (family.pedigree) {
            family.pedigree->configurationWritten = nullptr;
            if (family.keep && run_.summary)
                run_.summary->keep(std::move(family.pedigree));
            else if (mode_.countsFounderHaplotypes && run_.summary && family.pedigree->datasetSummary)
                run_.summary->countFounderHaplotypes(*family.pedigree);
        }
        if (!stopped_ && family.outcome == FamilyOutcome::endRun) {
            stopped_ = true;
            stoppedAt_ = family.row.familyId;
            if (family.status != 0) run_.status = family.status;
        }
        feedback_.familyDone(static_cast<long long>(family.inputIndex + 1), bytesRead);
        // Blocks a worker allocated and this thread frees stay with this
        // thread's allocator instead of going back to the system.
        if (!workers_.empty() && ++written_ % 1024 == 0) ::malloc_trim(0);
        if (OutputFile* failed = run_.files.failed()) {
            std::cerr << failed->failure() << std::endl;
            return false;
        }
        return true;
    }

    void listInReport(FamilyRun& family)
    {
        if (family.drawings.empty()) {
            run_.report->addUndrawn(family.row.familyId, family.row.members, reportRow(family.row, 0));
            return;
        }
        const bool several = family.drawings.size() > 1;
        for (auto& [solution, drawing] : family.drawings)
            run_.report->addDrawing(family.row.familyId, family.row.members,
                                    reportRow(family.row, several ? solution : 0), std::move(drawing));
    }

public:
    // How far the input has been read, asked only when a progress line is due.
    std::function<std::uintmax_t()> bytesRead;

private:
    BatchRun& run_;
    const BatchMode& mode_;
    RunFeedback& feedback_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::deque<std::unique_ptr<FamilyRun>> inFlight_;
    std::deque<std::pair<FamilyRun*, Work>> waiting_;
    std::vector<std::thread> workers_;
    bool closing_ = false;
    bool stopped_ = false;
    std::size_t written_ = 0;
    std::string stoppedAt_;
};

// The step of a family on whichever thread takes it: its own random stream
// and clock, its output kept with the family.
FamilyQueue::Work familyWork(const BatchRun& run, FamilyOutcome (*step)(FamilyRun&))
{
    const unsigned seed = run.runSeed;
    return [seed, step](FamilyRun& family) {
        seedRandom(familySeed(seed, family.inputIndex));
        OutputRouting::route(&family.messages, &family.errors);
        if (family.pedigree) family.pedigree->startClock = threadClock();
        auto started = std::chrono::steady_clock::now();
        family.outcome = step(family);
        family.row.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        OutputRouting::route(nullptr, nullptr);
    };
}

// A family before the range of --families: checked and prepared as a whole
// run would, so that the counts and settings the families after it see are
// the same, and then let go without a word. False when it ends the run.
bool countBeforeRange(BatchRun& run, const BatchMode& mode, std::unique_ptr<Pedigree> pedigree)
{
    std::string discarded;
    OutputRouting::route(&discarded, &discarded);
    bool goesOn = true;
    pedigree->memberCount = static_cast<int>(pedigree->members.size());
    const bool small = pedigree->memberCount < mode.minimumMembers;
    const bool fitsMap = run.markers.empty() || static_cast<std::size_t>(pedigree->locusCount) == run.markers.size();
    if (!small && fitsMap && !(mode.checksFamilies && checkFamily(*pedigree)) && mode.prepareFamily) {
        FamilyRun family(run, pedigree->inputIndex);
        family.pedigree = std::move(pedigree);
        goesOn = mode.prepareFamily(run, family) != Prepared::stop;
    }
    OutputRouting::route(nullptr, nullptr);
    return goesOn;
}

// A step on another thread reads the founder allele counts as they were
// when this family was counted, not as later families change them. The
// counts are read only to draw a founder's missing alleles, so only the loci
// where a founder lacks one are copied (the copy is made on the reading
// thread, which every family passes through).
void snapshotCounts(const BatchRun& run, FamilyRun& family)
{
    if (run.threads < 2 || !family.pedigree || !run.summary) return;
    if (family.pedigree->datasetSummary != run.summary.get()) return;
    family.snapshot = std::make_unique<DatasetSummary>();
    const auto& counts = run.summary->alleleCounts;
    auto& copied = family.snapshot->alleleCounts;
    copied.resize(counts.size());
    for (const auto& [id, m] : family.pedigree->members) {
        if (!m.isFounder()) continue;
        for (std::size_t k = 0; k < m.genotypes.size() && k < counts.size(); ++k)
            if ((m.genotypes[k].allele1 < 1 || m.genotypes[k].allele2 < 1) && copied[k].empty()) copied[k] = counts[k];
    }
    family.snapshot->founderCount = run.summary->founderCount;
    family.pedigree->datasetSummary = family.snapshot.get();
}

int defaultThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(cores);
}

} // namespace

void BatchRun::processKept(const std::vector<Pedigree*>& pedigrees, void (*step)(FamilyRun&, Pedigree&))
{
    RunFeedback feedback(true, 0);
    BatchMode none;
    FamilyQueue queue(*this, none, feedback);
    const unsigned seed = runSeed;
    for (Pedigree* pedigree : pedigrees) {
        auto family = std::make_unique<FamilyRun>(*this, pedigree->inputIndex);
        family->row = table.at(pedigree->inputIndex - rowOffset);
        attachWriters(*this, *family, *pedigree);
        queue.submit(std::move(family), [seed, step, pedigree](FamilyRun& run) {
            seedRandom(familySeed(seed, run.inputIndex));
            OutputRouting::route(&run.messages, &run.errors);
            pedigree->startClock = threadClock();
            auto started = std::chrono::steady_clock::now();
            step(run, *pedigree);
            run.row.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            OutputRouting::route(nullptr, nullptr);
            pedigree->configurationWritten = nullptr;
        });
        if (!queue.drain(false)) break;
    }
    queue.drain(true);
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
    // Without a seed of the run's own, the families' streams follow from the
    // generator as it stands.
    run.runSeed = options.seed ? *options.seed : (static_cast<unsigned>(rand()) << 15) ^ static_cast<unsigned>(rand());
    run.threads = !mode.stepWorthAThread ? 1 : options.threads > 0 ? options.threads : defaultThreads();
    run.rowOffset = options.firstFamily > 0 ? options.firstFamily - 1 : 0;
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

    OutputRouting routing;
    long long fittingMap = 0;
    long long missingMap = 0; // families read against the map that do not fit it
    bool stopping = false; // a family's ordered part ended the run
    std::string stoppedAt;
    std::size_t familiesSeen = 0;
    {
        FamilyQueue queue(run, mode, feedback);
        // A VCF is read whole before the first family, and so is a file read
        // to its end.
        queue.bytesRead = [&]() -> std::uintmax_t {
            if (!options.pedFile.empty()) return inputBytes;
            const std::streamoff at = input.tellg();
            return at >= 0 ? static_cast<std::uintmax_t>(at) : input.eof() ? inputBytes : 0;
        };
        std::size_t& index = familiesSeen;
        while (std::unique_ptr<Pedigree> pedigree = reader->next()) {
            if (options.lastFamily > 0 && index >= options.lastFamily) break;
            pedigree->inputIndex = index;
            if (index < run.rowOffset) {
                ++index;
                if (!stopping && !countBeforeRange(run, mode, std::move(pedigree))) stopping = true;
                continue;
            }
            auto family = std::make_unique<FamilyRun>(run, index++);
            family->row = newRow(run, mode, *pedigree);
            FamilyRow& row = family->row;
            // What the run says of this family is printed in its turn.
            OutputRouting::route(&family->messages, &family->errors);
            auto skip = [&](const std::string& reason, const std::string& kind) {
                markFamily(row, FamilyStatus::skipped, reason, kind);
                OutputRouting::route(nullptr, nullptr);
                queue.add(std::move(family));
            };
            if (stopping) {
                skip("not processed: the run stopped at family " + stoppedAt, "not processed");
                continue;
            }
            if (mode.announceFamily) mode.announceFamily(run, *pedigree);
            pedigree->memberCount = static_cast<int>(pedigree->members.size());
            runContext().currentMemberCount = pedigree->memberCount;
            const bool small = pedigree->memberCount < mode.minimumMembers;
            std::optional<std::string> reason;
            if (mode.checksFamilies || !pedigree->readProblem.empty()) reason = checkFamily(*pedigree);
            // A family with malformed lines is reported even when it is small:
            // text ids can collapse a whole family into one member.
            if (reason && (mode.checksFamilies && (!small || !pedigree->readProblem.empty()))) {
                std::cout << "Skipping family " << pedigree->familyText() << ": " << *reason << std::endl;
                skip(*reason, pedigree->readProblem.empty() ? "unsound pedigree" : "unreadable line");
                continue;
            }
            if (small) {
                const std::string why = "fewer than " + std::to_string(mode.minimumMembers) + " members";
                skip(why, why);
                continue;
            }
            if (!run.markers.empty()) {
                if (static_cast<std::size_t>(pedigree->locusCount) != run.markers.size()) {
                    const std::string why = "the map has " + std::to_string(run.markers.size())
                        + " markers but the family has " + std::to_string(pedigree->locusCount) + " loci";
                    std::cout << "Skipping family " << pedigree->familyText() << ": " << why << std::endl;
                    skip(why, "not matching the map");
                    ++missingMap;
                    continue;
                }
                ++fittingMap;
            }
            family->pedigree = std::move(pedigree);
            attachWriters(run, *family, *family->pedigree);
            const Prepared prepared = mode.prepareFamily ? mode.prepareFamily(run, *family) : Prepared::process;
            OutputRouting::route(nullptr, nullptr);
            if (prepared == Prepared::stop) {
                stopping = true;
                stoppedAt = family->row.familyId;
                run.status = family->status != 0 ? family->status : run.status;
            }
            if (prepared != Prepared::process || !mode.endOfFamily) {
                queue.add(std::move(family));
            } else {
                snapshotCounts(run, *family);
                queue.submit(std::move(family), familyWork(run, mode.endOfFamily));
            }
            if (!queue.drain(false)) {
                run.files.discard();
                return 1;
            }
        }
        if (!queue.drain(true)) {
            run.files.discard();
            return 1;
        }
        stopping = stopping || queue.stopped();
        if (queue.stopped()) stoppedAt = queue.stoppedAt();
    }
    reportSplitFamilies(run.table);
    // Not an error: the last part of a job array may lie past a file's end.
    // But a mistyped range must not pass for a run that read nothing.
    if (options.firstFamily > 0 && familiesSeen < options.firstFamily)
        std::cerr << "--families " << options.firstFamily << ":" << options.lastFamily << ": the input holds "
                  << familiesSeen << (familiesSeen == 1 ? " family" : " families") << "; none is in the range"
                  << std::endl;
    if (const auto& stop = reader->blankStop())
        std::cerr << "Reading stopped at the blank line " << stop->line << "; " << stop->furtherLines
                  << " further lines were not read" << std::endl;
    // Only when families met the map and none fitted: families skipped for
    // other reasons keep their own reasons in the table.
    if (!run.markers.empty() && fittingMap == 0 && missingMap > 0) {
        std::cerr << "The map " << options.mapFile << " has " << run.markers.size()
                  << " markers and no family has that many loci" << std::endl;
        return 1;
    }
    if (!stopping && mode.finishRun) mode.finishRun(run);
    if (OutputFile* failed = run.files.failed()) {
        std::cerr << failed->failure() << std::endl;
        run.files.discard();
        return 1;
    }

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
