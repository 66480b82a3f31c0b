// Draws the report page of a pedigree file phased by block extension and
// prints its size and the time the drawing took:
//   report_bench INPUT HEADER_COLUMNS OUTPUT.html
// (chr5.pre of the real data: 494 families of 2 to 9 members, 22 loci).
#include "pedigree/DatasetSummary.h"
#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "report/HtmlReport.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    using namespace tavirlen;
    if (argc != 4) {
        std::cerr << "usage: report_bench INPUT HEADER_COLUMNS OUTPUT.html\n";
        return 2;
    }
    std::ifstream input(argv[1]);
    if (!input) {
        std::cerr << "cannot open " << argv[1] << "\n";
        return 2;
    }
    seedRandom(1);
    PedigreeReader reader(input, std::stoi(argv[2]));
    DatasetSummary summary;
    HtmlReport report;
    double drawing = 0;
    int members = 0;
    while (auto pedigree = reader.next()) {
        pedigree->memberCount = static_cast<int>(pedigree->members.size());
        if (pedigree->memberCount < 3 || checkFamily(*pedigree)) continue;
        pedigree->finalise();
        pedigree->prepare();
        Pedigree& p = summary.addPedigree(std::move(pedigree));
        runBlockExtension(p);
        auto start = std::chrono::steady_clock::now();
        report.addFamily(p, {"phased", "block extension", p.recombinantCount, "-", 0});
        drawing += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        members += p.memberCount;
    }
    auto start = std::chrono::steady_clock::now();
    std::ofstream out(argv[3], std::ios::binary);
    if (!report.write(out)) return 1;
    out.close();
    drawing += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream written(argv[3], std::ios::binary | std::ios::ate);
    std::cout << "families " << report.familyCount() << ", members " << members << ", page "
              << written.tellg() << " bytes, drawn and written in " << drawing << " s\n";
    return 0;
}
