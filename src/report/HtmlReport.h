#pragma once

#include "pedigree/MarkerMap.h"
#include "pedigree/Pedigree.h"

#include <ostream>
#include <string>
#include <vector>

namespace tavirlen {

// A family's row of the report's table, as the run reports it.
struct ReportFamily {
    std::string status;
    std::string method;
    int recombinants = 0;
    std::string optimal;
    int solution = 0; // 0 when the mode writes one configuration per family
};

// The self-contained HTML page of a run: a table of the families with a link
// to each drawing, and the drawings, folded. Everything (style, SVG) is
// inline; the page loads nothing. A family is drawn when it is added, so the
// report keeps text only and the pedigree may go away afterwards.
class HtmlReport {
public:
    explicit HtmlReport(std::string title = "Tavirlen haplotypes");

    // Draws the family as it is now; returns its entry, whose row the caller
    // may complete once the family's outcome is known.
    std::size_t addFamily(const Pedigree& pedigree, const ReportFamily& family, const MarkerMap* map = nullptr);
    void setRow(std::size_t entry, const ReportFamily& family);
    // A family drawn elsewhere (on another thread), with its drawing.
    void addDrawing(const std::string& family, int members, const ReportFamily& row, std::string drawing);
    // A family that has no drawing (skipped, or without a configuration).
    void addUndrawn(const std::string& family, int members, const ReportFamily& row);
    std::size_t familyCount() const { return entries_.size(); }

    // The whole page; false when the stream failed.
    bool write(std::ostream& out) const;

private:
    struct Entry {
        std::string family;
        int members = 0;
        ReportFamily row;
        std::string drawing; // empty: listed without a drawing
    };
    std::string title_;
    std::vector<Entry> entries_;
};

} // namespace tavirlen
