#pragma once

#include "pedigree/PedigreeReader.h"

#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// The lines of a PED or FAM file are MemberLines (pedigree/PedigreeReader.h):
// ids kept as written, and the alleles of the matching VCF sample (all 0 for a
// member without one).

// Reads the first five columns of every line (family, individual, father,
// mother, sex; phenotype and genotype columns are ignored), in file order.
// Blank lines and lines starting with '#' are skipped. Stops with a one-line
// reason for an unreadable file, a line of fewer than five columns, an
// individual listed twice in one family, parent links that form a cycle, or
// a file without members.
std::optional<std::vector<MemberLine>> readPedFile(const std::string& path, std::string& error);

} // namespace tavirlen
