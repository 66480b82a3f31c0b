#include "pedigree/RunContext.h"

#include <ctime>

namespace tavirlen {

RunContext& runContext()
{
    static RunContext context;
    return context;
}

long processClock()
{
    return static_cast<long>(static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC);
}

} // namespace tavirlen
