#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// Names and positions of the loci, in input order, when a map or a VCF gives
// them. Empty vectors when the run has no map.
struct MarkerMap {
    std::vector<std::string> chromosomes;
    std::vector<std::string> names;
    std::vector<double> centimorgans;
    std::vector<long long> basePairs;

    std::size_t size() const { return names.size(); }
    bool empty() const { return names.empty(); }
    bool hasCentimorgans() const { return !centimorgans.empty(); }
    bool hasBasePairs() const { return !basePairs.empty(); }
};

// Reads a marker map: PLINK's four columns (chromosome, name, centimorgans,
// base pair) or three (chromosome, name, centimorgans), told apart by the
// number of fields on the first line; every line must have that many. Blank
// lines are skipped. Returns the map, or the reason it cannot be used in
// `error` (naming the line).
std::optional<MarkerMap> readMarkerMap(std::istream& input, std::string& error);

// Haldane's recombination fraction for a distance of d centimorgans:
// r = (1 - e^(-2d/100)) / 2.
double haldaneFraction(double centimorgans);

} // namespace tavirlen
