#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"

namespace tavirlen {

Individual::Individual() : memberIndex(runContext().memberIndexCounter++) {}

Pedigree::Pedigree(long long id) : familyId(id), startClock(threadClock())
{
    runContext().memberIndexCounter = 0;
}

Individual* Pedigree::member(int id)
{
    return members.lookup(id);
}

const Individual* Pedigree::member(int id) const
{
    return members.lookup(id);
}

} // namespace tavirlen
