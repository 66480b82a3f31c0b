// Modes e, d and s on real public pedigree files, rearranged into the
// layouts these modes read. Skipped where the files are not present.
#include "modes/Simulation.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace tavirlen {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

std::string realData(const std::string& name)
{
    return std::string(TAVIRLEN_REALDATA) + "/" + name;
}

// The lines of a six-column pedigree file as fields (family, id, father,
// mother, sex, affection, alleles...).
std::vector<std::vector<std::string>> pedigreeLines(const std::string& name)
{
    std::vector<std::vector<std::string>> result;
    std::istringstream in(readFile(realData(name)));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields = splitFields(line, " \t\r");
        if (!fields.empty()) result.push_back(fields);
    }
    return result;
}

// The screening layout: a header, then id, father, mother, three ignored
// fields (sex, affection, 0) and the alleles.
std::string screeningLayout(const std::vector<std::vector<std::string>>& lines)
{
    std::string text = "id\tfather\tmother\tsex\taffection\tnone\talleles\n";
    for (const auto& f : lines) {
        text += f[1] + "\t" + f[2] + "\t" + f[3] + "\t" + f[4] + "\t" + f[5] + "\t0\t";
        for (std::size_t i = 6; i < f.size(); ++i) text += f[i] + (i + 1 < f.size() ? " " : "\n");
    }
    return text;
}

std::size_t countOf(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

const char* const cleanFiles[] = {
    "raysas__NGS-report__fam.txt",            // 5 generations, CRLF, many untyped
    "MathematicalMedicine__kelvin__pedfile.pre", // an inbreeding loop
    "MathematicalMedicine__kelvin__chr5.pre",    // 494 families, 9-digit ids
    "MathematicalMedicine__kelvin__kelvin.ped",  // parents listed after children
};

TEST(RealData, CleanFilesGiveNoReportAndAnInjectedAlleleIsReportedOnce)
{
    if (!std::filesystem::exists(TAVIRLEN_REALDATA)) GTEST_SKIP() << "no real data folder";
    for (const char* name : cleanFiles) {
        TempDir dir;
        auto lines = pedigreeLines(name);
        ASSERT_FALSE(lines.empty()) << name;
        writeFile("in.txt", screeningLayout(lines));
        test::RunResult run = test::runTavirlen({"-e", "in.txt"});
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(countOf(run.output, " is likely "), 0u) << name << "\n" << run.output;
        EXPECT_EQ(countOf(readFile("in.mrh"), "\n") * 13, countOf(readFile("in.inb"), "\n")) << name;

        // Give the first child typed at locus 1 whose parents are typed
        // there an allele nobody carries.
        std::map<std::string, const std::vector<std::string>*> byId;
        for (const auto& f : lines) byId[f[1]] = &f;
        auto typed = [](const std::vector<std::string>& f) { return f[6] != "0" && f[7] != "0"; };
        for (auto& f : lines) {
            if (f[2] == "0" || !byId.count(f[2]) || !byId.count(f[3])) continue;
            if (!typed(f) || !typed(*byId[f[2]]) || !typed(*byId[f[3]])) continue;
            f[6] = "99";
            writeFile("in.txt", screeningLayout(lines));
            run = test::runTavirlen({"-e", "in.txt"});
            EXPECT_EQ(countOf(run.output, " is likely "), 1u) << name << "\n" << run.output;
            EXPECT_EQ(countOf(run.output, " individual: " + f[1] + " at locus 1 allele 99 is likely an error\n"), 1u)
                << name;
            break;
        }
    }
}

TEST(RealData, APedigreeWithParentsListedAfterTheirChildrenIsSimulated)
{
    if (!std::filesystem::exists(TAVIRLEN_REALDATA)) GTEST_SKIP() << "no real data folder";
    TempDir dir;
    std::string structure;
    for (const auto& f : pedigreeLines("MathematicalMedicine__kelvin__kelvin.ped"))
        structure += f[1] + " " + f[2] + " " + f[3] + " " + f[4] + "\n";
    writeFile("ped.txt", structure);
    seedRandom(3);
    ASSERT_EQ(simulateWithRecombination("ped.txt"), 0);
    ASSERT_EQ(simulateWithoutRecombination("ped.txt"), 0);
    for (const char* output : {"ped-vary--26-2.txt", "ped-6-2-0.txt"}) {
        // Read back as families: every child's alleles fit its parents.
        auto families = test::readFamilies(readFile(output));
        ASSERT_EQ(families.size(), 100u);
        for (auto& family : families) {
            ASSERT_EQ(family->members.size(), 20u);
            family->finalise();
            family->prepare();
            testing::internal::CaptureStdout();
            EXPECT_TRUE(family->checkMendel()) << output << " replicate " << family->familyId;
            testing::internal::GetCapturedStdout();
        }
    }
}

} // namespace
} // namespace tavirlen
