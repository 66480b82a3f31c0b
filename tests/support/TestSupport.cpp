#include "support/TestSupport.h"

#include "app/CommandLine.h"
#include "pedigree/PedigreeReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tavirlen::test {

std::vector<std::unique_ptr<Pedigree>> readFamilies(const std::string& lines, int headerColumns)
{
    std::istringstream input(lines);
    PedigreeReader reader(input, headerColumns);
    std::vector<std::unique_ptr<Pedigree>> families;
    while (auto pedigree = reader.next()) {
        pedigree->memberCount = static_cast<int>(pedigree->members.size());
        families.push_back(std::move(pedigree));
    }
    return families;
}

std::unique_ptr<Pedigree> readFamily(const std::string& lines, int headerColumns, bool prepared)
{
    auto families = readFamilies(lines, headerColumns);
    if (families.empty()) return nullptr;
    std::unique_ptr<Pedigree> pedigree = std::move(families.front());
    if (prepared) {
        pedigree->finalise();
        pedigree->prepare();
    }
    return pedigree;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool fileExists(const std::string& path)
{
    return std::filesystem::exists(path);
}

std::string maskTimes(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::string masked;
    const std::string total = "Total Time used(Sec):\t";
    while (std::getline(in, line)) {
        if (line.compare(0, total.size(), total) == 0) {
            line = total + "<time>";
        } else {
            std::size_t cut = line.rfind("\t ");
            bool numeric = cut != std::string::npos && cut + 2 < line.size()
                && line.find_first_not_of("0123456789.e+-", cut + 2) == std::string::npos;
            // Family lines carry two "\t " fields; only the last one is a time.
            if (numeric && line.find("\t ") != cut) line = line.substr(0, cut) + "\t <time>";
        }
        masked += line;
        if (!in.eof()) masked += "\n";
    }
    return masked;
}

RunResult runTavirlen(const std::vector<std::string>& args)
{
    std::vector<const char*> argv{"tavirlen"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    RunResult result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.status = runCommandLine(static_cast<int>(argv.size()), argv.data());
    result.output = testing::internal::GetCapturedStdout();
    result.errors = testing::internal::GetCapturedStderr();
    return result;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tavirlen-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = buffer.data();
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

TempDir::~TempDir()
{
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string randomFamilies(unsigned seed, int families)
{
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::ostringstream text;
    for (int f = 1; f <= families; ++f) {
        const int loci = 3 + pick(5);
        const int alleles = 2 + pick(2);
        std::map<int, std::vector<int>> genotypes; // id -> two alleles per locus
        std::map<int, std::pair<int, int>> parents;
        auto founder = [&](int id) {
            for (int l = 0; l < 2 * loci; ++l) genotypes[id].push_back(1 + pick(alleles));
            parents[id] = {0, 0};
        };
        auto child = [&](int id, int father, int mother) {
            int sides[2] = {pick(2), pick(2)};
            for (int l = 0; l < loci; ++l) {
                for (int s = 0; s < 2; ++s) {
                    if (pick(6) == 0) sides[s] = 1 - sides[s];
                    genotypes[id].push_back(genotypes[s == 0 ? father : mother][static_cast<std::size_t>(2 * l + sides[s])]);
                }
            }
            parents[id] = {father, mother};
        };
        founder(1);
        founder(2);
        const int children = 1 + pick(4);
        for (int c = 0; c < children; ++c) child(3 + c, 1, 2);
        if (pick(2) == 1) {
            founder(20);
            child(21, 3, 20);
        }
        for (const auto& [id, g] : genotypes) {
            text << f << " " << id << " " << parents[id].first << " " << parents[id].second << " "
                 << (id == 1 || id == 3 ? 1 : 2) << " 0 0";
            for (int a : g) text << " " << (pick(12) == 0 ? 0 : a);
            text << "\n";
        }
    }
    return text.str();
}

std::string testDataPath(const std::string& relative)
{
    return std::string(TAVIRLEN_TEST_DATA) + "/" + relative;
}

} // namespace tavirlen::test
