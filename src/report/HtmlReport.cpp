#include "report/HtmlReport.h"

#include "report/PedigreeSvg.h"

#include <utility>

namespace tavirlen {

namespace {

const char* pageStyle = "body{font-family:sans-serif;margin:1.5em;color:#111}"
                        "table{border-collapse:collapse;margin:1em 0}"
                        "th,td{border:1px solid #bbb;padding:.2em .6em;text-align:left}"
                        "th{background:#eee}td.n{text-align:right}"
                        "details{margin:.4em 0;border:1px solid #ccc;border-radius:4px;padding:.3em .6em}"
                        "summary{cursor:pointer;font-weight:bold}"
                        ".fig{overflow:auto;max-height:90vh}"
                        ".legend{display:flex;align-items:center;gap:1.4em;flex-wrap:wrap;font-size:.9em}"
                        ".legend .ped{display:inline-block;vertical-align:middle;margin-right:.3em}"
                        ".usym{fill:#f2f2f2;stroke:#222;stroke-width:1.6;stroke-dasharray:4 3}";

// What the colours, ticks and dashed symbols mean, with small samples.
const char* legend =
    "<div class=\"legend\">"
    "<span><svg class=\"ped\" width=\"26\" height=\"26\"><rect class=\"k0\" x=\"2\" y=\"1\" width=\"10\" height=\"24\"/>"
    "<rect class=\"k1\" x=\"14\" y=\"1\" width=\"10\" height=\"24\"/></svg> paternal and maternal "
    "haplotype; a colour per founder haplotype</span>"
    "<span><svg class=\"ped\" width=\"16\" height=\"26\"><rect class=\"kx\" x=\"3\" y=\"1\" width=\"10\" height=\"24\"/>"
    "</svg> origin undetermined</span>"
    "<span><svg class=\"ped\" width=\"18\" height=\"26\"><rect class=\"k2\" x=\"4\" y=\"1\" width=\"10\" height=\"12\"/>"
    "<rect class=\"k3\" x=\"4\" y=\"13\" width=\"10\" height=\"12\"/><path class=\"xo\" d=\"M1 13h16\"/></svg> "
    "crossover</span>"
    "<span><svg class=\"ped\" width=\"26\" height=\"26\"><rect class=\"usym\" x=\"2\" y=\"2\" width=\"22\" "
    "height=\"22\"/></svg> untyped member</span>"
    "</div>";

} // namespace

HtmlReport::HtmlReport(std::string title) : title_(std::move(title)) {}

std::size_t HtmlReport::addFamily(const Pedigree& pedigree, const ReportFamily& family, const MarkerMap* map)
{
    entries_.push_back({pedigree.familyText(), static_cast<int>(pedigree.members.size()), family,
                        drawPedigreeSvg(pedigree, map)});
    return entries_.size() - 1;
}

void HtmlReport::setRow(std::size_t entry, const ReportFamily& family)
{
    if (entry < entries_.size()) entries_[entry].row = family;
}

void HtmlReport::addDrawing(const std::string& family, int members, const ReportFamily& row, std::string drawing)
{
    entries_.push_back({family, members, row, std::move(drawing)});
}

void HtmlReport::addUndrawn(const std::string& family, int members, const ReportFamily& row)
{
    entries_.push_back({family, members, row, std::string()});
}

bool HtmlReport::write(std::ostream& out) const
{
    bool solutions = false;
    for (const Entry& e : entries_) solutions = solutions || e.row.solution != 0;
    const std::string title = escapeMarkup(title_);

    out << "<!DOCTYPE html>\n<!-- written by tavirlen -->\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << title
        << "</title>\n<style>" << pageStyle << pedigreeSvgStyle() << "</style>\n</head>\n<body>\n<h1>" << title
        << "</h1>\n" << legend << "\n<table>\n<thead><tr><th>Family</th>" << (solutions ? "<th>Solution</th>" : "")
        << "<th>Members</th><th>Status</th><th>Method</th><th>Recombinants</th><th>Optimal</th><th>Drawing</th>"
           "</tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        out << "<tr><td>" << escapeMarkup(e.family) << "</td>";
        if (solutions) out << "<td class=\"n\">" << e.row.solution << "</td>";
        out << "<td class=\"n\">" << e.members << "</td><td>" << escapeMarkup(e.row.status) << "</td><td>"
            << escapeMarkup(e.row.method) << "</td><td class=\"n\">" << e.row.recombinants << "</td><td>"
            << escapeMarkup(e.row.optimal) << "</td><td>";
        if (e.drawing.empty())
            out << "-";
        else
            out << "<a href=\"#f" << i + 1 << "\">drawing</a>";
        out << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n";
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (e.drawing.empty()) continue;
        out << "<details><summary>Family " << escapeMarkup(e.family);
        if (solutions) out << ", solution " << e.row.solution;
        out << ": " << e.members << " members, " << e.row.recombinants
            << (e.row.recombinants == 1 ? " recombinant" : " recombinants") << "</summary>\n<div class=\"fig\" id=\"f"
            << i + 1 << "\">" << e.drawing << "</div></details>\n";
    }
    out << "</body>\n</html>\n";
    out.flush();
    return static_cast<bool>(out);
}

} // namespace tavirlen
