// The pedigree reader and what every phasing mode does with a family before
// its algorithm: the family check, then, for a sound family, preparation, the
// Mendelian check and the three writers.

#include "FuzzSupport.h"

#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "pedigree/RunContext.h"

#include <set>

using namespace tavirlen;

namespace {

// Every member once, each after its parents in the family.
bool parentsBeforeChildren(const Pedigree& pedigree)
{
    std::set<int> placed;
    for (int id : pedigree.processingOrder) {
        const Individual* m = pedigree.member(id);
        if (!m || placed.count(id)) return false;
        for (int side = 0; side < 2; ++side)
            if (m->parentId(side) != 0 && !placed.count(m->parentId(side))) return false;
        placed.insert(id);
    }
    return placed.size() == pedigree.members.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // The first byte picks the header columns: '5' (mode n), '6' (mode t), else 7.
    const int headerColumns = data[0] == '5' ? 5 : data[0] == '6' ? 6 : 7;
    std::istringstream input = fuzz::streamOf(data + 1, size - 1);
    seedRandom(1);
    PedigreeReader reader(input, headerColumns);
    while (std::unique_ptr<Pedigree> pedigree = reader.next()) {
        pedigree->memberCount = static_cast<int>(pedigree->members.size());
        runContext().currentMemberCount = pedigree->memberCount;
        if (checkFamily(*pedigree)) continue;
        pedigree->finalise();
        pedigree->prepare();
        fuzz::require(parentsBeforeChildren(*pedigree));
        pedigree->checkMendel();
        pedigree->writeDat(fuzz::nullStream());
        pedigree->writeRes(fuzz::nullStream());
        pedigree->writeOut(fuzz::nullFile());
    }
    return 0;
}
