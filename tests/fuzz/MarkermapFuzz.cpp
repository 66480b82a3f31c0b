// The marker map reader, and the interval fractions mode i takes from a map.

#include "FuzzSupport.h"

#include "ilp/IlpDriver.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/MarkerMap.h"

using namespace tavirlen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream input = fuzz::streamOf(data, size);
    std::string error;
    std::optional<MarkerMap> map = readMarkerMap(input, error);
    if (!map) {
        fuzz::require(!error.empty());
        return 0;
    }
    // Every column has a value per marker, and positions never decrease.
    fuzz::require(map->chromosomes.size() == map->size() && map->centimorgans.size() == map->size());
    fuzz::require(!map->hasBasePairs() || map->basePairs.size() == map->size());
    for (std::size_t k = 1; k < map->size(); ++k) fuzz::require(map->centimorgans[k - 1] <= map->centimorgans[k]);
    DatasetSummary summary;
    useMapDistances(summary, *map);
    for (float d : summary.markerDistances) fuzz::require(d > 0.0f && d <= 0.5f);
    return 0;
}
