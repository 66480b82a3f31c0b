#include "pedigree/RunContext.h"

#include <ctime>

namespace tavirlen {

RunContext& runContext()
{
    thread_local RunContext context;
    return context;
}

long threadClock()
{
    timespec now {};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) return processClock();
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long processClock()
{
    return static_cast<long>(static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC);
}

} // namespace tavirlen
