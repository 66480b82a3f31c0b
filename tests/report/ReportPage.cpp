// Writes the report page of a pedigree file phased by block extension, for
// the browser test: report_page INPUT HEADER_COLUMNS OUTPUT.html
#include "ReportFiles.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: report_page INPUT HEADER_COLUMNS OUTPUT.html\n";
        return 2;
    }
    std::ifstream input(argv[1]);
    if (!input) {
        std::cerr << "cannot open " << argv[1] << "\n";
        return 2;
    }
    tavirlen::HtmlReport report("Haplotypes of " + std::filesystem::path(argv[1]).filename().string());
    tavirlen::test::addPhasedFamilies(input, std::stoi(argv[2]), report);
    std::ofstream out(argv[3]);
    return report.write(out) ? 0 : 1;
}
