#include "modes/Simulation.h"
#include "modes/Structure.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

using test::fileExists;
using test::readFile;
using test::TempDir;
using test::writeFile;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string firstLines(const std::string& text, std::size_t count)
{
    std::string result;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count && pos < text.size(); ++i) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        result += text.substr(pos, end - pos);
        pos = end;
    }
    return result;
}

// Replicate lines parsed back: family -> id -> (father, mother, loci).
struct Member {
    int father = 0;
    int mother = 0;
    std::vector<std::pair<int, int>> loci;
};
using Replicates = std::map<int, std::map<int, Member>>;

Replicates parseReplicates(const std::string& text)
{
    Replicates replicates;
    for (const std::string& line : lines(text)) {
        std::vector<std::string> fields = splitFields(line);
        Member m;
        m.father = std::stoi(fields.at(2));
        m.mother = std::stoi(fields.at(3));
        for (std::size_t i = 7; i + 1 < fields.size(); i += 2)
            m.loci.push_back({std::stoi(fields[i]), std::stoi(fields[i + 1])});
        replicates[std::stoi(fields.at(0))][std::stoi(fields.at(1))] = m;
    }
    return replicates;
}

int reportedRecombinations(const std::string& summary, int family)
{
    int count = 0;
    std::string prefix = "Family " + std::to_string(family) + " Individual ";
    for (const std::string& line : lines(summary))
        if (line.compare(0, prefix.size(), prefix) == 0) ++count;
    return count;
}

TEST(Simulation, ModeDWritesTheReplicatesReportAndSimWalkFileOfASeededRun)
{
    TempDir dir;
    writeFile("fam.txt", readFile(test::testDataPath("modes/structure.txt")));
    seedRandom(2024);
    ASSERT_EQ(simulateWithRecombination("fam.txt"), 0);

    EXPECT_EQ(readFile("fam-vary--26--summary"),
              readFile(test::testDataPath("modes/structure-seed2024-summary.txt")));
    std::string replicates = readFile("fam-vary--26-2.txt");
    std::string simWalk = readFile("fam-vary--26--SimWalk");
    EXPECT_EQ(firstLines(replicates, 8), readFile(test::testDataPath("modes/structure-seed2024-d-head.txt")));
    EXPECT_EQ(firstLines(simWalk, 76),
              readFile(test::testDataPath("modes/structure-seed2024-simwalk-head.txt")));
    EXPECT_EQ(lines(replicates).size(), 400u);
    // Two format lines, then per replicate a header and 9 lines per member
    // (26 loci, three to a line).
    EXPECT_EQ(lines(simWalk).size(), 2u + 100u * (1u + 4u * 9u));
}

TEST(Simulation, ModeSWritesSixLociWithoutRecombination)
{
    TempDir dir;
    writeFile("fam.txt", readFile(test::testDataPath("modes/structure.txt")));
    seedRandom(2024);
    ASSERT_EQ(simulateWithoutRecombination("fam.txt"), 0);
    EXPECT_EQ(readFile("fam-6-2-0.txt"), readFile(test::testDataPath("modes/structure-seed2024-s.txt")));

    // Every child copies one whole haplotype of each parent.
    for (const auto& [family, members] : parseReplicates(readFile("fam-6-2-0.txt"))) {
        for (const auto& [id, m] : members) {
            if (m.father == 0) continue;
            for (int side = 0; side < 2; ++side) {
                const Member& parent = members.at(side == 0 ? m.father : m.mother);
                bool fromFirst = true;
                bool fromSecond = true;
                for (std::size_t k = 0; k < m.loci.size(); ++k) {
                    int allele = side == 0 ? m.loci[k].first : m.loci[k].second;
                    fromFirst = fromFirst && allele == parent.loci[k].first;
                    fromSecond = fromSecond && allele == parent.loci[k].second;
                }
                EXPECT_TRUE(fromFirst || fromSecond) << "replicate " << family << " individual " << id;
            }
        }
    }
}

TEST(Simulation, SimWalkBlocksMatchTheReplicatesAndTheReportMatchesItsAverage)
{
    TempDir dir;
    writeFile("ped.txt", "1 0 0 1\n2 0 0 2\n3 1 2 1\n4 0 0 1\n5 4 3 2\n6 4 3 1\n7 0 0 2\n");
    seedRandom(99);
    ASSERT_EQ(simulateWithRecombination("ped.txt"), 0);
    Replicates replicates = parseReplicates(readFile("ped-vary--26-2.txt"));
    ASSERT_EQ(replicates.size(), 100u);

    std::vector<std::string> simWalk = lines(readFile("ped-vary--26--SimWalk"));
    std::size_t at = 2;
    for (const auto& [family, members] : replicates) {
        char header[32];
        std::snprintf(header, sizeof header, "%5d  %8d", 7, family);
        ASSERT_EQ(simWalk.at(at++), header);
        for (const auto& [id, m] : members) {
            char ids[32];
            std::snprintf(ids, sizeof ids, "%5d", id);
            EXPECT_EQ(simWalk.at(at).substr(0, 5), ids);
            // Loci start in column 19 on every line, three to a line.
            std::string shown;
            for (int line = 0; line < 9; ++line) shown += simWalk.at(at++).substr(18);
            std::string expected;
            for (const auto& [a, b] : m.loci) {
                char locus[16];
                std::snprintf(locus, sizeof locus, "%3d/%3d ", a, b);
                expected += locus;
            }
            EXPECT_EQ(shown, expected) << "replicate " << family << " member " << id;
        }
    }
    EXPECT_EQ(at, simWalk.size());

    std::string summary = readFile("ped-vary--26--summary");
    int total = 0;
    for (int family = 1; family <= 100; ++family) total += reportedRecombinations(summary, family);
    std::ostringstream average;
    average << static_cast<float>(total * 0.01);
    EXPECT_NE(summary.find("Average number of recombinant per family: " + average.str()), std::string::npos);
    EXPECT_GT(total, 0);
}

TEST(Simulation, AnEmptyFirstLineGivesOneHundredEmptyReplicates)
{
    TempDir dir;
    writeFile("ped.txt", "\n1 0 0 1\n2 0 0 2\n3 1 2 1\n");
    seedRandom(5);
    ASSERT_EQ(simulateWithRecombination("ped.txt"), 0);
    ASSERT_EQ(simulateWithoutRecombination("ped.txt"), 0);
    EXPECT_EQ(readFile("ped-vary--26-2.txt"), "");
    EXPECT_EQ(readFile("ped-6-2-0.txt"), "");
    std::string expected = "(I5,2X,A8)\n(3A5,1X,2A1,(T19,3(A8),:))\n";
    for (int r = 1; r <= 100; ++r) {
        char header[32];
        std::snprintf(header, sizeof header, "%5d  %8d\n", 0, r);
        expected += header;
    }
    EXPECT_EQ(readFile("ped-vary--26--SimWalk"), expected);

    std::vector<std::string> summary = lines(readFile("ped-vary--26--summary"));
    ASSERT_EQ(summary.size(), 27u);
    EXPECT_EQ(summary.front(), "Marker interval recombFrac:");
    for (std::size_t i = 1; i <= 25; ++i) {
        double fraction = std::stod(summary[i]);
        EXPECT_GE(fraction, 0.001);
        EXPECT_LE(fraction, 0.0611);
    }
    EXPECT_EQ(summary.back(), "Average number of recombinant per family: 0");
}

TEST(Simulation, AFounderOnlyPedigreeReportsNoRecombination)
{
    TempDir dir;
    writeFile("ped.txt", "1 0 0 1\n2,0,0,2\n3\t0\t0\t1\n");
    seedRandom(8);
    ASSERT_EQ(simulateWithRecombination("ped.txt"), 0);
    std::string summary = readFile("ped-vary--26--summary");
    EXPECT_EQ(summary.find("Family"), std::string::npos);
    EXPECT_EQ(summary.substr(summary.rfind('\n') + 1), "Average number of recombinant per family: 0");
    EXPECT_EQ(parseReplicates(readFile("ped-vary--26-2.txt")).size(), 100u);
}

TEST(Simulation, ParentsNumberedAboveTheirChildrenAreSimulatedFirst)
{
    TempDir dir;
    // 1 is the child of 5 and 4; 2 the child of 1 and 3.
    writeFile("ped.txt", "5 0 0 1\n4 0 0 2\n1 5 4 1\n3 0 0 2\n2 1 3 2\n");
    seedRandom(11);
    ASSERT_EQ(simulateWithRecombination("ped.txt"), 0);
    std::vector<std::string> first = lines(readFile("ped-vary--26-2.txt"));
    ASSERT_GE(first.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(splitFields(first[static_cast<std::size_t>(i)])[1], std::to_string(i + 1));

    for (const auto& [family, members] : parseReplicates(readFile("ped-vary--26-2.txt"))) {
        for (const auto& [id, m] : members) {
            ASSERT_EQ(m.loci.size(), 26u);
            if (m.father == 0) continue;
            const Member& father = members.at(m.father);
            const Member& mother = members.at(m.mother);
            for (std::size_t k = 0; k < 26; ++k) {
                EXPECT_TRUE(m.loci[k].first == father.loci[k].first || m.loci[k].first == father.loci[k].second);
                EXPECT_TRUE(m.loci[k].second == mother.loci[k].first || m.loci[k].second == mother.loci[k].second);
            }
        }
    }
}

TEST(Simulation, StructuresThatCannotBeSimulatedStopTheRunBeforeAnyFileIsWritten)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1 0 0 1\n3 1 2 1\n", "individual 3 has mother 2, who has no line of her own"},
        {"1 0 0 1\n2 0 0 2\n3 1 0 1\n", "individual 3 has only one parent given"},
        {"1 0 0 1\n2 0 0 2\n3 1 4 1\n4 3 2 2\n", "parent links form a cycle through individual"},
        {"1 0 0 1\n2 0 0\n", "line 2 has 3 fields"},
        {"0 0 0 1\n", "line 1 has individual id 0"},
        {"1 0 0 1\n99999999999 0 0 1\n", "line 2 has a number too large"},
    };
    for (const auto& [structure, message] : cases) {
        TempDir dir;
        writeFile("ped.txt", structure);
        for (const char* option : {"-d", "-s"}) {
            test::RunResult run = test::runTavirlen({option, "ped.txt"});
            EXPECT_EQ(run.status, 1) << structure;
            EXPECT_NE(run.errors.find("Cannot simulate ped.txt: "), std::string::npos) << run.errors;
            EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
        }
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator("."))
            files.push_back(entry.path().filename().string());
        EXPECT_EQ(files, std::vector<std::string>{"ped.txt"}) << structure;
    }
}

TEST(Simulation, FilesThatCannotBeOpenedOrCreatedEndTheRunWithStatusOne)
{
    TempDir dir;
    test::RunResult missing = test::runTavirlen({"-d", "absent.txt", "--seed", "1"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors, "Cannot open input file: absent.txt\n");

    writeFile("ped.txt", "1 0 0 1\n");
    std::filesystem::create_directory("ped-6-2-0.txt");
    test::RunResult blocked = test::runTavirlen({"-s", "ped.txt", "--seed", "1"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.errors, "Cannot create result file: ped-6-2-0.txt (Is a directory)\n");
    std::filesystem::create_directory("ped-vary--26--summary");
    EXPECT_EQ(test::runTavirlen({"-d", "ped.txt"}).status, 1);
}

TEST(Simulation, OutputNamesDropTheExtensionAndKeepShortNamesWhole)
{
    EXPECT_EQ(simulationBaseName("base.xyz"), "base");
    EXPECT_EQ(simulationBaseName("dir/p.txt"), "dir/p");
    EXPECT_EQ(simulationBaseName("a.tx"), "a.tx");
    EXPECT_EQ(simulationBaseName(""), "");

    TempDir dir;
    writeFile("ab", "1 0 0 1\n");
    seedRandom(1);
    ASSERT_EQ(simulateWithoutRecombination("ab"), 0);
    ASSERT_EQ(simulateWithRecombination("ab"), 0);
    EXPECT_TRUE(fileExists("ab-6-2-0.txt"));
    EXPECT_TRUE(fileExists("ab-vary--26-2.txt"));
    EXPECT_TRUE(fileExists("ab-vary--26--summary"));
    EXPECT_TRUE(fileExists("ab-vary--26--SimWalk"));
}

TEST(Simulation, ARepeatedIdKeepsItsLastLineAndIsCountedOnce)
{
    std::istringstream input("1 0 0 1\n2 0 0 2\n3 1 2 1\n3 2 1 2\n\n4 0 0 1\n");
    Pedigree pedigree(0);
    EXPECT_FALSE(readStructure(pedigree, input));
    EXPECT_EQ(pedigree.memberCount, 3);
    EXPECT_EQ(pedigree.founderCount, 2);
    EXPECT_EQ(pedigree.member(3)->fatherId, 2);
    EXPECT_EQ(pedigree.member(4), nullptr);
}

} // namespace
} // namespace tavirlen
