#include "ReportFiles.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"

namespace tavirlen::test {

ReportTotals addPhasedFamilies(std::istream& input, int headerColumns, HtmlReport& report)
{
    seedRandom(1);
    PedigreeReader reader(input, headerColumns);
    DatasetSummary summary;
    ReportTotals totals;
    while (auto pedigree = reader.next()) {
        pedigree->memberCount = static_cast<int>(pedigree->members.size());
        if (pedigree->memberCount < 3 || checkFamily(*pedigree)) continue;
        pedigree->finalise();
        pedigree->prepare();
        Pedigree& p = summary.addPedigree(std::move(pedigree));
        bool phased = runBlockExtension(p);
        report.addFamily(p, {phased ? "phased" : "Mendelian inconsistency", "block extension", p.recombinantCount, "-", 0});
        totals.members += p.memberCount;
        totals.recombinants += p.recombinantCount;
    }
    return totals;
}

} // namespace tavirlen::test
