#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// One line of a PED or FAM file, ids kept as written. `alleles` holds two
// codes per kept VCF site (allele index + 1, 0 for a missing allele); all 0
// for a member without a VCF sample. `sampleIndex` is the member's column in
// the VCF, -1 when the VCF has no sample of that name.
struct PedMember {
    std::string familyId;
    std::string individualId;
    std::string fatherId;
    std::string motherId;
    std::string sex;
    std::vector<int> alleles;
    int sampleIndex = -1;
};

// Reads the first five columns of every line (family, individual, father,
// mother, sex; phenotype and genotype columns are ignored), in file order.
// Blank lines and lines starting with '#' are skipped. Stops with a one-line
// reason for an unreadable file, a line of fewer than five columns, an
// individual listed twice in one family, parent links that form a cycle, or
// a file without members.
std::optional<std::vector<PedMember>> readPedFile(const std::string& path, std::string& error);

} // namespace tavirlen
