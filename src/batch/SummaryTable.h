#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tavirlen {

enum class FamilyStatus { phased, unphased, skipped, tooBig, noSolution, mendel };

const char* statusName(FamilyStatus status);

// One family of the input as the run left it: a row of PREFIX.summary.tsv.
struct FamilyRow {
    std::string familyId;
    int members = 0;
    int loci = 0;
    FamilyStatus status = FamilyStatus::phased;
    std::string reason;
    // A short name for the kind of reason, for the counts at the end of a run.
    std::string reasonKind;
    std::string mode;
    std::string method; // how the family was phased, in words
    std::optional<long long> recombinants;
    std::string optimal = "unknown"; // yes: an exact method proved it; no; unknown
    long long solutionsWritten = 0;
    std::string solutionsInAll;       // a number, "more than N", or empty when not known
    double seconds = 0.0;
};

// The rows of a run, in input order.
class SummaryTable {
public:
    FamilyRow& add(FamilyRow row);
    FamilyRow& at(std::size_t index) { return rows_.at(index); }
    std::size_t size() const { return rows_.size(); }
    const std::vector<FamilyRow>& rows() const { return rows_; }

    static const char* header();
    void write(std::ostream& out) const;

    // The end-of-run line: families read, phased, unphased, skipped by reason,
    // recombinants.
    std::string tally() const;

private:
    std::vector<FamilyRow> rows_;
};

} // namespace tavirlen
