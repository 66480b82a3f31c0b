#include "locusdp/LocusDP.h"

namespace tavirlen {

BatchMode locusDPMode()
{
    return BatchMode();
}

} // namespace tavirlen
