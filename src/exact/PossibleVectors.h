#pragma once

#include "exact/InheritanceLayout.h"

#include <cstdint>

namespace tavirlen {

// Sets possible[v] to 1 for every inheritance vector v under which some
// assignment of alleles to founder genes gives every typed member its
// genotype at the planned locus; the other entries are left as they are
// (the caller clears them). `possible` holds 2^bitCount entries.
//
// The vectors are built member by member in processingOrder, each member's
// genotype applied to its genes as soon as its two bits are chosen, so a
// choice that no allele assignment can meet is dropped with everything below
// it. Free bits are held at 0 during that search and spread afterwards.
// Returns the number of vectors the search reached (free bits held).
std::uint64_t markPossibleVectors(const InheritanceLayout& layout, const LocusPlan& plan, std::uint8_t* possible);

// For a locus at which no vector is possible: the first member in
// processingOrder whose genotype, added to those of the members before it,
// leaves no possible vector. Its id, or 0 if there is none.
int firstUnfittingMember(const InheritanceLayout& layout, const LocusPlan& plan);

} // namespace tavirlen
