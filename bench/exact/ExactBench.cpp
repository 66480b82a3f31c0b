// Times the exact engine on three generated three-generation families and
// prints, for each, the seconds, the peak memory, the optimum and the
// configurations counted, against the targets:
//   - 16 bits (8 non-founders) x 10,000 loci in at most 30 s;
//   - 20 bits (10 non-founders) x 1,000 loci in at most 30 s;
//   - 24 bits (12 non-founders) x 100 loci in at most 60 s and 4 GiB.
// Genotypes are dropped through the pedigree: founders draw from 2 to 6
// alleles per locus, every meiosis changes haplotype between adjacent loci
// with chance 1/50, and a tenth of all genotypes are left untyped. Each
// family runs in a child process of its own, so that the peak memory is its
// own. Build in Release for figures worth quoting.
//
//   exact_bench [16|20|24]

#include "exact/ExactEngine.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavirlen;

namespace {

struct Target {
    int bits;
    int loci;
    double seconds;
    double gibibytes;
};

const Target targets[] = {{16, 10000, 30, 0}, {20, 1000, 30, 0}, {24, 100, 60, 4}};

int draw(int below) { return tavirlen::rand() % below; }

// Grandparents 1 x 2 with children 3..6; child 3 marries founder 7 and child
// 4 marries founder 8; the rest of the non-founders are their children,
// shared between the two couples.
std::string familyText(int nonFounders, int loci)
{
    struct Member {
        int father, mother;
    };
    std::vector<Member> members = {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {1, 2}, {1, 2}, {0, 0}, {0, 0}};
    for (int k = 0; k < nonFounders - 4; ++k) members.push_back(k % 2 == 0 ? Member{3, 7} : Member{8, 4});
    std::vector<std::vector<std::pair<int, int>>> g(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        int paternal = draw(2), maternal = draw(2);
        for (int l = 0; l < loci; ++l) {
            const Member& m = members[i];
            if (m.father == 0) {
                const int alleles = 2 + (l * 7 + 3) % 5;
                g[i].push_back({1 + draw(alleles), 1 + draw(alleles)});
                continue;
            }
            if (draw(50) == 0) paternal ^= 1;
            if (draw(50) == 0) maternal ^= 1;
            auto f = g[static_cast<std::size_t>(m.father - 1)][static_cast<std::size_t>(l)];
            auto mo = g[static_cast<std::size_t>(m.mother - 1)][static_cast<std::size_t>(l)];
            g[i].push_back({paternal ? f.second : f.first, maternal ? mo.second : mo.first});
        }
    }
    std::ostringstream text;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const bool male = i == 0 || i == 2 || i == 7;
        text << "1 " << i + 1 << " " << members[i].father << " " << members[i].mother << " " << (male ? 1 : 2)
             << " 0 0";
        for (auto [a, b] : g[i]) {
            if (draw(10) == 0) a = b = 0;
            text << " " << a << " " << b;
        }
        text << "\n";
    }
    return text.str();
}

void runTarget(const Target& target)
{
    seedRandom(static_cast<unsigned>(target.bits));
    std::istringstream in(familyText(target.bits / 2, target.loci));
    PedigreeReader reader(in, 7);
    std::unique_ptr<Pedigree> family = reader.next();
    family->finalise();
    family->prepare();
    const auto start = std::chrono::steady_clock::now();
    ExactResult result = solveExactly(*family);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%2d bits x %5d loci: %7.2f s (target %.0f s), recombinants %d, configurations %s%llu%s\n",
                target.bits, target.loci, seconds, target.seconds, result.recombinants,
                result.tooManyToCount ? ">= " : "", static_cast<unsigned long long>(result.configurations),
                result.status == ExactStatus::solved ? "" : (" NOT SOLVED: " + result.reason).c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int only = argc > 1 ? std::atoi(argv[1]) : 0;
    for (const Target& target : targets) {
        if (only && target.bits != only) continue;
        std::fflush(stdout); // or the child prints the parent's buffered lines again
        pid_t child = fork();
        if (child == 0) {
            runTarget(target);
            std::_Exit(0);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        const double peak = static_cast<double>(usage.ru_maxrss) / (1024.0 * 1024.0); // KiB -> GiB
        // Processor time as well: the machine may be shared, and then the
        // seconds above include waiting for it.
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        std::printf("%2d bits: processor time %.2f s, peak memory %.3f GiB%s\n", target.bits, cpu, peak,
                    target.gibibytes > 0 ? (" (target " + std::to_string(static_cast<int>(target.gibibytes)) + " GiB)").c_str() : "");
    }
    return 0;
}
