#include "memberdp/MemberDP.h"

namespace tavirlen {

BatchMode memberDPMode()
{
    BatchMode mode;
    mode.keepsSummary = true;
    return mode;
}

} // namespace tavirlen
