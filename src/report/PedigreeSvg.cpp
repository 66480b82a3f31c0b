#include "report/PedigreeSvg.h"

#include "report/FounderHaplotypes.h"
#include "report/PedigreeLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace tavirlen {

namespace {

constexpr int paletteSize = 16;
constexpr double symbolSize = 28;
constexpr double barWidth = 10;
constexpr double barGap = 4;
constexpr double textGap = 3;
constexpr double labelledBand = 12;
constexpr double denseBars = 480; // total bar height beyond maxLabelledLoci
constexpr double barsTop = symbolSize + 18;
constexpr double alleleCharWidth = 6.1; // 10px monospace
constexpr double idCharWidth = 6.7;     // 11px monospace
constexpr std::size_t markerNameChars = 20;

// Coordinates with at most two decimals, without trailing zeros.
std::string num(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", std::round(value * 100) / 100);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

bool untyped(const Individual& m)
{
    return !m.genotypes.empty() && m.missingAlleleCount >= 2 * static_cast<int>(m.genotypes.size());
}

struct BarGeometry {
    int loci = 0;
    double band = labelledBand;
    bool labelled = true;
    double y(int locus) const { return barsTop + locus * band; }
};

void drawSymbol(std::string& svg, const Individual& m, double width)
{
    const double c = width / 2, r = symbolSize / 2;
    if (m.sex == 1) {
        svg += "<rect class=\"sym\" x=\"" + num(c - r) + "\" y=\"0\" width=\"" + num(symbolSize) + "\" height=\""
            + num(symbolSize) + "\"/>";
    } else if (m.sex == 2) {
        svg += "<circle class=\"sym\" cx=\"" + num(c) + "\" cy=\"" + num(r) + "\" r=\"" + num(r) + "\"/>";
    } else {
        svg += "<polygon class=\"sym\" points=\"" + num(c) + ",0 " + num(c + r) + "," + num(r) + " " + num(c) + ","
            + num(symbolSize) + " " + num(c - r) + "," + num(r) + "\"/>";
    }
}

// The loci of one bar as runs of one founder haplotype each.
void drawRuns(std::string& svg, double x, const std::vector<int>& haplotypes, const BarGeometry& bars)
{
    for (int start = 0; start < bars.loci;) {
        int end = start;
        int h = haplotypes[start];
        while (end < bars.loci && haplotypes[end] == h) ++end;
        std::string colour = h < 0 ? "kx" : "k" + std::to_string(h % paletteSize);
        double top = std::round(bars.y(start) * 100) / 100;
        svg += "<rect class=\"" + colour + "\" x=\"" + num(x) + "\" y=\"" + num(top) + "\" width=\"" + num(barWidth)
            + "\" height=\"" + num(bars.y(end) - top) + "\"/>";
        start = end;
    }
}

// The outline of a bar, and a tick where the member's source changes.
void drawOutline(std::string& svg, double x, const std::vector<int>& crossovers, const BarGeometry& bars)
{
    svg += "<rect class=\"b\" x=\"" + num(x) + "\" y=\"" + num(barsTop) + "\" width=\"" + num(barWidth) + "\" height=\""
        + num(bars.y(bars.loci) - barsTop) + "\"/>";
    for (int k : crossovers)
        svg += "<path class=\"xo\" d=\"M" + num(x - 3) + " " + num(bars.y(k)) + "h" + num(barWidth + 6) + "\"/>";
}

void drawMember(std::string& svg, const Pedigree& pedigree, const Individual& m, const PlacedMember& place,
                const FounderHaplotypes& founders, const BarGeometry& bars)
{
    const double width = place.box.width;
    svg += "<g" + std::string(untyped(m) ? " class=\"u\"" : "") + " transform=\"translate(" + num(place.box.x) + " "
        + num(place.box.y) + ")\">";
    drawSymbol(svg, m, width);
    svg += "<text class=\"id\" x=\"" + num(width / 2) + "\" y=\"" + num(symbolSize + 12) + "\">"
        + escapeMarkup(pedigree.idText(m.individualId)) + "</text>";
    if (bars.loci > 0 && static_cast<int>(m.genotypes.size()) == bars.loci) {
        const double left = width / 2 - barGap / 2 - barWidth;
        const double right = width / 2 + barGap / 2;
        drawRuns(svg, left, founders.trace(m.individualId, 0), bars);
        drawRuns(svg, right, founders.trace(m.individualId, 1), bars);
        if (bars.labelled && bars.loci > 1) {
            svg += "<path class=\"sep\" d=\"";
            for (int k = 1; k < bars.loci; ++k)
                svg += "M" + num(left) + " " + num(bars.y(k)) + "h" + num(2 * barWidth + barGap);
            svg += "\"/>";
        }
        drawOutline(svg, left, founders.crossovers(m.individualId, 0), bars);
        drawOutline(svg, right, founders.crossovers(m.individualId, 1), bars);
        if (bars.labelled) {
            for (int k = 0; k < bars.loci; ++k) {
                std::string y = num(bars.y(k) + bars.band - 2.5);
                svg += "<text class=\"al\" x=\"" + num(left - textGap) + "\" y=\"" + y + "\">"
                    + std::to_string(m.genotypes[k].allele1) + "</text><text class=\"ar\" x=\""
                    + num(right + barWidth + textGap) + "\" y=\"" + y + "\">" + std::to_string(m.genotypes[k].allele2)
                    + "</text>";
            }
        }
    }
    svg += "</g>";
}

} // namespace

std::string escapeMarkup(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string drawPedigreeSvg(const Pedigree& pedigree, const MarkerMap* map)
{
    BarGeometry bars;
    std::size_t alleleChars = 1, idChars = 1;
    for (const auto& [id, m] : pedigree.members) {
        bars.loci = std::max(bars.loci, static_cast<int>(m.genotypes.size()));
        idChars = std::max(idChars, pedigree.idText(id).size());
        for (const GenotypeRecord& g : m.genotypes)
            alleleChars = std::max({alleleChars, std::to_string(g.allele1).size(), std::to_string(g.allele2).size()});
    }
    bars.labelled = bars.loci <= maxLabelledLoci;
    if (!bars.labelled) bars.band = denseBars / bars.loci;
    const bool names = map && map->size() > 0 && bars.labelled;
    std::size_t nameChars = 0;
    if (names)
        for (int k = 0; k < bars.loci && k < static_cast<int>(map->size()); ++k)
            nameChars = std::max(nameChars, std::min(map->names[k].size(), markerNameChars));

    LayoutSizes sizes;
    sizes.symbol = symbolSize;
    double alleleWidth = bars.labelled ? static_cast<double>(alleleChars) * alleleCharWidth + textGap + 2 : 4;
    sizes.memberWidth = std::ceil(std::max({symbolSize + 8, static_cast<double>(idChars) * idCharWidth + 8,
                                            2 * (alleleWidth + barWidth) + barGap}));
    sizes.memberHeight = bars.loci > 0 ? bars.y(bars.loci) + 4 : symbolSize + 16;
    if (names) sizes.marginLeft += std::ceil(static_cast<double>(nameChars) * alleleCharWidth) + 12;
    PedigreeLayout layout = layoutPedigree(pedigree, sizes);
    FounderHaplotypes founders(pedigree);

    std::string svg = "<svg class=\"ped\" width=\"" + num(layout.width) + "\" height=\"" + num(layout.height)
        + "\" viewBox=\"0 0 " + num(layout.width) + " " + num(layout.height) + "\" role=\"img\" aria-label=\"Family "
        + escapeMarkup(pedigree.familyText()) + "\">";
    if (!layout.lines.empty()) {
        svg += "<path class=\"ln\" d=\"";
        for (const Segment& s : layout.lines) {
            svg += "M" + num(s.x1) + " " + num(s.y1);
            if (s.y1 == s.y2) svg += "H" + num(s.x2);
            else if (s.x1 == s.x2) svg += "V" + num(s.y2);
            else svg += "L" + num(s.x2) + " " + num(s.y2);
        }
        svg += "\"/>";
    }
    if (names) {
        std::map<int, double> rowTops;
        for (const PlacedMember& p : layout.members) rowTops.emplace(p.row, p.box.y);
        for (const auto& [row, top] : rowTops)
            for (int k = 0; k < bars.loci && k < static_cast<int>(map->size()); ++k) {
                std::string name = map->names[k];
                if (name.size() > markerNameChars) name = name.substr(0, markerNameChars - 1) + "~";
                svg += "<text class=\"mk\" x=\"8\" y=\"" + num(top + bars.y(k) + bars.band - 2.5) + "\">"
                    + escapeMarkup(name) + "</text>";
            }
    }
    for (const PlacedMember& place : layout.members)
        drawMember(svg, pedigree, *pedigree.member(place.id), place, founders, bars);
    svg += "</svg>";
    return svg;
}

const char* pedigreeSvgStyle()
{
    return ".ped{font-family:monospace;display:block}"
           ".ped .ln{fill:none;stroke:#333;stroke-width:1.3}"
           ".ped .sym{fill:#fff;stroke:#222;stroke-width:1.6}"
           ".ped .u .sym{fill:#f2f2f2;stroke-dasharray:4 3}"
           ".ped .u text{fill:#888}"
           ".ped .id{font-size:11px;text-anchor:middle;fill:#111}"
           ".ped .al,.ped .ar,.ped .mk{font-size:10px;fill:#333}"
           ".ped .al{text-anchor:end}"
           ".ped .mk{fill:#555}"
           ".ped .b{fill:none;stroke:#444;stroke-width:.8}"
           ".ped .sep{stroke:#fff;stroke-width:.6;stroke-opacity:.8}"
           ".ped .xo{stroke:#000;stroke-width:2.2}"
           ".kx{fill:#d6d6d6}"
           ".k0{fill:#1f77b4}.k1{fill:#ff7f0e}.k2{fill:#2ca02c}.k3{fill:#d62728}"
           ".k4{fill:#9467bd}.k5{fill:#8c564b}.k6{fill:#e377c2}.k7{fill:#17becf}"
           ".k8{fill:#bcbd22}.k9{fill:#aec7e8}.k10{fill:#ffbb78}.k11{fill:#98df8a}"
           ".k12{fill:#ff9896}.k13{fill:#c5b0d5}.k14{fill:#f7b6d2}.k15{fill:#9edae5}";
}

} // namespace tavirlen
