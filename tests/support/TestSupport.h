#pragma once

#include "pedigree/Pedigree.h"

#include <memory>
#include <string>
#include <vector>

namespace tavirlen::test {

// Every family of a literal text in the input layout, as the reader yields them.
std::vector<std::unique_ptr<Pedigree>> readFamilies(const std::string& lines, int headerColumns = 7);

// The first family of a literal text; finalised and prepared when asked.
std::unique_ptr<Pedigree> readFamily(const std::string& lines, int headerColumns = 7, bool prepared = true);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);

// Replaces the time columns of .res text (the last "\t " field of a family
// line and the total-time value) with "<time>" so whole files can be compared.
std::string maskTimes(const std::string& text);

// Runs the program in-process as `tavirlen args...`; returns the exit status
// and leaves what it printed in `output` (standard output) and `errors`.
struct RunResult {
    int status = 0;
    std::string output;
    std::string errors;
};
RunResult runTavirlen(const std::vector<std::string>& args);

// A fresh folder that becomes the working directory for the object's
// lifetime; removed with its contents afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Small random families in the seven-column layout: two founders with one
// to four children, sometimes a grandchild by a married-in founder; two or
// three alleles, a switch of source now and then, about one allele in twelve
// missing.
std::string randomFamilies(unsigned seed, int families);

// Folder of the shared fixtures (tests/data).
std::string testDataPath(const std::string& relative);

} // namespace tavirlen::test
