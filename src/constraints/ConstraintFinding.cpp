#include "constraints/ConstraintFinding.h"

namespace tavirlen {

BatchMode constraintFindingMode()
{
    BatchMode mode;
    mode.minimumMembers = 3;
    return mode;
}

} // namespace tavirlen
