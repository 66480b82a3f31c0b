#pragma once

namespace tavirlen {

// Process-wide run state besides the generator: the member-index counter that
// numbers the members of the pedigree being read, the member count of the
// family completed last, and the millisecond process clock.
struct RunContext {
    int memberIndexCounter = 0;
    int currentMemberCount = 0;
};

// One per thread: families are read on one thread, but a family's members
// are made wherever its Pedigree is built.
RunContext& runContext();

// Milliseconds of processor time used by the process.
long processClock();

// Milliseconds of processor time used by the calling thread: a family's own
// time when families run on several threads.
long threadClock();

} // namespace tavirlen
