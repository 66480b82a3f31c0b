#include "ilp/IlpDriver.h"

namespace tavirlen {

BatchMode ilpMode()
{
    BatchMode mode;
    mode.keepsSummary = true;
    mode.minimumMembers = 3;
    return mode;
}

} // namespace tavirlen
