// How far block extension's counts lie above the fewest recombinants, with
// and without polishing:
//   quality_bench [families per group] [seconds per exact solve] [chr5 file]
// (0 families: the chr5 file only)
// Groups of generated families (complete, or with 10% of the genotypes
// missing; trios, nuclear families with 2 to 8 children, three generations
// with half-siblings; 20 loci with four alleles, 2,000 loci with two and, for
// complete nuclear families, four; about one recombination per meiosis) are
// phased by mode b, and by mode b with polishing (the members as read given,
// so that filled alleles may be taken again), and compared with an exact
// minimum: the exact engine where the family is within its limits (it takes
// missing alleles too, and is fast enough for 2,000 loci), else the
// member-based programme on complete data (20 state bits), else the integer
// programme. Each exact solve runs in a child process with a time limit;
// families whose solve does not finish are not compared. For every group it
// prints the families compared, the excess over the minimum (sum of counts
// minus sum of minima, over the sum of minima), the families at the minimum
// and the time polishing took. A count
// below the minimum is possible without polishing, and with it where
// polishing left block extension's result (its count skips undetermined
// sources); such families are counted apart and left out of the excess.
//
// With a chr5 file (six header columns): mode t with polishing against the
// integer programme on the families where that finishes in time.
//
// The working files of the integer programme go to a temporary folder.

#include "PhasingTestSupport.h"
#include "RandomFamilies.h"

#include "exact/ExactEngine.h"
#include "ilp/IlpDriver.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "phasing/Polish.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace tavirlen;

namespace {

int secondsPerSolve = 20;

// One prepared family from its lines (seven header columns).
std::unique_ptr<Pedigree> readFamily(const std::string& text)
{
    std::istringstream input(text);
    PedigreeReader reader(input, 7);
    std::unique_ptr<Pedigree> pedigree = reader.next();
    pedigree->memberCount = static_cast<int>(pedigree->members.size());
    pedigree->finalise();
    pedigree->prepare();
    return pedigree;
}

// Runs `solve` in a child process that may take at most secondsPerSolve;
// returns the count it reports, or nothing when it runs out of time or fails.
std::optional<int> limited(const std::function<int()>& solve)
{
    int channel[2];
    if (pipe(channel) != 0) return std::nullopt;
    std::cout.flush();
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        alarm(static_cast<unsigned>(secondsPerSolve));
        int count = solve();
        if (write(channel[1], &count, sizeof count) != sizeof count) _exit(1);
        _exit(0);
    }
    close(channel[1]);
    int count = -1;
    ssize_t got = child > 0 ? read(channel[0], &count, sizeof count) : 0;
    close(channel[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    if (got != sizeof count || count < 0) return std::nullopt;
    return count;
}

// A stream for the integer programme's .dat output: its first write comes
// right after the first optimal solution is applied and counted, so it hands
// that count back and ends the child process (the others are equally good).
class FirstSolution : public std::streambuf {
public:
    FirstSolution(const Pedigree& pedigree, int fd) : pedigree_(pedigree), fd_(fd) {}

protected:
    int overflow(int c) override
    {
        report();
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        report();
        return n;
    }

private:
    void report()
    {
        int count = pedigree_.recombinantCount;
        if (write(fd_, &count, sizeof count) != sizeof count) _exit(1);
        _exit(0);
    }
    const Pedigree& pedigree_;
    int fd_;
};

// The integer programme's minimum for a prepared family, in a child process.
std::optional<int> integerMinimum(Pedigree& pedigree)
{
    int channel[2];
    if (pipe(channel) != 0) return std::nullopt;
    std::cout.flush();
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        alarm(static_cast<unsigned>(secondsPerSolve));
        std::cout.setstate(std::ios::failbit);
        FirstSolution first(pedigree, channel[1]);
        std::ostream dat(&first);
        std::ofstream res("/dev/null");
        std::FILE* out = std::fopen("/dev/null", "w");
        solvePedigreeByIlp(pedigree, dat, res, out, IlpSettings{"quality.msp", "quality.log"});
        _exit(1);
    }
    close(channel[1]);
    int count = -1;
    ssize_t got = child > 0 ? read(channel[0], &count, sizeof count) : 0;
    close(channel[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    if (got != sizeof count || count < 0) return std::nullopt;
    return count;
}

// The exact engine, without counting the optimal configurations.
ExactLimits exactLimits()
{
    ExactLimits limits;
    limits.countConfigurations = false;
    return limits;
}

bool complete(const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members)
        for (const GenotypeRecord& g : m.genotypes)
            if (g.allele1 < 1 || g.allele2 < 1) return false;
    return true;
}

// The exact minimum: the exact engine where the family is within its
// limits, else the member-based programme on complete data, else the integer
// programme.
std::optional<int> exactMinimum(const std::string& text)
{
    auto pedigree = readFamily(text);
    if (fitsExactLimits(*pedigree, exactLimits())) {
        std::optional<int> byEngine = limited([&] {
            ExactResult result = solveExactly(*pedigree, exactLimits());
            return result.optimal ? result.recombinants : -1;
        });
        if (byEngine) return byEngine;
    }
    if (complete(*pedigree) && pedigree->locusCount <= 20 && test::fewestRecombinants(*pedigree) != -1)
        return test::fewestRecombinants(*pedigree);
    if (complete(*pedigree)) {
        std::optional<int> byMembers = limited([&] { return test::fewestRecombinants(*pedigree); });
        if (byMembers) return byMembers;
    }
    return integerMinimum(*pedigree);
}

// The counts of one method against the minimum. A count below the minimum
// (a configuration with undetermined sources) is counted apart and left out
// of the excess.
struct Method {
    long count = 0;
    long minimum = 0;
    int atMinimum = 0;
    int below = 0;

    void add(int c, int m)
    {
        if (c < m) {
            ++below;
            return;
        }
        count += c;
        minimum += m;
        atMinimum += c == m;
    }
};

struct Tally {
    int families = 0;
    int unsolved = 0;
    int faulty = 0; // families with a wrong source or a child that does not fit, either way
    long minimum = 0;
    Method extended;
    Method polished;
    double seconds = 0;

    void add(int extendedCount, int polishedCount, std::optional<int> fewest)
    {
        if (!fewest) {
            ++unsolved;
            return;
        }
        ++families;
        minimum += *fewest;
        extended.add(extendedCount, *fewest);
        polished.add(polishedCount, *fewest);
    }
};

std::string describe(const Method& m)
{
    std::ostringstream text;
    text << m.count << " (excess ";
    if (m.minimum == 0)
        text << (m.count == 0 ? "0%" : "n/a");
    else
        text << std::fixed << std::setprecision(1)
             << 100.0 * static_cast<double>(m.count - m.minimum) / static_cast<double>(m.minimum) << "%";
    text << ", at minimum " << m.atMinimum;
    if (m.below) text << ", " << m.below << " below it";
    text << ")";
    return text.str();
}

void print(const std::string& name, const Tally& t)
{
    std::cout << name << "\n    compared " << t.families;
    if (t.unsolved) std::cout << " (" << t.unsolved << " not solved in time)";
    std::cout << ", minimum " << t.minimum << "; b " << describe(t.extended) << "; b+polish "
              << describe(t.polished);
    if (t.seconds > 0) std::cout << "; polishing " << std::fixed << std::setprecision(3) << t.seconds << " s";
    std::cout << "; families with a wrong source or an unfit child: " << t.faulty << "\n";
}

void group(const std::string& name, test::RandomFamilyOptions options, int families, unsigned seed, bool exactKnownZero)
{
    std::mt19937 engine(seed);
    Tally t;
    DatasetSummary summary;
    for (int f = 1; f <= families; ++f) {
        std::string text = test::randomFamilyText(engine, f, options);
        std::optional<int> minimum = exactKnownZero ? std::optional<int>(0) : exactMinimum(text);
        Pedigree& p = summary.addPedigree(readFamily(text));
        const std::map<int, Individual> asRead = p.members;
        seedRandom(seed + static_cast<unsigned>(f));
        if (!runBlockExtension(p)) continue;
        int extended = p.recombinantCount;
        test::WrittenFaults faults = test::writtenFaults(p);
        auto start = std::chrono::steady_clock::now();
        polishPedigree(p, &asRead);
        t.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        test::WrittenFaults polishedFaults = test::writtenFaults(p);
        t.faulty += faults.wrongSources + faults.unfitAlleles + polishedFaults.wrongSources + polishedFaults.unfitAlleles > 0;
        t.add(extended, p.recombinantCount, minimum);
    }
    print(name, t);
}

void chr5(const std::string& path)
{
    std::ifstream input(path);
    if (!input) {
        std::cout << "chr5: cannot open " << path << "\n";
        return;
    }
    PedigreeReader reader(input, 6);
    DatasetSummary summary;
    seedRandom(1);
    Tally all;
    Tally firstTen;
    int read = 0;
    std::streambuf* console = std::cout.rdbuf();
    std::ostringstream quiet;
    while (std::unique_ptr<Pedigree> owned = reader.next()) {
        owned->memberCount = static_cast<int>(owned->members.size());
        if (owned->memberCount < 3 || checkFamily(*owned)) continue;
        owned->finalise();
        owned->prepare();
        auto copy = std::make_unique<Pedigree>(*owned);
        Pedigree& p = summary.addPedigree(std::move(owned));
        const std::map<int, Individual> asRead = p.members;
        std::cout.rdbuf(quiet.rdbuf());
        bool phased = runBlockExtension(p);
        std::cout.rdbuf(console);
        if (!phased) continue;
        int extended = p.recombinantCount;
        auto start = std::chrono::steady_clock::now();
        polishPedigree(p, &asRead);
        all.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::optional<int> minimum = integerMinimum(*copy);
        ++read;
        all.add(extended, p.recombinantCount, minimum);
        if (read <= 10) firstTen.add(extended, p.recombinantCount, minimum);
    }
    print("chr5, mode t, first ten families", firstTen);
    print("chr5, mode t, all families", all);
    if (all.minimum > 0)
        std::cout << "chr5: total with polishing " << all.polished.count << " / integer programme's total "
                  << all.polished.minimum << " = " << std::fixed << std::setprecision(3)
                  << static_cast<double>(all.polished.count) / static_cast<double>(all.polished.minimum) << " over "
                  << all.families - all.polished.below << " families (" << all.unsolved << " not solved within "
                  << secondsPerSolve << " s)\n";
}

} // namespace

int main(int argc, char** argv)
{
    const int families = argc > 1 ? std::atoi(argv[1]) : 40;
    if (argc > 2) secondsPerSolve = std::atoi(argv[2]);
    // The integer programme's model and log files go to a folder of their own.
    std::string pattern = (std::filesystem::temp_directory_path() / "tavirlen-quality-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        std::cerr << "cannot create a temporary folder\n";
        return 1;
    }
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(name.data());
    std::cout << "families per group " << families << ", exact solves limited to " << secondsPerSolve << " s\n";

    for (int loci : {20, 2000}) {
        if (families <= 0) break;
        const bool dense = loci == 2000;
        const int count = dense ? std::max(families / 4, 1) : families;
        // About one recombination per meiosis; microsatellites at 20 loci,
        // SNPs on the dense map.
        const double recombination = dense ? 0.0005 : 0.05;
        const int alleles = dense ? 2 : 4;
        const std::string l = std::to_string(loci) + " loci";
        test::RandomFamilyOptions trio{loci, loci, alleles, 1, 2, recombination};
        group("complete trios, " + l, trio, count, 101, true);
        test::RandomFamilyOptions nuclear{loci, loci, alleles, 8, 2, recombination};
        nuclear.minChildren = 2;
        group("complete nuclear, 2-8 children, " + l, nuclear, count, 202, false);
        test::RandomFamilyOptions deep{loci, loci, alleles, 3, 3, recombination, 7, false, 0.3};
        group("complete three generations, half-sibs, " + l, deep, count, 303, false);
        deep.missing = 0.1;
        group("10% missing three generations, half-sibs, " + l, deep, count, 404, false);
        deep.generations = 2;
        deep.maxChildren = 8;
        deep.minChildren = 2;
        deep.halfSiblings = 0;
        group("10% missing nuclear, 2-8 children, " + l, deep, count, 505, false);
        if (dense) {
            // The same map with four alleles per locus, as microsatellites.
            nuclear.maxAlleles = 4;
            group("complete nuclear, 2-8 children, 4 alleles, " + l, nuclear, count, 606, false);
        }
    }
    if (argc > 3) chr5((std::filesystem::path(home) / argv[3]).string());
    std::filesystem::current_path(home);
    std::filesystem::remove_all(name.data());
    return 0;
}
