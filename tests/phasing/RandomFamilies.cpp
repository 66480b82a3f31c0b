#include "RandomFamilies.h"

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
    for (int generation = 1; generation < options.generations && !couples.empty(); ++generation) {
        std::vector<std::pair<std::size_t, std::size_t>> next;
        for (auto [father, mother] : couples) {
            int children = uniform(engine, 1, options.maxChildren);
            for (int c = 0; c < children; ++c) {
                std::size_t kid = child(father, mother);
                if (generation + 1 < options.generations && uniform(engine, 0, 2) == 0) {
                    std::size_t spouse = founder(people[kid].sex == 1 ? 2 : 1);
                    next.push_back(people[kid].sex == 1 ? std::make_pair(kid, spouse) : std::make_pair(spouse, kid));
                }
            }
        }
        couples = next;
    }

    std::ostringstream text;
    for (const Person& p : people) {
        text << familyId << ' ' << p.id << ' ' << p.father << ' ' << p.mother << ' ' << p.sex << " 0 0";
        // The input order of a pair is unordered: shuffle it.
        for (auto [a, b] : p.alleles) {
            if (uniform(engine, 0, 1)) std::swap(a, b);
            text << ' ' << a << ' ' << b;
        }
        text << '\n';
    }
    return text.str();
}

} // namespace tavirlen::test
