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
    auto found = members.find(id);
    return found == members.end() ? nullptr : &found->second;
}

const Individual* Pedigree::member(int id) const
{
    auto found = members.find(id);
    return found == members.end() ? nullptr : &found->second;
}

} // namespace tavirlen
