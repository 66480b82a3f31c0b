#include "batch/ResultFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tavirlen {
namespace {

using test::fileExists;
using test::readFile;
using test::runTavirlen;
using test::writeFile;

const std::string trio = "1 1 0 0 1 0 0 1 2\n1 2 0 0 2 0 0 1 1\n1 3 1 2 1 0 0 1 1\n";

TEST(ResultFiles, OutNamesEveryResultFile)
{
    test::TempDir dir;
    writeFile("fam.txt", trio);
    writeFile("structure.txt", "1 0 0 1\n2 0 0 2\n3 1 2 1\n");
    for (const char* mode : {"-b", "-n", "-s"})
        ASSERT_EQ(runTavirlen({mode, mode[1] == 's' ? "structure.txt" : "fam.txt", "--out", "p", "--seed", "1"}).status, 0);
    for (const char* name : {"p.dat", "p.res", "p.out", "p.summary.tsv", "p.crossovers.tsv", "p-m5.txt", "p-m20.txt", "p-6-2-0.txt"})
        EXPECT_TRUE(fileExists(name)) << name;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left.size(), 12u) << "only the inputs and the results, no temporary file";
    EXPECT_FALSE(fileExists("fam.dat") || fileExists("fam.txt-m5.txt"));
}

// A LINKAGE pair: ped.pre with its locus description ped.dat beside it.
TEST(ResultFiles, NeverReplaceAFileTheToolDidNotWrite)
{
    test::TempDir dir;
    const std::string locusFile = "1 0 0 5  << NO. OF LOCI, RISK LOCUS, SEXLINKED (IF 1) PROGRAM\n0 0.0 0.0 0\n";
    writeFile("ped.pre", "1 1 0 0 1 1 1 2\n1 2 0 0 2 1 1 1\n1 3 1 2 1 1 1 1\n");
    writeFile("ped.dat", locusFile);
    test::RunResult refused = runTavirlen({"-t", "ped.pre", "--seed", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.errors, "Result file ped.dat exists and was not written by tavirlen; choose another "
                              "name with --out PREFIX, or pass --force\n");
    EXPECT_EQ(readFile("ped.dat"), locusFile);
    EXPECT_FALSE(fileExists("ped.res") || fileExists("ped.out") || fileExists("ped.summary.tsv"));

    // Earlier results of every layout are replaced without a word.
    for (const char* mode : {"-t", "-c", "-l", "-m", "-i", "-n"}) {
        ASSERT_EQ(runTavirlen({mode, "ped.pre", "--out", "r", "--quiet", "--seed", "1"}).status, 0) << mode;
        ASSERT_EQ(runTavirlen({mode, "ped.pre", "--out", "r", "--quiet", "--seed", "1"}).status, 0) << mode;
    }
    writeFile("structure.txt", "1 0 0 1\n2 0 0 2\n3 1 2 1\n");
    writeFile("screen.txt", "header\n1\t0\t0\t0\t0\t0\t1 2\n2\t1\t0\t0\t0\t0\t1 1\n");
    for (const char* mode : {"-d", "-s", "-e"}) {
        const char* input = mode[1] == 'e' ? "screen.txt" : "structure.txt";
        ASSERT_EQ(runTavirlen({mode, input, "--out", "r", "--quiet", "--seed", "1"}).status, 0) << mode;
        ASSERT_EQ(runTavirlen({mode, input, "--out", "r", "--quiet", "--seed", "1"}).status, 0) << mode;
    }

    EXPECT_EQ(runTavirlen({"-t", "ped.pre", "--force", "--quiet"}).status, 0);
    EXPECT_NE(readFile("ped.dat"), locusFile);
}

TEST(OutputFile, AResultNameChangesOnlyWhenTheFileIsComplete)
{
    test::TempDir dir;
    writeFile("r.res", "earlier");
    writeFile(OutputFile::temporaryName("r.res"), "stale partial file of a killed run");
    {
        OutputFile file;
        ASSERT_FALSE(file.open("r.res"));
        file.stream() << "new";
        EXPECT_EQ(readFile("r.res"), "earlier");
        // Dropped without commit: the earlier result stays, nothing else is left.
    }
    EXPECT_EQ(readFile("r.res"), "earlier");
    EXPECT_FALSE(fileExists(OutputFile::temporaryName("r.res")));
    OutputFile file;
    ASSERT_FALSE(file.open("r.res", true));
    std::fprintf(file.file(), " and");
    file.stream() << " new";
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(readFile("r.res"), "earlier and new");
}

} // namespace
} // namespace tavirlen
