// The reader of mode e, the grouping of its lines into families, and the
// screening of each family.

#include "FuzzSupport.h"

#include "modes/ErrorScreening.h"
#include "modes/ScreeningInput.h"
#include "pedigree/RunContext.h"

using namespace tavirlen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream input = fuzz::streamOf(data, size);
    runContext() = RunContext{};
    ScreeningInput read = readScreeningInput(input, fuzz::nullStream());
    std::vector<std::set<int>> families = formFamilies(read.idSets);

    // Every id of every line lands in exactly one family.
    std::set<int> ids, grouped;
    std::size_t total = 0;
    for (const auto& line : read.idSets) ids.insert(line.begin(), line.end());
    for (const auto& family : families) {
        total += family.size();
        grouped.insert(family.begin(), family.end());
    }
    fuzz::require(grouped == ids && total == ids.size());

    int number = 0;
    for (const std::set<int>& family : families) {
        std::unique_ptr<Pedigree> pedigree
            = buildScreeningFamily(++number, family, read.individuals, read.locusCount, fuzz::nullStream());
        screenPedigree(*pedigree, fuzz::nullStream());
    }
    return 0;
}
