#include "phasing/BlockExtension.h"

#include "phasing/Sources.h"

namespace tavirlen {

bool runBlockExtension(Pedigree& pedigree)
{
    if (!pedigree.checkMendel()) return false;
    phaseByMendel(pedigree);
    countRecombinants(pedigree);
    return true;
}

} // namespace tavirlen
