// How block extension grows with pedigree depth and with the number of loci,
// in processor time (std::clock), the algorithm alone (reading, preparation
// and writing are left out):
//   phasing_scaling_bench [chain|loci|locusdp|all] [--polish] [--typed] [SIZES...]
//   phasing_scaling_bench write-chain GENERATIONS   (the chain's file, to stdout)
// chain:   one founder couple, then each generation one child who marries a
//          new founder; 2,000, 4,000 and 8,000 generations of 5 loci.
// loci:    a couple with 3 to 8 children, mode b's time per family at 100,
//          1,000, 10,000 and 50,000 loci, and the fitted exponent.
// locusdp: the same families for mode l, with founders heterozygous at a
//          fixed handful of loci (its states grow with the open loci by
//          design; what must not grow faster than the loci is the rest).
// SIZES replace the default generations or loci of the part chosen.
// --polish runs the polishing pass after block extension (chain and loci).
// Genotypes are dropped from the founders (four alleles, a change of source
// in one interval in a hundred), one genotype in fifty untyped (none with
// --typed, so that the missing-allele steps have nothing to do).
#include "locusdp/LocusDP.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "phasing/Polish.h"
#include "phasing/Sources.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tavirlen::Pedigree;

double untypedShare = 0.02;
std::vector<int> sizes;

struct Person {
    int id, father, mother, sex;
    std::vector<int> paternal, maternal;
};

class FamilyWriter {
public:
    FamilyWriter(unsigned seed, int loci, int heterozygousLoci = 0)
        : engine_(seed), loci_(loci), heterozygousLoci_(heterozygousLoci)
    {
    }

    // A founder couple, then `generations` times one child who marries a new founder.
    std::string chain(int generations)
    {
        people_.clear();
        int father = founder(1);
        int mother = founder(2);
        for (int g = 0; g < generations; ++g) {
            int child = descendant(father, mother);
            int spouse = founder(people_[static_cast<std::size_t>(child)].sex == 1 ? 2 : 1);
            father = people_[static_cast<std::size_t>(child)].sex == 1 ? child : spouse;
            mother = father == child ? spouse : child;
        }
        return text(1);
    }

    // A couple with `children` children.
    std::string nuclear(int familyId, int children)
    {
        people_.clear();
        int father = founder(1);
        int mother = founder(2);
        for (int c = 0; c < children; ++c) descendant(father, mother);
        return text(familyId);
    }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    double chance() { return std::uniform_real_distribution<double>(0, 1)(engine_); }

    int founder(int sex)
    {
        Person p{static_cast<int>(people_.size()) + 1, 0, 0, sex, {}, {}};
        // With heterozygousLoci set, the two haplotypes differ only at that
        // many loci spread along the map.
        int every = heterozygousLoci_ > 0 ? std::max(1, loci_ / heterozygousLoci_) : 1;
        for (int k = 0; k < loci_; ++k) {
            int a = uniform(1, 4);
            int b = heterozygousLoci_ == 0 ? uniform(1, 4) : (k % every == every / 2 ? a % 4 + 1 : a);
            p.paternal.push_back(a);
            p.maternal.push_back(b);
        }
        people_.push_back(p);
        return static_cast<int>(people_.size()) - 1;
    }

    std::vector<int> gamete(const Person& parent)
    {
        std::vector<int> haplotype;
        int side = uniform(0, 1);
        for (int k = 0; k < loci_; ++k) {
            if (k > 0 && chance() < 0.01) side = 1 - side;
            haplotype.push_back(side == 0 ? parent.paternal[static_cast<std::size_t>(k)]
                                          : parent.maternal[static_cast<std::size_t>(k)]);
        }
        return haplotype;
    }

    int descendant(int father, int mother)
    {
        Person p{static_cast<int>(people_.size()) + 1, people_[static_cast<std::size_t>(father)].id,
                 people_[static_cast<std::size_t>(mother)].id, uniform(1, 2),
                 gamete(people_[static_cast<std::size_t>(father)]), gamete(people_[static_cast<std::size_t>(mother)])};
        people_.push_back(p);
        return static_cast<int>(people_.size()) - 1;
    }

    // One genotype in each run of 1 / untypedShare, at a drawn place, is
    // untyped: every family and every depth holds the same share. Drawn one
    // by one, the share of a whole chain strays by a tenth from one depth
    // to the next, and the missing-allele steps' time with it.
    std::string text(int familyId)
    {
        std::ostringstream out;
        const long run = untypedShare > 0 ? std::lround(1 / untypedShare) : 0;
        long written = 0;
        long untypedAt = -1;
        for (const Person& p : people_) {
            out << familyId << ' ' << p.id << ' ' << p.father << ' ' << p.mother << ' ' << p.sex << " 0 0";
            for (int k = 0; k < loci_; ++k, ++written) {
                if (run > 0 && written % run == 0) untypedAt = written + uniform(0, static_cast<int>(run) - 1);
                if (heterozygousLoci_ == 0 && written == untypedAt)
                    out << " 0 0";
                else if (uniform(0, 1))
                    out << ' ' << p.paternal[static_cast<std::size_t>(k)] << ' ' << p.maternal[static_cast<std::size_t>(k)];
                else
                    out << ' ' << p.maternal[static_cast<std::size_t>(k)] << ' ' << p.paternal[static_cast<std::size_t>(k)];
            }
            out << '\n';
        }
        return out.str();
    }

    std::mt19937 engine_;
    int loci_;
    int heterozygousLoci_;
    std::vector<Person> people_;
};

// A family read and prepared as the batch driver does it for mode b.
std::unique_ptr<Pedigree> prepared(const std::string& lines, tavirlen::DatasetSummary& summary)
{
    std::istringstream input(lines);
    tavirlen::PedigreeReader reader(input, 7);
    std::unique_ptr<Pedigree> pedigree = reader.next();
    pedigree->memberCount = static_cast<int>(pedigree->members.size());
    pedigree->finalise();
    pedigree->prepare();
    summary.countPedigree(*pedigree);
    return pedigree;
}

double seconds(std::clock_t start)
{
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Processor seconds of one family's phasing step.
double phase(Pedigree& pedigree, bool polish, bool locusDP = false)
{
    tavirlen::seedRandom(1);
    std::clock_t start = std::clock();
    if (locusDP) {
        tavirlen::phaseByMendel(pedigree);
        if (tavirlen::runLocusDP(pedigree)) std::cout << "  (family over mode l's limits)\n";
    } else if (polish) {
        tavirlen::runPolishedBlockExtension(pedigree);
    } else {
        tavirlen::runBlockExtension(pedigree);
    }
    return seconds(start);
}

void chainFigures(bool polish)
{
    std::cout << "Chain pedigrees, 5 loci" << (untypedShare == 0 ? ", all typed" : "")
              << (polish ? ", with polishing" : "") << std::endl;
    struct Chain {
        int generations;
        std::string text;
        double time = 0;
        double preparation = 0;
        std::size_t members = 0;
        int recombinants = 0;
    };
    std::vector<Chain> chains;
    for (int generations : sizes.empty() ? std::vector<int>{2000, 4000, 8000} : sizes) {
        FamilyWriter writer(7, 5);
        chains.push_back({generations, writer.chain(generations)});
    }
    // A hundredth of a second is within the reach of the machine's noise,
    // and what the machine's caches hold drifts over seconds: every round
    // runs each depth once on a fresh copy, so that the depths meet the same
    // conditions, and the best of fifteen rounds is the figure.
    for (int round = 0; round < 15; ++round) {
        for (Chain& chain : chains) {
            tavirlen::DatasetSummary summary;
            std::clock_t start = std::clock();
            std::unique_ptr<Pedigree> pedigree = prepared(chain.text, summary);
            const double reading = seconds(start);
            const double phased = phase(*pedigree, polish);
            if (round == 0 || phased < chain.time) chain.time = phased;
            if (round == 0 || reading < chain.preparation) chain.preparation = reading;
            chain.members = pedigree->members.size();
            chain.recombinants = pedigree->recombinantCount;
        }
    }
    for (const Chain& chain : chains) {
        const double first = chains.front().time;
        std::cout << "  " << std::setw(5) << chain.generations << " generations (" << chain.members
                  << " members): " << std::fixed << std::setprecision(2) << 1e3 * chain.time << " ms"
                  << " (reading and preparation " << 1e3 * chain.preparation << " ms), " << std::setprecision(2)
                  << (first > 0 ? chain.time / first : 0) << " x the first; " << chain.recombinants << " recombinants"
                  << std::defaultfloat << std::endl;
    }
}

// Time per family against loci, with the exponent of each step and of the
// least-squares line through all points.
void lociFigures(bool polish, bool locusDP)
{
    std::cout << (locusDP ? "Mode l" : "Mode b") << (polish ? " with polishing" : "")
              << ", couples with 3 to 8 children, time per family\n";
    std::vector<double> logLoci, logTime;
    double previous = 0;
    int previousLoci = 0;
    for (int loci : sizes.empty() ? std::vector<int>{100, 1000, 10000, 50000} : sizes) {
        // About 3 million member-loci per size; a multiple of six families
        // so that every size sees each number of children alike.
        int families = std::max(6, 6 * (3000000 / (loci * 33)));
        FamilyWriter writer(11, loci, locusDP ? 6 : 0);
        double total = 0;
        long recombinants = 0;
        for (int f = 0; f < families; ++f) {
            tavirlen::DatasetSummary summary;
            auto pedigree = prepared(writer.nuclear(f + 1, 3 + f % 6), summary);
            total += phase(*pedigree, polish, locusDP);
            recombinants += pedigree->recombinantCount;
        }
        double perFamily = total / families;
        std::cout << "  " << std::setw(6) << loci << " loci, " << std::setw(4) << families
                  << " families: " << std::scientific << std::setprecision(3) << perFamily << " s per family"
                  << std::defaultfloat << ", " << recombinants << " recombinants";
        if (previous > 0)
            std::cout << ", exponent from " << previousLoci << ": " << std::fixed << std::setprecision(2)
                      << std::log(perFamily / previous) / std::log(static_cast<double>(loci) / previousLoci)
                      << std::defaultfloat;
        std::cout << std::endl;
        previous = perFamily;
        previousLoci = loci;
        logLoci.push_back(std::log(static_cast<double>(loci)));
        logTime.push_back(std::log(perFamily));
    }
    double n = static_cast<double>(logLoci.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < logLoci.size(); ++i) {
        sx += logLoci[i];
        sy += logTime[i];
        sxx += logLoci[i] * logLoci[i];
        sxy += logLoci[i] * logTime[i];
    }
    std::cout << "  fitted exponent (100 to 50,000 loci): " << std::fixed << std::setprecision(2)
              << (n * sxy - sx * sy) / (n * sxx - sx * sx) << std::defaultfloat << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::string what = "all";
    bool polish = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--polish") == 0)
            polish = true;
        else if (std::strcmp(argv[i], "--typed") == 0)
            untypedShare = 0;
        else if (std::atoi(argv[i]) > 0)
            sizes.push_back(std::atoi(argv[i]));
        else
            what = argv[i];
    }
    if (what == "write-chain") {
        // The same chain as the figures use, for whole runs of the program
        // (bench/phasing/chain_runs.sh).
        std::cout << FamilyWriter(7, 5).chain(sizes.empty() ? 2000 : sizes.front());
        return 0;
    }
    if (what == "chain" || what == "all") chainFigures(polish);
    if (what == "loci" || what == "all") lociFigures(polish, false);
    if (what == "locusdp" || what == "all") lociFigures(false, true);
    return 0;
}
