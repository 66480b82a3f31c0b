// Runs mode b on a generated file and prints its figures:
//   phasing_bench [families] [loci] [seed]
// Families are three generations deep (a founder couple, two to five
// children, some of them married to founders with children of their own),
// genotypes dropped from the founders with recombination, one allele pair in
// twenty and one member in ten untyped. The file is written to the working
// directory as bench-families.txt (results beside it) and left there.
#include "phasing/BlockExtensionMode.h"
#include "pedigree/Random.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <vector>

namespace {

struct Person {
    int id, father, mother, sex;
    std::vector<int> paternal, maternal;
};

class Generator {
public:
    Generator(unsigned seed, int loci) : engine_(seed), loci_(loci) {}

    // Writes one family; returns its number of members.
    int family(std::ostream& out, int familyId)
    {
        people_.clear();
        int father = founder(1);
        int mother = founder(2);
        int children = uniform(2, 5);
        for (int c = 0; c < children; ++c) {
            int child = descendant(father, mother);
            if (uniform(0, 2) == 0) {
                int spouse = founder(people_[child].sex == 1 ? 2 : 1);
                int dad = people_[child].sex == 1 ? child : spouse;
                int mum = people_[child].sex == 1 ? spouse : child;
                for (int g = uniform(1, 3); g > 0; --g) descendant(dad, mum);
            }
        }
        for (const Person& p : people_) {
            out << familyId << ' ' << p.id << ' ' << p.father << ' ' << p.mother << ' ' << p.sex << " 0 0";
            bool untyped = chance() < 0.1;
            for (int k = 0; k < loci_; ++k) {
                if (untyped || chance() < 0.05)
                    out << " 0 0";
                else if (uniform(0, 1))
                    out << ' ' << p.paternal[k] << ' ' << p.maternal[k];
                else
                    out << ' ' << p.maternal[k] << ' ' << p.paternal[k];
            }
            out << '\n';
        }
        return static_cast<int>(people_.size());
    }

private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    double chance() { return std::uniform_real_distribution<double>(0, 1)(engine_); }

    int founder(int sex)
    {
        Person p{static_cast<int>(people_.size()) + 1, 0, 0, sex, {}, {}};
        for (int k = 0; k < loci_; ++k) {
            p.paternal.push_back(uniform(1, 8));
            p.maternal.push_back(uniform(1, 8));
        }
        people_.push_back(p);
        return static_cast<int>(people_.size()) - 1;
    }

    std::vector<int> gamete(const Person& parent)
    {
        std::vector<int> haplotype;
        int side = uniform(0, 1);
        for (int k = 0; k < loci_; ++k) {
            if (k > 0 && chance() < 0.05) side = 1 - side;
            haplotype.push_back(side == 0 ? parent.paternal[k] : parent.maternal[k]);
        }
        return haplotype;
    }

    int descendant(int father, int mother)
    {
        Person p{static_cast<int>(people_.size()) + 1, people_[father].id, people_[mother].id, uniform(1, 2),
                 gamete(people_[father]), gamete(people_[mother])};
        people_.push_back(p);
        return static_cast<int>(people_.size()) - 1;
    }

    std::mt19937 engine_;
    int loci_;
    std::vector<Person> people_;
};

} // namespace

int main(int argc, char** argv)
{
    int families = argc > 1 ? std::atoi(argv[1]) : 20000;
    int loci = argc > 2 ? std::atoi(argv[2]) : 20;
    unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1;
    long members = 0;
    {
        std::ofstream out("bench-families.txt");
        Generator generator(seed, loci);
        for (int f = 1; f <= families; ++f) members += generator.family(out, f);
    }
    tavirlen::seedRandom(seed);
    auto start = std::chrono::steady_clock::now();
    int status = tavirlen::runBatch(tavirlen::blockExtensionMode(7), "bench-families.txt");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::cout << "families " << families << ", members " << members << ", loci " << loci << "\n"
              << "status " << status << ", seconds " << seconds << ", member-loci per second "
              << static_cast<double>(members) * loci / seconds << ", peak memory "
              << usage.ru_maxrss / 1024.0 << " MB\n";
    return status;
}
