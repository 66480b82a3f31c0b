// The markerdist.txt reader, and the model file of a family whose intervals
// carry the distances read: a positive weight must never reach the solver as 0.

#include "FuzzSupport.h"

#include "ilp/IlpDriver.h"
#include "ilp/MpsWriter.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/PedigreeReader.h"

#include <cstdlib>

using namespace tavirlen;

namespace {

// A trio over `loci` loci in which both parents are heterozygous everywhere,
// so that every interval has recombination indicators in the objective.
std::unique_ptr<Pedigree> trio(std::size_t loci)
{
    std::string text;
    const char* genotypes[] = {"1 1 0 0 1 0 0", "1 2 0 0 2 0 0", "1 3 1 2 1 0 0"};
    const char* alleles[] = {" 1 2", " 3 4", " 1 3"};
    for (int m = 0; m < 3; ++m) {
        text += genotypes[m];
        for (std::size_t l = 0; l < loci; ++l) text += alleles[m];
        text += "\n";
    }
    std::istringstream input(text);
    PedigreeReader reader(input, 7);
    std::unique_ptr<Pedigree> pedigree = reader.next();
    pedigree->finalise();
    pedigree->prepare();
    return pedigree;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream input = fuzz::streamOf(data, size);
    DatasetSummary summary;
    readMarkerDistances(summary, input);
    for (float d : summary.markerDistances) fuzz::require(d > 0.0f && d <= 0.5f);
    if (summary.markerDistances.empty()) return 0;

    std::vector<float> weights = summary.markerDistances;
    if (weights.size() > 40) weights.resize(40);
    std::unique_ptr<Pedigree> pedigree = trio(weights.size() + 1);
    pedigree->markerWeights = weights;
    IlpModel model(*pedigree);
    buildModel(model);
    const std::string text = mpsText(model);
    // Each objective entry's value field: non-zero, and within its 12 columns.
    const std::string key = "OBJ       ";
    for (std::size_t at = text.find(key, text.find("COLUMNS\n")); at != std::string::npos; at = text.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        const std::string value = text.substr(start, text.find('\n', start) - start);
        fuzz::require(value.size() <= 12 && std::strtod(value.c_str(), nullptr) != 0.0);
    }
    return 0;
}
