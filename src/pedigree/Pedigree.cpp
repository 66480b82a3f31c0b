#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"

namespace tavirlen {

Individual::Individual() : memberIndex(runContext().memberIndexCounter++) {}

Pedigree::Pedigree(long long id) : familyId(id)
{
    runContext().memberIndexCounter = 0;
}

} // namespace tavirlen
