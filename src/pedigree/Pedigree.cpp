#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"
#include "phasing/Sources.h"

namespace tavirlen {

Individual::Individual() : memberIndex(runContext().memberIndexCounter++) {}

Pedigree::Pedigree(int id) : familyId(id), startClock(processClock())
{
    runContext().memberIndexCounter = 0;
}

Individual* Pedigree::member(int id)
{
    auto found = members.find(id);
    return found == members.end() ? nullptr : &found->second;
}

const Individual* Pedigree::member(int id) const
{
    auto found = members.find(id);
    return found == members.end() ? nullptr : &found->second;
}

void Pedigree::fileMember(int id)
{
    const Individual* m = member(id);
    if (m && sourceSummary(*m, 0) != 2 && sourceSummary(*m, 1) != 2)
        cleanQueue.push_back(id);
    else
        recombinantQueue.push_back(id);
}

} // namespace tavirlen
