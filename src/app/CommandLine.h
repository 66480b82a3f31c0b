#pragma once

namespace tavirlen {

// The program: checks the arguments, seeds the generator from the calendar
// time and runs the driver of the mode letter. Returns the exit status.
int runCommandLine(int argc, const char* const* argv);

} // namespace tavirlen
