// Times mode m on three generated families of 50 loci and prints, for each,
// the seconds, the peak memory, the optimum and the configurations written:
//   - 18 state bits: three founders, five descendants over three generations;
//   - 20 state bits: five founders, five descendants over four generations;
//   - 20 state bits with ties: a couple and six children, the parents
//     homozygous over long stretches in which four children recombine twice
//     each, every recombination position tied over about 20 loci.
// Each family runs in a child process of its own (mode m on a file, as a user
// runs it), so that the peak memory belongs to that family alone.
//
//   memberdp_bench [folder]
// The input and result files go to the folder when one is given (and stay
// there); otherwise to a temporary folder that is removed at the end.

#include "batch/BatchDriver.h"
#include "memberdp/MemberDP.h"
#include "pedigree/Random.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavirlen;

namespace {

constexpr int loci = 50;

struct Member {
    int id, father, mother, sex;
};

// Genotypes dropped through the pedigree (parents listed before children):
// founders draw from four alleles, every meiosis changes haplotype between
// adjacent loci with probability 1/20.
std::string simulatedFamily(int familyId, const std::vector<Member>& members)
{
    std::vector<std::vector<std::pair<int, int>>> g(members.size());
    auto indexOf = [&](int id) {
        for (std::size_t i = 0; i < members.size(); ++i)
            if (members[i].id == id) return i;
        return std::size_t(0);
    };
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        int paternal = tavirlen::rand() % 2, maternal = tavirlen::rand() % 2;
        for (int l = 0; l < loci; ++l) {
            if (m.father == 0) {
                g[i].push_back({1 + tavirlen::rand() % 4, 1 + tavirlen::rand() % 4});
                continue;
            }
            if (tavirlen::rand() % 20 == 0) paternal ^= 1;
            if (tavirlen::rand() % 20 == 0) maternal ^= 1;
            auto f = g[indexOf(m.father)][static_cast<std::size_t>(l)];
            auto mo = g[indexOf(m.mother)][static_cast<std::size_t>(l)];
            g[i].push_back({paternal ? f.second : f.first, maternal ? mo.second : mo.first});
        }
    }
    std::ostringstream text;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        text << familyId << " " << m.id << " " << m.father << " " << m.mother << " " << m.sex << " 0 0";
        for (auto [a, b] : g[i]) text << " " << a << " " << b;
        text << "\n";
    }
    return text.str();
}

std::string eighteenBits()
{
    // Founders 1, 2, 5; children 3, 4, 6 of 1 x 2; grandchildren 7, 8 of 3 x 5.
    return simulatedFamily(18, {{1, 0, 0, 1}, {2, 0, 0, 2}, {3, 1, 2, 1}, {4, 1, 2, 2}, {5, 0, 0, 2},
                                {6, 1, 2, 1}, {7, 3, 5, 1}, {8, 3, 5, 2}});
}

std::string twentyBits()
{
    // Founders 1, 2, 5, 8, 10, each with a child: 3 and 4 of 1 x 2, 6 of
    // 3 x 5, 7 of 8 x 4, 9 of 6 x 10 (four generations).
    return simulatedFamily(20, {{1, 0, 0, 1}, {2, 0, 0, 2}, {3, 1, 2, 1}, {4, 1, 2, 2}, {5, 0, 0, 2},
                                {6, 3, 5, 1}, {8, 0, 0, 1}, {7, 8, 4, 2}, {10, 0, 0, 2}, {9, 6, 10, 1}});
}

std::string tiedPositions()
{
    // The father is (1,2) at loci 0-2, 23-26 and 47-49 and (3,3) elsewhere;
    // the mother is (5,6) at loci 0-7, 28-31 and 49 and (7,7) elsewhere.
    // Children 3 and 4 take the father's second haplotype at loci 23-26 only,
    // children 5 and 6 the mother's second at loci 28-31 only; children 7 and
    // 8 never recombine and fix the parents' phases. Each of the eight
    // recombinations can sit anywhere in an 18- to 21-locus homozygous
    // stretch: about 2.8e10 optimal paths, all with one phase configuration.
    auto fatherHet = [](int l) { return l <= 2 || (l >= 23 && l <= 26) || l >= 47; };
    auto motherHet = [](int l) { return l <= 7 || (l >= 28 && l <= 31) || l == 49; };
    std::ostringstream text;
    for (int m = 1; m <= 8; ++m) {
        text << "2020 " << m << (m <= 2 ? " 0 0 " : " 1 2 ") << (m == 2 ? 2 : 1) << " 0 0";
        for (int l = 0; l < loci; ++l) {
            const bool middle = (l >= 23 && l <= 26) || (l >= 28 && l <= 31);
            int a, b;
            if (m == 1) {
                a = fatherHet(l) ? 1 : 3, b = fatherHet(l) ? 2 : 3;
            } else if (m == 2) {
                a = motherHet(l) ? 5 : 7, b = motherHet(l) ? 6 : 7;
            } else {
                a = !fatherHet(l) ? 3 : ((m == 3 || m == 4) && middle ? 2 : 1);
                b = !motherHet(l) ? 7 : ((m == 5 || m == 6) && middle ? 6 : 5);
            }
            text << " " << a << " " << b;
        }
        text << "\n";
    }
    return text.str();
}

long countLines(const std::string& path)
{
    std::ifstream in(path);
    long n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
}

void runCase(const std::string& name, const std::string& family, const std::string& folder)
{
    const std::string input = folder + "/" + name + ".txt";
    std::ofstream(input) << family;
    std::cout.flush();
    pid_t child = fork();
    if (child == 0) {
        auto start = std::chrono::steady_clock::now();
        int status = runBatch(memberDPMode(), input);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::FILE* timing = std::fopen((input + ".seconds").c_str(), "w");
        if (timing) {
            std::fprintf(timing, "%.3f\n", seconds);
            std::fclose(timing);
        }
        std::_Exit(status);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    double seconds = 0;
    std::ifstream(input + ".seconds") >> seconds;

    const std::string base = input.substr(0, input.size() - 3);
    std::ifstream res(base + "res");
    std::string header, line, optimum = "?";
    std::getline(res, header);
    long configurations = 0;
    while (std::getline(res, line)) {
        ++configurations;
        std::istringstream fields(line);
        std::string id;
        fields >> id >> optimum;
    }
    std::cout << name << ": " << seconds << " s, peak memory " << usage.ru_maxrss / 1024.0 << " MiB, "
              << "optimum " << optimum << " recombinants, " << configurations << " configuration(s), "
              << countLines(base + "out") << " .out lines" << (status == 0 ? "" : ", FAILED") << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    const bool keep = argc > 1;
    if (keep) {
        folder = argv[1];
    } else {
        char pattern[] = "/tmp/memberdp-bench-XXXXXX";
        if (!mkdtemp(pattern)) return 1;
        folder = pattern;
    }
    seedRandom(2024);
    runCase("eighteen-bits", eighteenBits(), folder);
    runCase("twenty-bits", twentyBits(), folder);
    runCase("tied-positions", tiedPositions(), folder);
    if (keep)
        std::cout << "(files in " << folder << ")\n";
    else
        std::filesystem::remove_all(folder);
    return 0;
}
