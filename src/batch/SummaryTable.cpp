#include "batch/SummaryTable.h"

#include "pedigree/TextLine.h"

#include <map>
#include <sstream>

namespace tavirlen {

const char* statusName(FamilyStatus status)
{
    switch (status) {
    case FamilyStatus::phased: return "phased";
    case FamilyStatus::unphased: return "unphased";
    case FamilyStatus::skipped: return "skipped";
    case FamilyStatus::tooBig: return "too-big";
    case FamilyStatus::noSolution: return "no-solution";
    case FamilyStatus::mendel: return "mendel";
    }
    return "unknown";
}

FamilyRow& SummaryTable::add(FamilyRow row)
{
    rows_.push_back(std::move(row));
    return rows_.back();
}

const char* SummaryTable::header()
{
    return "family\tmembers\tloci\tstatus\treason\tmode\tmethod\trecombinants\toptimal\tsolutions_written\t"
           "solutions_in_all\tseconds";
}

void SummaryTable::write(std::ostream& out) const
{
    // A line per family, formatted in memory as the stream would write it (a
    // stream insertion per field cost more than the rest of the table) and
    // written a block at a time.
    const int precision = static_cast<int>(out.precision());
    std::string text = header();
    text += '\n';
    for (const FamilyRow& row : rows_) {
        auto field = [&text](const std::string& value) {
            text += value;
            text += '\t';
        };
        field(row.familyId);
        appendNumber(text, row.members);
        text += '\t';
        appendNumber(text, row.loci);
        text += '\t';
        field(statusName(row.status));
        field(row.reason);
        field(row.mode);
        field(row.method);
        if (row.recombinants) appendNumber(text, *row.recombinants);
        text += '\t';
        field(row.optimal);
        appendNumber(text, row.solutionsWritten);
        text += '\t';
        field(row.solutionsInAll);
        appendGeneral(text, row.seconds, precision);
        text += '\n';
        writeText(out, text, textBlock);
    }
    writeText(out, text);
}

std::string SummaryTable::tally() const
{
    std::map<FamilyStatus, long long> counts;
    std::map<std::string, long long> skipped;
    long long recombinants = 0;
    for (const FamilyRow& row : rows_) {
        ++counts[row.status];
        if (row.status == FamilyStatus::skipped) ++skipped[row.reasonKind.empty() ? "other" : row.reasonKind];
        if (row.status == FamilyStatus::phased && row.recombinants) recombinants += *row.recombinants;
    }
    std::ostringstream line;
    line << rows_.size() << (rows_.size() == 1 ? " family" : " families") << " read: "
         << counts[FamilyStatus::phased] << " phased";
    for (FamilyStatus status : {FamilyStatus::unphased, FamilyStatus::mendel, FamilyStatus::tooBig,
                                FamilyStatus::noSolution})
        if (counts[status] > 0) line << ", " << counts[status] << " " << statusName(status);
    line << ", " << counts[FamilyStatus::skipped] << " skipped";
    if (!skipped.empty()) {
        line << " (";
        const char* separator = "";
        for (const auto& [kind, count] : skipped) {
            line << separator << count << " " << kind;
            separator = ", ";
        }
        line << ")";
    }
    line << "; " << recombinants << " recombinants";
    return line.str();
}

} // namespace tavirlen
