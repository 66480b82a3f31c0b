#include "locusdp/LocusDPTestSupport.h"

#include "locusdp/LocusDP.h"
#include "phasing/Sources.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>

namespace tavirlen::test {

namespace {

using Haplotypes = std::map<int, std::vector<std::pair<int, int>>>; // id -> (paternal, maternal) per locus

Haplotypes haplotypesOf(const Pedigree& pedigree)
{
    Haplotypes h;
    for (const auto& [id, m] : pedigree.members)
        for (const GenotypeRecord& g : m.genotypes) h[id].push_back({g.allele1, g.allele2});
    return h;
}

// Changes of source along one side of a child, counted at the parent's
// informative loci (both alleles typed and different).
int sideChanges(const std::vector<std::pair<int, int>>& child, const std::vector<std::pair<int, int>>& parent,
                int side)
{
    int count = 0;
    int previous = -1;
    for (std::size_t k = 0; k < child.size() && k < parent.size(); ++k) {
        int x = side == 0 ? child[k].first : child[k].second;
        auto [p, q] = parent[k];
        if (p == q || p < 1 || q < 1) continue;
        int source = x == p ? 0 : 1;
        if (previous != -1 && source != previous) ++count;
        previous = source;
    }
    return count;
}

int countChanges(const Pedigree& pedigree, const Haplotypes& h)
{
    int count = 0;
    for (const auto& [id, m] : pedigree.members) {
        if (m.isFounder()) continue;
        for (int side = 0; side < 2; ++side) count += sideChanges(h.at(id), h.at(m.parentId(side)), side);
    }
    return count;
}

bool carries(const GenotypeRecord& g, int allele)
{
    return allele == g.allele1 || allele == g.allele2;
}

// One member of a generated family: its parents' positions and its two haplotypes.
struct Person {
    int father = -1;
    int mother = -1;
    int sex = 1;
    std::vector<int> haplotype[2];
};

void makeFounder(Person& p, std::mt19937& rng, int loci, int alleles)
{
    std::uniform_int_distribution<int> allele(1, alleles);
    for (int side = 0; side < 2; ++side)
        for (int k = 0; k < loci; ++k) p.haplotype[side].push_back(allele(rng));
}

std::vector<int> transmit(const Person& parent, std::mt19937& rng, int loci)
{
    std::bernoulli_distribution recombine(0.25);
    int source = std::bernoulli_distribution(0.5)(rng) ? 1 : 0;
    std::vector<int> passed;
    for (int k = 0; k < loci; ++k) {
        if (k > 0 && recombine(rng)) source = 1 - source;
        passed.push_back(parent.haplotype[source][static_cast<std::size_t>(k)]);
    }
    return passed;
}

int addChild(std::vector<Person>& people, int father, int mother, std::mt19937& rng, int loci)
{
    Person child;
    child.father = father;
    child.mother = mother;
    child.sex = std::bernoulli_distribution(0.5)(rng) ? 1 : 2;
    child.haplotype[0] = transmit(people[static_cast<std::size_t>(father)], rng, loci);
    child.haplotype[1] = transmit(people[static_cast<std::size_t>(mother)], rng, loci);
    people.push_back(child);
    return static_cast<int>(people.size()) - 1;
}

int addFounder(std::vector<Person>& people, int sex, std::mt19937& rng, int loci, int alleles)
{
    Person p;
    p.sex = sex;
    makeFounder(p, rng, loci, alleles);
    people.push_back(p);
    return static_cast<int>(people.size()) - 1;
}

std::string familyText(const std::vector<Person>& people, std::mt19937& rng)
{
    std::vector<int> ids(99);
    for (int i = 0; i < 99; ++i) ids[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(ids.begin(), ids.end(), rng);
    auto idOf = [&](int position) { return position < 0 ? 0 : ids[static_cast<std::size_t>(position)]; };
    std::ostringstream text;
    for (std::size_t i = 0; i < people.size(); ++i) {
        const Person& p = people[i];
        text << "1 " << idOf(static_cast<int>(i)) << " " << idOf(p.father) << " " << idOf(p.mother) << " "
             << p.sex << " 0 0";
        for (std::size_t k = 0; k < p.haplotype[0].size(); ++k) {
            int a = p.haplotype[0][k];
            int b = p.haplotype[1][k];
            if (std::bernoulli_distribution(0.5)(rng)) std::swap(a, b);
            text << " " << a << " " << b;
        }
        text << "\n";
    }
    return text.str();
}

} // namespace

int recountRecombinants(const Pedigree& pedigree)
{
    return countChanges(pedigree, haplotypesOf(pedigree));
}

int exhaustiveMinimum(const Pedigree& pedigree, int maxFreeLoci)
{
    Haplotypes h = haplotypesOf(pedigree);
    struct Free {
        int id;
        std::size_t k;
        std::pair<int, int> orders[2];
    };
    std::vector<Free> free;
    for (const auto& [id, m] : pedigree.members) {
        bool fixedOne = false;
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            int a = g.allele1;
            int b = g.allele2;
            if (a == b) continue;
            if (m.isFounder()) {
                if (!fixedOne) {
                    fixedOne = true;
                    continue;
                }
                free.push_back({id, k, {{a, b}, {b, a}}});
                continue;
            }
            const GenotypeRecord& f = pedigree.member(m.fatherId)->genotypes[k];
            const GenotypeRecord& mo = pedigree.member(m.motherId)->genotypes[k];
            bool straight = carries(f, a) && carries(mo, b);
            bool swapped = carries(f, b) && carries(mo, a);
            if (straight && swapped)
                free.push_back({id, k, {{a, b}, {b, a}}});
            else if (swapped)
                h[id][k] = {b, a};
        }
    }
    if (static_cast<int>(free.size()) > maxFreeLoci) return -1;
    int best = -1;
    for (unsigned long mask = 0; mask < (1ul << free.size()); ++mask) {
        for (std::size_t i = 0; i < free.size(); ++i) h[free[i].id][free[i].k] = free[i].orders[(mask >> i) & 1ul];
        int count = countChanges(pedigree, h);
        if (best < 0 || count < best) best = count;
    }
    return best;
}

std::string configurationProblem(const Pedigree& pedigree, const Pedigree& asRead)
{
    std::ostringstream problem;
    for (const auto& [id, m] : pedigree.members) {
        const Individual* before = asRead.member(id);
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            const GenotypeRecord& r = before->genotypes[k];
            if (!g.phased) problem << "individual " << id << " locus " << k << " unphased; ";
            if (std::minmax(g.allele1, g.allele2) != std::minmax(r.allele1, r.allele2))
                problem << "individual " << id << " locus " << k << " alleles changed; ";
            if (m.isFounder()) continue;
            if (!carries(pedigree.member(m.fatherId)->genotypes[k], g.allele1)
                || !carries(pedigree.member(m.motherId)->genotypes[k], g.allele2))
                problem << "individual " << id << " locus " << k << " does not fit its parents; ";
        }
    }
    return problem.str();
}

std::string randomNuclearFamily(std::mt19937& rng, int loci, int alleles)
{
    std::vector<Person> people;
    int father = addFounder(people, 1, rng, loci, alleles);
    int mother = addFounder(people, 2, rng, loci, alleles);
    int children = std::uniform_int_distribution<int>(1, 4)(rng);
    for (int c = 0; c < children; ++c) addChild(people, father, mother, rng, loci);
    return familyText(people, rng);
}

std::string randomThreeGenerationFamily(std::mt19937& rng, int loci, int alleles)
{
    std::vector<Person> people;
    std::bernoulli_distribution coin(0.5);
    auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };

    int g1 = addFounder(people, 1, rng, loci, alleles);
    int g2 = addFounder(people, 2, rng, loci, alleles);
    std::vector<int> firstSibship;
    for (int c = between(1, 3); c > 0; --c) firstSibship.push_back(addChild(people, g1, g2, rng, loci));
    // A second founder couple whose children may marry into the first sibship.
    std::vector<int> secondSibship;
    if (coin(rng)) {
        int g3 = addFounder(people, 1, rng, loci, alleles);
        int g4 = addFounder(people, 2, rng, loci, alleles);
        for (int c = between(1, 2); c > 0; --c) secondSibship.push_back(addChild(people, g3, g4, rng, loci));
    }

    auto marryAndHaveChildren = [&](int member, int spouse) {
        int father = people[static_cast<std::size_t>(member)].sex == 1 ? member : spouse;
        int mother = father == member ? spouse : member;
        for (int c = between(1, 2); c > 0; --c) addChild(people, father, mother, rng, loci);
    };
    auto spouseFor = [&](int member) {
        int sex = people[static_cast<std::size_t>(member)].sex == 1 ? 2 : 1;
        // One marriage between the two sibships; a second would close a loop.
        if (!secondSibship.empty()) {
            int chosen = secondSibship.front();
            secondSibship.clear();
            people[static_cast<std::size_t>(chosen)].sex = sex;
            return chosen;
        }
        return addFounder(people, sex, rng, loci, alleles);
    };
    for (std::size_t i = 0; i < firstSibship.size(); ++i) {
        if (i > 0 && coin(rng)) continue;
        int member = firstSibship[i];
        marryAndHaveChildren(member, spouseFor(member));
        // Now and then a second mate, a founder, with children of their own.
        if (i == 0 && coin(rng)) {
            int sex = people[static_cast<std::size_t>(member)].sex == 1 ? 2 : 1;
            marryAndHaveChildren(member, addFounder(people, sex, rng, loci, alleles));
        }
    }
    return familyText(people, rng);
}

std::unique_ptr<Pedigree> phaseFamily(const std::string& lines)
{
    auto pedigree = readFamily(lines, 7, false);
    pedigree->prepare();
    phaseByMendel(*pedigree);
    runLocusDP(*pedigree);
    return pedigree;
}

std::string writtenFamily(const Pedigree& pedigree)
{
    std::ostringstream dat;
    pedigree.writeDat(dat);
    std::FILE* out = std::tmpfile();
    pedigree.writeOut(out);
    std::rewind(out);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
    std::fclose(out);
    return dat.str() + text + "count " + std::to_string(pedigree.recombinantCount) + "\n";
}

namespace {

// As first formulated, every record that is not phased is an open locus with
// a state bit, an untyped 0 0 included.
int literalOpenLoci(const Individual& member)
{
    int open = 0;
    for (const GenotypeRecord& g : member.genotypes) open += g.phased ? 0 : 1;
    return open;
}

std::vector<std::pair<int, int>> literalPairs(const Individual& member, int state)
{
    std::vector<std::pair<int, int>> pairs;
    unsigned bits = static_cast<unsigned>(state);
    for (const GenotypeRecord& g : member.genotypes) {
        if (g.phased) {
            pairs.push_back({g.allele1, g.allele2});
            continue;
        }
        int low = std::min(g.allele1, g.allele2);
        int high = std::max(g.allele1, g.allele2);
        pairs.push_back(bits & 1u ? std::make_pair(high, low) : std::make_pair(low, high));
        bits >>= 1;
    }
    return pairs;
}

int literalTransmission(const Pedigree& pedigree, int a, int sa, int b, int sb, int c, int sc)
{
    const Individual& first = *pedigree.member(a);
    bool firstIsFather = first.sex == 1;
    auto father = literalPairs(*pedigree.member(firstIsFather ? a : b), firstIsFather ? sa : sb);
    auto mother = literalPairs(*pedigree.member(firstIsFather ? b : a), firstIsFather ? sb : sa);
    auto child = literalPairs(*pedigree.member(c), sc);
    return sideChanges(child, father, 0) + sideChanges(child, mother, 1);
}

void literalApply(Individual& member, int state)
{
    unsigned bits = static_cast<unsigned>(state);
    for (GenotypeRecord& g : member.genotypes) {
        if (g.phased) continue;
        int low = std::min(g.allele1, g.allele2);
        int high = std::max(g.allele1, g.allele2);
        g.allele1 = bits & 1u ? high : low;
        g.allele2 = bits & 1u ? low : high;
        g.phased = true;
        bits >>= 1;
    }
}

} // namespace

FullRecordingStats runFullRecordingDP(Pedigree& pedigree)
{
    constexpr int impossible = 32767;
    using Combination = std::vector<int>;
    struct State {
        int stateIndex = -1;
        int cost = 0;
        std::vector<Combination> choices;
    };

    PhasingTree tree = buildPhasingTree(pedigree);
    FullRecordingStats stats;
    if (tree.root < 0) {
        countRecombinants(pedigree);
        return stats;
    }
    for (const PhasingTreeNode& node : tree.nodes) {
        int mates = static_cast<int>(std::count(node.downMate.begin(), node.downMate.end(), -1));
        if (node.standIn || mates > 1) throw std::logic_error("not a tree of single-mate nuclear families");
    }
    std::vector<std::vector<State>> states(tree.nodes.size());
    auto cost = [&](int node, int s) { return states[static_cast<std::size_t>(node)][static_cast<std::size_t>(s)].cost; };
    auto count = [&](int node) { return static_cast<int>(states[static_cast<std::size_t>(node)].size()); };
    auto memberOf = [&](int node) { return tree.nodes[static_cast<std::size_t>(node)].memberId; };

    // Every combination taking one element of each list, the first list outermost.
    auto product = [](const std::vector<std::vector<int>>& lists) {
        std::vector<Combination> result{{}};
        for (const auto& list : lists) {
            std::vector<Combination> longer;
            for (const Combination& c : result)
                for (int e : list) {
                    longer.push_back(c);
                    longer.back().push_back(e);
                }
            result.swap(longer);
        }
        return result;
    };
    // The minimum over the child's states and the list of those reaching it.
    auto bestList = [&](int childNode, int a, int sa, int b, int sb, std::vector<int>& list) {
        int minimum = impossible;
        list.clear();
        for (int s = 0; s < count(childNode); ++s) {
            int v = cost(childNode, s) + literalTransmission(pedigree, memberOf(a), sa, memberOf(b), sb, memberOf(childNode), s);
            if (v < minimum) {
                minimum = v;
                list.assign(1, s);
            } else if (v == minimum) {
                list.push_back(s);
            }
        }
        return minimum;
    };

    for (std::size_t i = tree.nodes.size(); i-- > 0;) {
        const PhasingTreeNode& node = tree.nodes[i];
        const int self = static_cast<int>(i);
        std::vector<State>& own = states[i];
        own.assign(std::size_t(1) << literalOpenLoci(*pedigree.member(node.memberId)), State());
        if (node.neighbourCount == 0) {
            for (std::size_t s = 0; s < own.size(); ++s) own[s].stateIndex = static_cast<int>(s);
            continue;
        }
        if (!node.upList.empty()) {
            int p = node.upList[0];
            int q = node.upList[1];
            std::map<std::pair<int, int>, int> table;
            std::map<std::pair<int, int>, std::vector<std::vector<int>>> lists;
            for (int f = 0; f < count(p); ++f)
                for (int m = 0; m < count(q); ++m) {
                    int t = cost(p, f) + cost(q, m);
                    auto& l = lists[{f, m}];
                    for (std::size_t s = 2; s < node.upList.size(); ++s) {
                        l.emplace_back();
                        t += bestList(node.upList[s], p, f, q, m, l.back());
                    }
                    table[{f, m}] = t;
                }
            for (int x = 0; x < count(self); ++x) {
                State& st = own[static_cast<std::size_t>(x)];
                st.stateIndex = x;
                int minimum = impossible;
                for (int f = 0; f < count(p); ++f)
                    for (int m = 0; m < count(q); ++m) {
                        int v = table[{f, m}] + literalTransmission(pedigree, memberOf(p), f, memberOf(q), m, node.memberId, x);
                        std::vector<std::vector<int>> parts{{f}, {m}};
                        for (const auto& l : lists[{f, m}]) parts.push_back(l);
                        if (v < minimum) {
                            minimum = v;
                            st.choices = product(parts);
                        } else if (v == minimum) {
                            for (Combination& c : product(parts)) st.choices.push_back(c);
                        }
                    }
                st.cost = minimum;
            }
        }
        if (!node.downList.empty()) {
            int r = node.downList[0];
            for (int x = 0; x < count(self); ++x) {
                State& st = own[static_cast<std::size_t>(x)];
                if (st.stateIndex == -1) st.stateIndex = x;
                int minimum = impossible;
                std::vector<Combination> down;
                for (int rs = 0; rs < count(r); ++rs) {
                    int v = cost(r, rs);
                    std::vector<std::vector<int>> parts{{rs}};
                    for (std::size_t c = 1; c < node.downList.size(); ++c) {
                        parts.emplace_back();
                        v += bestList(node.downList[c], self, x, r, rs, parts.back());
                    }
                    if (v < minimum) {
                        minimum = v;
                        down = product(parts);
                    } else if (v == minimum) {
                        for (Combination& c : product(parts)) down.push_back(c);
                    }
                }
                st.cost += minimum;
                if (st.choices.empty()) {
                    st.choices = down;
                } else {
                    std::vector<Combination> joined;
                    for (const Combination& up : st.choices)
                        for (const Combination& d : down) {
                            joined.push_back(up);
                            joined.back().insert(joined.back().end(), d.begin(), d.end());
                        }
                    st.choices.swap(joined);
                }
            }
        }
        for (const State& st : own) stats.mostCombinations = std::max(stats.mostCombinations, st.choices.size());
    }

    std::function<void(int, int)> trace = [&](int node, int s) {
        const PhasingTreeNode& n = tree.nodes[static_cast<std::size_t>(node)];
        const State& st = states[static_cast<std::size_t>(node)][static_cast<std::size_t>(s)];
        if (st.choices.empty()) {
            literalApply(*pedigree.member(n.memberId), s);
            return;
        }
        for (const Combination& c : st.choices) {
            literalApply(*pedigree.member(n.memberId), s);
            for (std::size_t u = 0; u < n.upList.size(); ++u) trace(n.upList[u], c[u]);
            for (std::size_t d = 0; d < n.downList.size(); ++d) trace(n.downList[d], c[n.upList.size() + d]);
        }
    };
    int minimum = impossible;
    for (int s = 0; s < count(tree.root); ++s) minimum = std::min(minimum, cost(tree.root, s));
    for (int s = 0; s < count(tree.root); ++s) {
        if (cost(tree.root, s) != minimum) continue;
        ++stats.tiedRootStates;
        trace(tree.root, s);
    }
    countRecombinants(pedigree);
    return stats;
}

} // namespace tavirlen::test
