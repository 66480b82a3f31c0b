#pragma once

#include <string>

namespace tavirlen {

// Mode e: reports alleles that no typed ancestor carries. Returns the exit status.
int runErrorScreening(const std::string& inputName);

} // namespace tavirlen
