#include "modes/Simulation.h"

namespace tavirlen {

int simulateWithRecombination(const std::string&)
{
    return 0;
}

int simulateWithoutRecombination(const std::string&)
{
    return 0;
}

} // namespace tavirlen
