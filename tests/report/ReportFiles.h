#pragma once

#include "report/HtmlReport.h"

#include <istream>

namespace tavirlen::test {

struct ReportTotals {
    int members = 0;
    int recombinants = 0;
};

// Reads a pedigree file, phases every family the batch driver would (three
// members or more, sound) by block extension with the generator seeded to 1,
// and adds each to the report.
ReportTotals addPhasedFamilies(std::istream& input, int headerColumns, HtmlReport& report);

} // namespace tavirlen::test
