#include "RandomFamilies.h"

#include <algorithm>
#include <numeric>
#include <sstream>
#include <utility>
#include <vector>

namespace tavirlen::test {

namespace {

struct Person {
    int id = 0;
    int father = 0;
    int mother = 0;
    int sex = 1;
    std::vector<std::pair<int, int>> alleles; // (paternal, maternal) per locus
};

int uniform(std::mt19937& engine, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(engine);
}

// One haplotype passed on by a parent, switching between the parent's two
// haplotypes with the given probability between neighbouring loci.
std::vector<int> gamete(std::mt19937& engine, const Person& parent, double recombination)
{
    std::bernoulli_distribution change(recombination);
    int source = uniform(engine, 0, 1);
    std::vector<int> haplotype;
    for (std::size_t k = 0; k < parent.alleles.size(); ++k) {
        if (k > 0 && change(engine)) source = 1 - source;
        haplotype.push_back(source == 0 ? parent.alleles[k].first : parent.alleles[k].second);
    }
    return haplotype;
}

// Renames every person with a distinct random id and shuffles the lines.
void shuffle(std::mt19937& engine, std::vector<Person>& people)
{
    std::vector<int> ids(people.size() * 3);
    std::iota(ids.begin(), ids.end(), 1);
    std::shuffle(ids.begin(), ids.end(), engine);
    std::vector<int> rename(people.size() + 1, 0);
    for (std::size_t i = 0; i < people.size(); ++i) rename[static_cast<std::size_t>(people[i].id)] = ids[i];
    for (Person& p : people) {
        p.id = rename[static_cast<std::size_t>(p.id)];
        p.father = rename[static_cast<std::size_t>(p.father)];
        p.mother = rename[static_cast<std::size_t>(p.mother)];
    }
    std::shuffle(people.begin(), people.end(), engine);
}

} // namespace

std::string randomFamilyText(std::mt19937& engine, int familyId, const RandomFamilyOptions& options)
{
    int loci = uniform(engine, options.minLoci, options.maxLoci);
    int nextId = 1;
    std::vector<Person> people;
    auto founder = [&](int sex) {
        Person p;
        p.id = nextId++;
        p.sex = sex;
        for (int k = 0; k < loci; ++k)
            p.alleles.push_back({uniform(engine, 1, options.maxAlleles), uniform(engine, 1, options.maxAlleles)});
        people.push_back(p);
        return people.size() - 1;
    };
    auto child = [&](std::size_t father, std::size_t mother) {
        Person p;
        p.id = nextId++;
        p.father = people[father].id;
        p.mother = people[mother].id;
        p.sex = uniform(engine, 1, 2);
        std::vector<int> paternal = gamete(engine, people[father], options.recombination);
        std::vector<int> maternal = gamete(engine, people[mother], options.recombination);
        for (int k = 0; k < loci; ++k) p.alleles.push_back({paternal[k], maternal[k]});
        people.push_back(p);
        return people.size() - 1;
    };

    std::vector<std::pair<std::size_t, std::size_t>> couples{{founder(1), founder(2)}};
    std::bernoulli_distribution secondMate(options.halfSiblings);
    for (int generation = 1; generation < options.generations && !couples.empty(); ++generation) {
        std::vector<std::pair<std::size_t, std::size_t>> next;
        const std::size_t firstFamilies = couples.size();
        for (std::size_t c = 0; c < couples.size(); ++c) {
            auto [father, mother] = couples[c];
            int children = uniform(engine, std::min(options.minChildren, options.maxChildren), options.maxChildren);
            for (int i = 0; i < children; ++i) {
                std::size_t kid = child(father, mother);
                if (generation + 1 < options.generations && uniform(engine, 0, 2) == 0) {
                    std::size_t spouse = founder(people[kid].sex == 1 ? 2 : 1);
                    next.push_back(people[kid].sex == 1 ? std::make_pair(kid, spouse) : std::make_pair(spouse, kid));
                }
            }
            // A second family of one of the two parents: half-siblings.
            if (c < firstFamilies && options.halfSiblings > 0 && secondMate(engine)) {
                if (uniform(engine, 0, 1))
                    couples.push_back({father, founder(2)});
                else
                    couples.push_back({founder(1), mother});
            }
        }
        couples = next;
    }
    if (options.shuffleIds) shuffle(engine, people);

    std::bernoulli_distribution untyped(options.missing);
    std::bernoulli_distribution halfTyped(options.missing / 10);
    std::ostringstream text;
    for (const Person& p : people) {
        text << familyId << ' ' << p.id << ' ' << p.father << ' ' << p.mother << ' ' << p.sex << " 0";
        if (options.headerColumns > 6) text << " 0";
        // The input order of a pair is unordered: shuffle it.
        for (auto [a, b] : p.alleles) {
            if (uniform(engine, 0, 1)) std::swap(a, b);
            if (options.missing > 0 && untyped(engine))
                a = b = 0;
            else if (options.missing > 0 && halfTyped(engine))
                (uniform(engine, 0, 1) ? a : b) = 0;
            text << ' ' << a << ' ' << b;
        }
        text << '\n';
    }
    return text.str();
}

} // namespace tavirlen::test
