// The structure reader of modes d and s, its check, and one replicate of
// gene dropping with recombination through an accepted structure.

#include "FuzzSupport.h"

#include "modes/Simulation.h"
#include "modes/Structure.h"
#include "pedigree/Random.h"

using namespace tavirlen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream input = fuzz::streamOf(data, size);
    Pedigree structure(0);
    std::optional<std::string> problem = readStructure(structure, input);
    if (!problem) problem = checkStructure(structure);
    std::vector<int> order = simulationOrder(structure);
    if (problem) return 0;
    // An accepted structure can be simulated whole.
    fuzz::require(order.size() == structure.members.size());
    seedRandom(1);
    const std::vector<float> fractions(25, 0.2f);
    fuzz::require(dropGenes(structure, &fuzz::nullStream(), 1, 26, &fractions, 2) >= 0);
    writeReplicate(fuzz::nullStream(), structure);
    writeSimWalkBlock(fuzz::nullFile(), structure);
    return 0;
}
