// Times the locus-based programme on families of growing size and prints, per
// family, the estimated work, the seconds taken, locus comparisons per second
// and the peak memory of the process. Usage: locusdp_bench [loci]

#include "locusdp/LocusDP.h"
#include "pedigree/PedigreeReader.h"
#include "phasing/Sources.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <sys/resource.h>

using namespace tavirlen;

namespace {

// Two founders heterozygous (1,2) and (1,2) at `open` + 1 loci, homozygous
// (1,1) and (2,2) at the others, and `children` children drawn at random, so
// that the founders keep `open` open loci each.
std::string nuclearFamily(int loci, int open, int children, std::mt19937& rng)
{
    std::ostringstream text;
    std::vector<std::pair<int, int>> father, mother;
    for (int k = 0; k < loci; ++k) {
        bool het = k < open + 1;
        father.push_back(het ? std::make_pair(1, 2) : std::make_pair(1, 1));
        mother.push_back(het ? std::make_pair(1, 2) : std::make_pair(2, 2));
    }
    auto write = [&](int id, int f, int m, int sex, const std::vector<std::pair<int, int>>& g) {
        text << "1 " << id << " " << f << " " << m << " " << sex << " 0 0";
        for (auto [a, b] : g) text << " " << a << " " << b;
        text << "\n";
    };
    write(1, 0, 0, 1, father);
    write(2, 0, 0, 2, mother);
    for (int c = 0; c < children; ++c) {
        std::vector<std::pair<int, int>> g;
        for (int k = 0; k < loci; ++k) {
            int a = rng() % 2 ? father[k].first : father[k].second;
            int b = rng() % 2 ? mother[k].first : mother[k].second;
            // Keep the children phased by the Mendelian pass: a child (1,2)
            // of two (1,2) parents would add open loci of its own.
            if (a != b && father[k].first != father[k].second) b = a;
            g.push_back({a, b});
        }
        write(3 + c, 1, 2, c % 2 + 1, g);
    }
    return text.str();
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    int loci = argc > 1 ? std::atoi(argv[1]) : 20;
    std::mt19937 rng(1);
    std::printf("open\tchildren\tlocusSteps\ttableBytes\tseconds\tstepsPerSecond\tpeakKB\n");
    for (int open = 4; open <= 13 && open < loci; ++open) {
        std::istringstream input(nuclearFamily(loci, open, 3, rng));
        PedigreeReader reader(input, 7);
        auto pedigree = reader.next();
        pedigree->prepare();
        phaseByMendel(*pedigree);
        PhasingTree tree = buildPhasingTree(*pedigree);
        LocusDPEstimate estimate = estimateLocusDP(tree);
        auto start = std::chrono::steady_clock::now();
        runLocusDP(*pedigree);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%d\t3\t%.3g\t%.3g\t%.3f\t%.3g\t%ld\n", open, estimate.locusSteps, estimate.tableBytes, seconds,
                    estimate.locusSteps / seconds, peakKilobytes());
        std::fflush(stdout);
    }
    return 0;
}
