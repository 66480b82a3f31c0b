#include "ExactTestSupport.h"

#include "pedigree/Random.h"
#include "phasing/Sources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace tavirlen::test {

namespace {

int draw(int below) { return tavirlen::rand() % below; }

struct Person {
    int father = -1, mother = -1, sex = 1;
    std::vector<std::array<int, 2>> alleles;
};

} // namespace

std::string exactFamilyText(int familyId, Shape shape, int children, int loci, int alleles, int missingPercent,
                            int errorPercent)
{
    std::vector<Person> people;
    auto add = [&](int father, int mother, int sex) {
        people.push_back({father, mother, sex, {}});
        return static_cast<int>(people.size()) - 1;
    };
    int father = add(-1, -1, 1), mother = add(-1, -1, 2);
    for (int c = 0; c < children; ++c) add(father, mother, 1 + c % 2);
    if (shape == Shape::threeGenerations) {
        int spouse = add(-1, -1, 2);
        for (int c = 0; c < children; ++c) add(2, spouse, 1 + draw(2));
    } else if (shape == Shape::halfSiblings) {
        int second = add(-1, -1, 2);
        for (int c = 0; c < children; ++c) add(father, second, 1 + draw(2));
    } else if (shape == Shape::loop) { // cousins 6 (of 2 x 4) and 7 (of 5 x 3) and their child
        int wife = add(-1, -1, 2), husband = add(-1, -1, 1);
        int cousin1 = add(2, wife, 1), cousin2 = add(husband, 3, 2);
        add(cousin1, cousin2, 1 + draw(2));
    }
    for (Person& p : people) {
        std::array<int, 2> source{draw(2), draw(2)};
        for (int l = 0; l < loci; ++l) {
            if (p.father < 0) {
                p.alleles.push_back({1 + draw(alleles), 1 + draw(alleles)});
                continue;
            }
            std::array<int, 2> a{};
            for (std::size_t side = 0; side < 2; ++side) {
                if (draw(4) == 0) source[side] ^= 1;
                const Person& parent = people[static_cast<std::size_t>(side ? p.mother : p.father)];
                a[side] = parent.alleles[static_cast<std::size_t>(l)][static_cast<std::size_t>(source[side])];
            }
            p.alleles.push_back(a);
        }
    }
    for (int l = 0; l < loci; ++l) {
        bool typed = false;
        for (Person& p : people) {
            std::array<int, 2>& a = p.alleles[static_cast<std::size_t>(l)];
            if (draw(2)) std::swap(a[0], a[1]);
            if (draw(100) < missingPercent)
                a = {0, 0};
            else if (draw(500) < missingPercent)
                a[static_cast<std::size_t>(draw(2))] = draw(3) ? 0 : -1;
            else if (draw(100) < errorPercent)
                a[0] = alleles + 1;
            typed = typed || a[0] > 0 || a[1] > 0;
        }
        if (!typed) people[0].alleles[static_cast<std::size_t>(l)] = {1, 1};
    }
    std::string text;
    for (std::size_t i = 0; i < people.size(); ++i) {
        const Person& p = people[i];
        text += std::to_string(familyId) + " " + std::to_string(i + 1) + " " + std::to_string(p.father + 1) + " "
            + std::to_string(p.mother + 1) + " " + std::to_string(p.sex) + " 0 0";
        for (auto [a, b] : p.alleles) text += " " + std::to_string(a) + " " + std::to_string(b);
        text += "\n";
    }
    return text;
}

Reference exhaustiveReference(const Pedigree& pedigree)
{
    // Founder genes and bits, members in processingOrder.
    std::vector<const Individual*> members;
    std::map<int, int> indexOf;
    std::vector<int> firstGene, bit;
    int genes = 0, bits = 0, foundersWithChildren = 0;
    for (int id : pedigree.processingOrder) {
        const Individual* m = pedigree.member(id);
        indexOf[id] = static_cast<int>(members.size());
        members.push_back(m);
        bool parent = !m->childIds.empty();
        firstGene.push_back(m->isFounder() && parent ? genes : -1);
        if (m->isFounder() && parent) genes += 2, ++foundersWithChildren;
        bit.push_back(m->isFounder() ? -1 : bits);
        if (!m->isFounder()) bits += 2;
    }
    const std::size_t size = std::size_t(1) << bits;
    constexpr int far = 1 << 20;
    std::vector<int> cost(size, 0);
    std::vector<std::uint64_t> count(size, 1);
    for (int l = 0; l < pedigree.locusCount; ++l) {
        std::set<int> seen;
        for (const Individual* m : members)
            for (int a : {m->genotypes[static_cast<std::size_t>(l)].allele1, m->genotypes[static_cast<std::size_t>(l)].allele2})
                if (a > 0) seen.insert(a);
        std::vector<int> candidates(seen.begin(), seen.end());
        candidates.push_back(candidates.empty() ? 1 : candidates.back() + 1);
        std::vector<bool> possible(size);
        for (std::size_t v = 0; v < size; ++v) {
            std::vector<std::array<int, 2>> reach(members.size());
            for (std::size_t i = 0; i < members.size(); ++i)
                reach[i] = bit[i] < 0 ? std::array<int, 2>{firstGene[i], firstGene[i] + 1}
                                      : std::array<int, 2>{reach[static_cast<std::size_t>(indexOf[members[i]->fatherId])][(v >> bit[i]) & 1],
                                                           reach[static_cast<std::size_t>(indexOf[members[i]->motherId])][(v >> (bit[i] + 1)) & 1]};
            // Every assignment of candidate alleles to the genes, gene by gene;
            // a member is checked once both of its genes have values.
            auto fits = [&](std::size_t i, const std::vector<int>& value) {
                const GenotypeRecord& g = members[i]->genotypes[static_cast<std::size_t>(l)];
                int p = value[static_cast<std::size_t>(reach[i][0])], q = value[static_cast<std::size_t>(reach[i][1])];
                if (g.allele1 > 0 && g.allele2 > 0) return std::minmax(p, q) == std::minmax(g.allele1, g.allele2);
                return g.allele1 < 1 && g.allele2 < 1 ? true : p == std::max(g.allele1, g.allele2) || q == std::max(g.allele1, g.allele2);
            };
            std::vector<int> value(static_cast<std::size_t>(genes), 0);
            std::function<bool(int)> assign = [&](int gene) {
                if (gene == genes) return true;
                for (int c : candidates) {
                    value[static_cast<std::size_t>(gene)] = c;
                    bool ok = true;
                    for (std::size_t i = 0; i < members.size() && ok; ++i)
                        if (reach[i][0] >= 0 && std::max(reach[i][0], reach[i][1]) == gene) ok = fits(i, value);
                    if (ok && assign(gene + 1)) return true;
                }
                return false;
            };
            possible[v] = assign(0);
        }
        std::vector<int> next(size, far);
        std::vector<std::uint64_t> ways(size, 0);
        for (std::size_t t = 0; t < size; ++t) {
            if (!possible[t]) continue;
            for (std::size_t s = 0; s < size; ++s) {
                if (l == 0 ? s != t : cost[s] >= far) continue;
                int c = cost[s] + static_cast<int>(std::bitset<32>(s ^ t).count());
                if (c < next[t]) next[t] = c, ways[t] = 0;
                if (c == next[t]) ways[t] += count[s];
            }
        }
        cost.swap(next);
        count.swap(ways);
    }
    Reference reference;
    reference.optimum = *std::min_element(cost.begin(), cost.end());
    reference.possible = reference.optimum < far;
    for (std::size_t v = 0; v < size; ++v)
        if (cost[v] == reference.optimum) reference.configurations += count[v];
    reference.configurations >>= foundersWithChildren;
    return reference;
}

void expectSoundPhase(const Pedigree& input, const Pedigree& written, int recombinants)
{
    for (const auto& [id, m] : written.members) {
        const Individual& typed = *input.member(id);
        bool ordered = !m.isFounder() || m.childIds.empty();
        for (std::size_t l = 0; l < m.genotypes.size(); ++l) {
            const GenotypeRecord& w = m.genotypes[l];
            const GenotypeRecord& t = typed.genotypes[l];
            EXPECT_TRUE(w.phased);
            if (t.allele1 > 0 && t.allele2 > 0) {
                EXPECT_EQ(std::minmax(t.allele1, t.allele2), std::minmax(w.allele1, w.allele2)) << id << " " << l;
            } else if (t.allele1 > 0 || t.allele2 > 0) {
                int a = std::max(t.allele1, t.allele2);
                EXPECT_TRUE(a == w.allele1 || a == w.allele2) << id << " " << l;
            }
            if (!ordered && w.allele1 > 0 && w.allele2 > 0 && w.allele1 != w.allele2) {
                EXPECT_LT(w.allele1, w.allele2) << "founder " << id;
                ordered = true;
            }
            for (int side = 0; side < 2 && !m.isFounder(); ++side) {
                const GenotypeRecord& p = written.member(m.parentId(side))->genotypes[l];
                if (w.source(side) < 0) continue; // the parent is homozygous wherever the path is known
                int from = p.allele(w.source(side));
                if (w.allele(side) > 0 && from > 0) {
                    EXPECT_EQ(w.allele(side), from) << id << " " << l << " " << side;
                }
            }
        }
    }
    EXPECT_EQ(written.recombinantCount, recombinants);
    Pedigree recount = written;
    countRecombinants(recount);
    EXPECT_EQ(recount.recombinantCount, recombinants);
}

} // namespace tavirlen::test
