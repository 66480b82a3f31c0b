#pragma once

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
};

} // namespace tavirlen
