// Writes generated families in the seven-column layout to standard output:
// two founders with one to eight children (or a fixed number), a switch of
// the inherited haplotype now and then, four alleles, some genotypes missing.
// usage: generate_families FAMILIES LOCI [SEED] [CHILDREN]
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: generate_families FAMILIES LOCI [SEED] [CHILDREN]\n");
        return 2;
    }
    const long families = std::atol(argv[1]);
    const int loci = std::atoi(argv[2]);
    std::mt19937 random(argc > 3 ? static_cast<unsigned>(std::atol(argv[3])) : 1u);
    const int fixedChildren = argc > 4 ? std::atoi(argv[4]) : 0;
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    std::string line;
    for (long f = 1; f <= families; ++f) {
        const int children = fixedChildren > 0 ? fixedChildren : 1 + static_cast<int>(random() % 8);
        std::vector<std::vector<int>> haplotypes; // two per member
        for (int founder = 0; founder < 2; ++founder)
            for (int h = 0; h < 2; ++h) {
                haplotypes.emplace_back(loci);
                for (int& a : haplotypes.back()) a = 1 + static_cast<int>(random() % 4);
            }
        for (int c = 0; c < children; ++c)
            for (int parent = 0; parent < 2; ++parent) {
                int side = static_cast<int>(random() % 2);
                haplotypes.emplace_back(loci);
                for (int l = 0; l < loci; ++l) {
                    if (chance(0.01)) side = 1 - side;
                    haplotypes.back()[static_cast<std::size_t>(l)]
                        = haplotypes[static_cast<std::size_t>(2 * parent + side)][static_cast<std::size_t>(l)];
                }
            }
        for (int m = 0; m < 2 + children; ++m) {
            line = std::to_string(f) + " " + std::to_string(m + 1) + (m < 2 ? " 0 0 " : " 1 2 ")
                + std::to_string(m == 0 ? 1 : m == 1 ? 2 : 1 + m % 2) + " 0 0";
            for (int l = 0; l < loci; ++l) {
                const bool missing = chance(0.05);
                for (int h = 0; h < 2; ++h)
                    line += " " + std::to_string(missing ? 0 : haplotypes[static_cast<std::size_t>(2 * m + h)][static_cast<std::size_t>(l)]);
            }
            line += "\n";
            std::fputs(line.c_str(), stdout);
        }
    }
    return 0;
}
