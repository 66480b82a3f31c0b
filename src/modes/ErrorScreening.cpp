#include "modes/ErrorScreening.h"

namespace tavirlen {

int runErrorScreening(const std::string&)
{
    return 0;
}

} // namespace tavirlen
