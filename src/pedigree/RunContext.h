#pragma once

namespace tavirlen {

// Process-wide run state besides the generator: the member-index counter that
// numbers the members of the pedigree being read, the member count of the
// family completed last, and the millisecond process clock.
struct RunContext {
    int memberIndexCounter = 0;
    int currentMemberCount = 0;
};

RunContext& runContext();

// Milliseconds of processor time used by the process.
long processClock();

} // namespace tavirlen
