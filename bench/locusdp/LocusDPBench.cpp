// Times the locus-based programme and prints, per family, the estimated work
// and tables, the seconds taken, locus comparisons per second and the peak
// memory of the process so far.
// Usage: locusdp_bench [loci]   families of growing size with that many loci
//        locusdp_bench FILE     every family of a 7-column pedigree file

#include "locusdp/LocusDP.h"
#include "pedigree/PedigreeReader.h"
#include "phasing/Sources.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

void runFamily(Pedigree& pedigree, const char* label)
{
    pedigree.prepare();
    phaseByMendel(pedigree);
    PhasingTree tree = buildPhasingTree(pedigree);
    LocusDPEstimate estimate = estimateLocusDP(tree);
    auto start = std::chrono::steady_clock::now();
    bool refused = runLocusDP(pedigree).has_value();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s\t%.3g\t%.3g\t%.3f\t%.3g\t%ld%s\n", label, estimate.locusSteps, estimate.tableBytes, seconds,
                seconds > 0 ? estimate.locusSteps / seconds : 0.0, peakKilobytes(), refused ? "\trefused" : "");
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    std::printf("family\tlocusSteps\ttableBytes\tseconds\tstepsPerSecond\tpeakKB\n");
    if (argc > 1 && std::atoi(argv[1]) == 0) {
        std::ifstream input(argv[1]);
        PedigreeReader reader(input, 7);
        while (auto pedigree = reader.next()) runFamily(*pedigree, std::to_string(pedigree->familyId).c_str());
        return 0;
    }
    int loci = argc > 1 ? std::atoi(argv[1]) : 20;
    std::mt19937 rng(1);
    for (int open = 4; open <= 13 && open < loci; ++open) {
        std::istringstream input(nuclearFamily(loci, open, 3, rng));
        PedigreeReader reader(input, 7);
        auto pedigree = reader.next();
        std::string label = "open " + std::to_string(open);
        runFamily(*pedigree, label.c_str());
    }
    return 0;
}
