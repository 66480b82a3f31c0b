#pragma once

#include "pedigree/Pedigree.h"

#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace tavirlen {

// Splits a line into fields at any run of the given separator characters;
// separators at either end are ignored.
std::vector<std::string> splitFields(const std::string& line, const char* separators = " ,\t");

enum class ParseStatus { parsed, noNumber, overflow };

// Reads a decimal integer the way "%d" does (optional sign, digits, anything
// after the digits ignored). A field that starts with no number leaves
// `value` unchanged. A number outside the 32-bit range is clamped and reported
// as overflow instead of wrapping.
ParseStatus parseDecimal(const std::string& field, int& value);

// Reads allele fields from `first` onwards in pairs into member.genotypes:
// a prototype record carries each slot's value over a field that is not a
// number, a 0 counts as a missing allele and a trailing odd allele is dropped.
// Returns false when a field overflowed.
bool readGenotypes(Individual& member, const std::vector<std::string>& fields, std::size_t first);

// Reads a pedigree file line by line and yields one completed Pedigree per
// run of consecutive lines with the same family id. The next family's
// Pedigree is created only when it is asked for, so its clock starts when its
// first line is taken up.
class PedigreeReader {
public:
    PedigreeReader(std::istream& input, int headerColumns);

    // The next completed family, or nullptr when the input is used up: at end
    // of file or at the first blank line (a line empty or made of separators).
    std::unique_ptr<Pedigree> next();

private:
    bool readLine(std::vector<std::string>& fields);
    void addMember(Pedigree& pedigree, const std::vector<std::string>& fields);

    std::istream& input_;
    int headerColumns_;
    bool finished_ = false;
    bool havePending_ = false;
    std::vector<std::string> pendingFields_;
    int pendingFamilyId_ = -1;
    bool pendingOverflow_ = false;
    int previousFamilyId_ = -1;
};

} // namespace tavirlen
