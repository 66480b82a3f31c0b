#include "memberdp/RandomFamilies.h"

#include "pedigree/Random.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tavirlen::test {

namespace {

int draw(int below) // 0 .. below - 1
{
    return tavirlen::rand() % below;
}

bool chance(int percent)
{
    return draw(100) < percent;
}

struct Person {
    int id = 0;
    int father = -1; // indexes into the list, -1 for founders
    int mother = -1;
    int sex = 1;
    std::vector<std::pair<int, int>> alleles;
};

} // namespace

std::string randomFamilyText(int familyId, const RandomFamilyOptions& options)
{
    // Shape: k non-founders and f founders (at least one man and one woman
    // when there are children) within the bit budget, mostly as many children
    // as fit.
    const int maxChildren = options.maximumBits >= 5 ? (options.maximumBits - 2) / 3 : 0;
    const int k = chance(85) ? std::max(maxChildren - draw(2), 0) : draw(maxChildren + 1);
    const int minFounders = k > 0 ? 2 : 1;
    const int spare = std::max(0, options.maximumBits - 3 * k - minFounders);
    const int f = minFounders + draw(std::min(spare, 2) + 1);

    std::vector<Person> people(static_cast<std::size_t>(f + k));
    std::vector<int> ids(40);
    for (int i = 0; i < 40; ++i) ids[static_cast<std::size_t>(i)] = i + 1;
    for (int i = 39; i > 0; --i) std::swap(ids[static_cast<std::size_t>(i)], ids[static_cast<std::size_t>(draw(i + 1))]);
    for (std::size_t i = 0; i < people.size(); ++i) {
        Person& p = people[i];
        p.id = ids[i];
        p.sex = i == 0 ? 1 : i == 1 ? 2 : 1 + draw(2);
        if (static_cast<int>(i) < f) continue;
        std::vector<int> men, women;
        for (std::size_t j = 0; j < i; ++j) (people[j].sex == 1 ? men : women).push_back(static_cast<int>(j));
        p.father = men[static_cast<std::size_t>(draw(static_cast<int>(men.size())))];
        p.mother = women[static_cast<std::size_t>(draw(static_cast<int>(women.size())))];
    }

    const int loci = options.minimumLoci + draw(options.maximumLoci - options.minimumLoci + 1);
    std::vector<std::pair<int, int>> sources(people.size());
    for (auto& s : sources) s = {draw(2), draw(2)};
    for (int l = 0; l < loci; ++l) {
        const int alleleCount = 2 + draw(std::max(1, options.maximumAlleles - 1));
        for (std::size_t i = 0; i < people.size(); ++i) {
            Person& p = people[i];
            std::pair<int, int> g;
            if (p.father < 0) {
                auto founderAllele = [&] {
                    if (chance(options.missingPercent)) return 0;
                    if (chance(options.negativePercent)) return -1;
                    return 1 + draw(alleleCount);
                };
                g.first = founderAllele();
                g.second = founderAllele();
            } else {
                if (chance(options.switchPercent)) sources[i].first ^= 1;
                if (chance(options.switchPercent)) sources[i].second ^= 1;
                const auto& fa = people[static_cast<std::size_t>(p.father)].alleles.back();
                const auto& mo = people[static_cast<std::size_t>(p.mother)].alleles.back();
                g = {sources[i].first ? fa.second : fa.first, sources[i].second ? mo.second : mo.first};
            }
            p.alleles.push_back(g);
        }
    }

    std::string text;
    std::vector<std::size_t> order(people.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[static_cast<std::size_t>(draw(static_cast<int>(i)))]);
    for (std::size_t i : order) {
        const Person& p = people[i];
        const int father = p.father < 0 ? 0 : people[static_cast<std::size_t>(p.father)].id;
        const int mother = p.mother < 0 ? 0 : people[static_cast<std::size_t>(p.mother)].id;
        text += std::to_string(familyId) + " " + std::to_string(p.id) + " " + std::to_string(father) + " "
            + std::to_string(mother) + " " + std::to_string(p.sex) + " 0 0";
        for (auto [a, b] : p.alleles) {
            // The input does not say which allele came from whom.
            if (chance(50)) std::swap(a, b);
            if (chance(options.errorPercent)) {
                if (chance(50))
                    a = 0;
                else
                    b = 1 + draw(options.maximumAlleles + 1);
            }
            text += " " + std::to_string(a) + " " + std::to_string(b);
        }
        text += "\n";
    }
    return text;
}

} // namespace tavirlen::test
