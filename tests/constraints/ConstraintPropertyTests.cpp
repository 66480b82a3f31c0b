#include "constraints/ConstraintFinding.h"
#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

int draw(int n)
{
    return tavirlen::rand() % n;
}

// A family dropped from random founder haplotypes without recombination: each
// child copies one whole haplotype of each parent.
struct Simulated {
    struct Member {
        int father = 0;
        int mother = 0;
        int sex = 1;
        std::vector<std::array<int, 2>> genotype; // ascending at every locus
    };
    std::map<int, Member> members;
    int loci = 0;
    std::string text;
};

Simulated simulate()
{
    Simulated family;
    family.loci = 1 + draw(4);
    const int alleles = 2 + draw(3);
    const int founders = 2 + draw(3);
    const int children = 1 + draw(4);
    std::map<int, std::vector<std::array<int, 2>>> haplotypes; // [locus]{paternal, maternal}
    for (int id = 1; id <= founders + children; ++id) {
        Simulated::Member m;
        m.sex = id <= 2 ? id : 1 + draw(2);
        std::vector<std::array<int, 2>> h(static_cast<std::size_t>(family.loci));
        if (id <= founders) {
            for (auto& locus : h) locus = {1 + draw(alleles), 1 + draw(alleles)};
        } else {
            std::vector<int> fathers;
            std::vector<int> mothers;
            for (const auto& [other, o] : family.members) (o.sex == 1 ? fathers : mothers).push_back(other);
            m.father = fathers[static_cast<std::size_t>(draw(static_cast<int>(fathers.size())))];
            m.mother = mothers[static_cast<std::size_t>(draw(static_cast<int>(mothers.size())))];
            const int fromFather = draw(2);
            const int fromMother = draw(2);
            for (std::size_t l = 0; l < h.size(); ++l)
                h[l] = {haplotypes[m.father][l][static_cast<std::size_t>(fromFather)],
                        haplotypes[m.mother][l][static_cast<std::size_t>(fromMother)]};
        }
        for (const auto& locus : h) m.genotype.push_back({std::min(locus[0], locus[1]), std::max(locus[0], locus[1])});
        haplotypes[id] = h;
        family.members[id] = m;
    }

    std::vector<std::string> lines;
    for (const auto& [id, m] : family.members) {
        std::string line = "3 " + std::to_string(id) + " " + std::to_string(m.father) + " " +
                           std::to_string(m.mother) + " " + std::to_string(m.sex) + " 0 0";
        for (const auto& g : m.genotype) {
            const int first = draw(2);
            line += " " + std::to_string(g[static_cast<std::size_t>(first)]) + " " +
                    std::to_string(g[static_cast<std::size_t>(1 - first)]);
        }
        lines.push_back(line + "\n");
    }
    for (std::size_t k = lines.size(); k > 1; --k) std::swap(lines[k - 1], lines[static_cast<std::size_t>(draw(static_cast<int>(k)))]);
    // Sometimes a member is listed twice; its later line counts, leaving a gap
    // in the creation indices.
    if (draw(3) == 0) {
        std::string stale = "3 " + std::to_string(1 + draw(static_cast<int>(family.members.size()))) + " 0 0 1 0 0";
        for (int l = 0; l < family.loci; ++l) stale += " 9 9";
        lines.insert(lines.begin(), stale + "\n");
    }
    for (const std::string& line : lines) family.text += line;
    return family;
}

// Every phase assignment (homozygous loci and each founder's first
// heterozygous locus held at the smaller allele first) under which every
// child has one allele of each parent and takes one haplotype of each parent
// at all of that parent's heterozygous loci. Empty when there are too many to
// try.
std::vector<std::string> exhaustiveConfigurations(const Simulated& family)
{
    std::vector<std::pair<int, int>> open; // (id, locus)
    for (const auto& [id, m] : family.members) {
        bool fixed = m.father != 0; // only a founder gets a fixing
        for (int l = 0; l < family.loci; ++l) {
            const auto& g = m.genotype[static_cast<std::size_t>(l)];
            if (g[0] == g[1]) continue;
            if (!fixed) {
                fixed = true;
                continue;
            }
            open.emplace_back(id, l);
        }
    }
    std::vector<std::string> found;
    if (open.size() > 14) return found;
    for (std::uint32_t mask = 0; mask < (1u << open.size()); ++mask) {
        std::map<int, std::vector<std::array<int, 2>>> phase;
        for (const auto& [id, m] : family.members) phase[id] = m.genotype;
        for (std::size_t k = 0; k < open.size(); ++k)
            if ((mask >> k) & 1u) {
                auto& g = phase[open[k].first][static_cast<std::size_t>(open[k].second)];
                std::swap(g[0], g[1]);
            }
        bool fits = true;
        for (const auto& [id, m] : family.members) {
            if (m.father == 0) continue;
            for (int side = 0; side < 2 && fits; ++side) {
                const auto& parent = phase[side == 0 ? m.father : m.mother];
                int source = -1;
                for (std::size_t l = 0; l < parent.size() && fits; ++l) {
                    const int allele = phase[id][l][static_cast<std::size_t>(side)];
                    fits = allele == parent[l][0] || allele == parent[l][1];
                    if (!fits || parent[l][0] == parent[l][1]) continue;
                    const int here = allele == parent[l][0] ? 0 : 1;
                    fits = source == -1 || source == here;
                    source = here;
                }
            }
        }
        if (!fits) continue;
        std::string configuration;
        for (const auto& [id, g] : phase) {
            configuration += std::to_string(id) + ":";
            for (const auto& locus : g) configuration += std::to_string(locus[0]) + "|" + std::to_string(locus[1]) + "\t";
            configuration += "\n";
        }
        found.push_back(configuration);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> result;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) result.push_back(field);
    return result;
}

std::vector<int> sources(const std::string& digits)
{
    std::vector<int> result;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        if (digits[k] == '-') {
            result.push_back(-1);
            ++k;
        } else {
            result.push_back(digits[k] - '0');
        }
    }
    return result;
}

TEST(ConstraintFindingProperty, SimulatedFamiliesWithoutRecombination)
{
    seedRandom(20240611);
    int checkedAgainstSearch = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Simulated family = simulate();
        SCOPED_TRACE(family.text);
        auto pedigree = test::readFamily(family.text);
        std::ostringstream dat;
        std::ostringstream res;
        std::FILE* out = std::tmpfile();
        const int written = runConstraintFinding(*pedigree, dat, res, out);
        std::string outText;
        std::rewind(out);
        for (int c; (c = std::fgetc(out)) != EOF;) outText += static_cast<char>(c);
        std::fclose(out);
        if (written == 0) continue; // beyond the enumeration bound
        ASSERT_GE(written, 1);

        std::istringstream resLines(res.str());
        int resCount = 0;
        for (std::string line; std::getline(resLines, line); ++resCount) EXPECT_EQ(fields(line)[1], " 0");
        EXPECT_EQ(resCount, written);

        std::istringstream outLines(outText);
        std::vector<std::string> configurations;
        for (int s = 0; s < written; ++s) {
            std::map<int, std::vector<std::string>> row;
            for (std::size_t k = 0; k < family.members.size(); ++k) {
                std::string line;
                ASSERT_TRUE(std::getline(outLines, line));
                std::vector<std::string> f = fields(line);
                row[std::stoi(f[1])] = f;
            }
            std::string configuration;
            for (const auto& [id, f] : row) {
                configuration += std::to_string(id) + ":";
                const Simulated::Member& m = family.members.at(id);
                for (int l = 0; l < family.loci; ++l) {
                    const std::string& pair = f[static_cast<std::size_t>(7 + l)];
                    configuration += pair + "\t";
                    const int a = std::stoi(pair);
                    const int b = std::stoi(pair.substr(pair.find('|') + 1));
                    // The alleles are the input's, in some order.
                    EXPECT_EQ(std::min(a, b), m.genotype[static_cast<std::size_t>(l)][0]);
                    EXPECT_EQ(std::max(a, b), m.genotype[static_cast<std::size_t>(l)][1]);
                    if (m.father == 0) continue;
                    // Mendel: each allele is one of its parent's, the one its source names.
                    for (int side = 0; side < 2; ++side) {
                        const std::vector<std::string>& p = row.at(side == 0 ? m.father : m.mother);
                        const std::string& parentPair = p[static_cast<std::size_t>(7 + l)];
                        const int parentAllele[2] = {std::stoi(parentPair),
                                                     std::stoi(parentPair.substr(parentPair.find('|') + 1))};
                        const int allele = side == 0 ? a : b;
                        EXPECT_TRUE(allele == parentAllele[0] || allele == parentAllele[1]);
                        const int source = sources(f[static_cast<std::size_t>(7 + family.loci + side)])
                                               [static_cast<std::size_t>(l)];
                        if (source >= 0) {
                            EXPECT_EQ(allele, parentAllele[source]);
                        }
                    }
                }
                configuration += "\n";
            }
            configurations.push_back(configuration);
        }
        std::sort(configurations.begin(), configurations.end());
        const std::vector<std::string> expected = exhaustiveConfigurations(family);
        if (!expected.empty()) {
            EXPECT_EQ(configurations, expected);
            ++checkedAgainstSearch;
        }
    }
    EXPECT_GT(checkedAgainstSearch, 200);
}

} // namespace
} // namespace tavirlen
