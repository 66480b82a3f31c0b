// Mode b and t on files of realistic size: thousands of generated families
// with missing data, and the public pedigree files in the shared folder.
#include "RandomFamilies.h"

#include "phasing/BlockExtensionMode.h"
#include "pedigree/Random.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace tavirlen {
namespace {

int countLines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Family lines of a .res file: "<id>\t <count>\t <time>".
int familyLines(const std::string& res)
{
    std::istringstream in(res);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) && line.find("\t ") != std::string::npos)
            ++count;
    return count;
}

TEST(BlockExtensionWholeFile, ThreeThousandFamiliesWithMissingDataRunToTheEnd)
{
    std::mt19937 engine(31);
    std::uniform_real_distribution<double> chance(0, 1);
    test::RandomFamilyOptions options{6, 14, 6, 4, 3, 0.1};
    std::string text;
    int members = 0;
    for (int family = 1; family <= 3000; ++family) {
        std::istringstream lines(test::randomFamilyText(engine, family, options));
        for (std::string line; std::getline(lines, line);) {
            // Untype one member in ten and one allele pair in twenty.
            std::istringstream fields(line);
            bool untyped = chance(engine) < 0.1;
            std::string field;
            for (int i = 0; fields >> field; ++i) {
                if (i >= 7 && i % 2 == 1 && (untyped || chance(engine) < 0.05)) {
                    std::string second;
                    fields >> second;
                    field = "0 0";
                    ++i;
                }
                text += (i ? " " : "") + field;
            }
            text += "\n";
            ++members;
        }
    }
    test::TempDir dir;
    test::writeFile("many.txt", text);
    testing::internal::CaptureStdout();
    seedRandom(31);
    int status = runBatch(blockExtensionMode(7), "many.txt");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(familyLines(test::readFile("many.res")), 3000);
    EXPECT_EQ(countLines(test::readFile("many.out")), members);
    EXPECT_EQ(countLines(test::readFile("many.dat")), 13 * members);
}

TEST(BlockExtensionWholeFile, PublicPedigreeFilesRunInModeT)
{
    const std::filesystem::path folder(TAVIRLEN_REALDATA);
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no folder " << folder;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".md") continue;
        SCOPED_TRACE(entry.path().filename().string());
        test::TempDir dir;
        // Named so that no result file takes the input's own name.
        std::string input = entry.path().filename().string() + ".txt";
        test::writeFile(input, test::readFile(entry.path().string()));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        seedRandom(1);
        int status = runBatch(blockExtensionMode(6), input);
        std::string printed = testing::internal::GetCapturedStdout();
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 0);
        // One file has a family whose lines are not together; that is said.
        if (errors.find(" separate places of the file;") == std::string::npos) {
            EXPECT_EQ(errors, "");
        }
        std::string res = test::readFile(resultFileName(input, "res"));
        EXPECT_NE(res.find("Total Time used(Sec):\t"), std::string::npos);
        EXPECT_NE(res.find("Locus #\tAllele1\tFre\tAllele2\tFre\t...\tHeterozygousity\n"), std::string::npos);
        ++files;
    }
    EXPECT_GT(files, 0);
}

} // namespace
} // namespace tavirlen
