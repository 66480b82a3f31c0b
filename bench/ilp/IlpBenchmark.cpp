// Runs mode i on 100 simulated families of 10 to 15 members over 20 loci
// (gene dropping with recombination, 6 alleles per locus, 5% untyped
// genotypes) and prints the total and the per-family time in seconds.
//
//   ilp_bench [folder]   (default: a fresh folder under the system temp dir)
#include "ilp/IlpDriver.h"
#include "pedigree/Random.h"

#include <array>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

// A draw from the program's own generator, so the data set is fixed by the seed.
int draw() { return tavirlen::rand(); }

constexpr int familyCount = 100;
constexpr int lociCount = 20;
constexpr int alleleCount = 6;

struct Member {
    int id;
    int father;
    int mother;
    std::vector<std::array<int, 2>> haplotypes;
};

Member founder(int id)
{
    Member m{id, 0, 0, {}};
    for (int l = 0; l < lociCount; ++l) m.haplotypes.push_back({1 + draw() % alleleCount, 1 + draw() % alleleCount});
    return m;
}

Member child(int id, const Member& father, const Member& mother)
{
    Member m{id, father.id, mother.id, {}};
    std::array<int, 2> source{draw() % 2, draw() % 2};
    for (int l = 0; l < lociCount; ++l) {
        std::array<int, 2> pair{};
        for (int side = 0; side < 2; ++side) {
            auto s = static_cast<std::size_t>(side);
            if (draw() % 100 < 5) source[s] ^= 1; // about one recombination per 20 intervals
            const Member& parent = side == 0 ? father : mother;
            pair[s] = parent.haplotypes[static_cast<std::size_t>(l)][static_cast<std::size_t>(source[s])];
        }
        m.haplotypes.push_back(pair);
    }
    return m;
}

// Two founders and their children; then children marry in founders and have
// children of their own until the family has its size.
std::vector<Member> family(int size)
{
    std::vector<Member> members{founder(1), founder(2)};
    int nextId = 3;
    int children = 3 + draw() % 3;
    for (int c = 0; c < children && static_cast<int>(members.size()) < size; ++c)
        members.push_back(child(nextId++, members[0], members[1]));
    std::size_t parentIndex = 2;
    while (static_cast<int>(members.size()) < size) {
        // A founder who marries in always has a child: a founder without
        // children has a phase no data can tell, which only multiplies the
        // equally good solutions.
        if (size - static_cast<int>(members.size()) < 2 || parentIndex >= members.size()) {
            members.push_back(child(nextId++, members[0], members[1]));
            continue;
        }
        // Odd ids are men and even ids women, so nobody is a father in one
        // marriage and a mother in another.
        Member parent = members[parentIndex++];
        bool parentIsFather = parent.id % 2 == 1;
        if ((nextId % 2 == 1) == parentIsFather) ++nextId;
        members.push_back(founder(nextId++));
        Member mate = members.back();
        int grandchildren = 1 + draw() % 3;
        for (int g = 0; g < grandchildren && static_cast<int>(members.size()) < size; ++g)
            members.push_back(parentIsFather ? child(nextId++, parent, mate) : child(nextId++, mate, parent));
    }
    return members;
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tavirlen-ilp-bench";
    fs::create_directories(folder);
    fs::current_path(folder);

    tavirlen::seedRandom(2024);
    std::ofstream input("bench.txt");
    int members = 0;
    for (int f = 1; f <= familyCount; ++f) {
        int size = 10 + draw() % 6;
        for (const Member& m : family(size)) {
            input << f << " " << m.id << " " << m.father << " " << m.mother << " " << (m.id % 2 ? 1 : 2) << " 0 0";
            for (const auto& pair : m.haplotypes) {
                bool untyped = draw() % 100 < 5;
                bool swap = draw() % 2 == 0;
                input << " " << (untyped ? 0 : pair[swap ? 1 : 0]) << " " << (untyped ? 0 : pair[swap ? 0 : 1]);
            }
            input << "\n";
            ++members;
        }
    }
    input.close();

    std::ostringstream quiet;
    std::streambuf* previous = std::cout.rdbuf(quiet.rdbuf());
    auto start = std::chrono::steady_clock::now();
    int status = tavirlen::runBatch(tavirlen::ilpMode(), "bench.txt");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout.rdbuf(previous);

    std::ifstream res("bench.res");
    std::string line;
    int written = 0;
    while (std::getline(res, line))
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) ++written;
    std::cout << "mode i: " << familyCount << " families, " << members << " members, " << lociCount
              << " loci (folder " << folder.string() << ")\n"
              << "status " << status << ", " << written << " result lines in bench.res\n"
              << "total seconds: " << seconds << "\n"
              << "seconds per family: " << seconds / familyCount << "\n";
    return status;
}
