#pragma once

#include "pedigree/Pedigree.h"

#include <optional>
#include <string>

namespace tavirlen {

// Finds what would make a completed family unsafe to prepare and phase: a
// malformed line, an invalid id, unequal numbers of loci, a parent outside the
// family, a single given parent, a member who is father of one child and
// mother of another, or parent links that form a cycle. Returns the reason,
// naming the individual, or nothing when the family is sound.
std::optional<std::string> checkFamily(const Pedigree& pedigree);

// An id on a cycle of parent links among the members, if there is one.
std::optional<int> findParentCycle(const Pedigree& pedigree);

} // namespace tavirlen
