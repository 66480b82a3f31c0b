#pragma once

#include "pedigree/LineReader.h"
#include "pedigree/Pedigree.h"

#include <istream>
#include <sstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// Splits a line into fields at any run of the given separator characters;
// separators at either end are ignored.
std::vector<std::string> splitFields(const std::string& line, const char* separators = " ,\t");
// The same into `fields`, reusing its strings (the reader's hot loop).
void splitFieldsInto(const std::string& line, const char* separators, std::vector<std::string>& fields);

enum class ParseStatus { parsed, noNumber, overflow };

// Reads a decimal integer the way "%d" does (optional sign, digits, anything
// after the digits ignored). A field that starts with no number leaves
// `value` unchanged. A number outside the 32-bit range is clamped and reported
// as overflow instead of wrapping.
ParseStatus parseDecimal(const std::string& field, int& value);

// True when the whole field is an optional sign and digits that fit 32 bits.
bool wholeNumber(const std::string& field, int& value);
// An id field that is a number as the program writes numbers (no leading
// zero, no plus sign), or zeros alone (0); any other id is text.
bool numericId(const std::string& field, int& value);

// True when the whole field is a decimal number (digits, an optional point,
// an optional exponent): nothing after it, no hexadecimal, no infinity.
bool wholeDecimal(const std::string& field, double& value);

// One allele field: a whole number, or a base letter (A, C, G, T in either
// case read as 1, 2, 3, 4; N, "." and "-" are missing, 0). Anything else is
// not an allele and is never read as one.
enum class AlleleField { allele, notAnAllele, tooLarge };
AlleleField parseAllele(const std::string& field, int& value);

// Reads allele fields from `first` onwards in pairs into member.genotypes; a
// 0 counts as a missing allele. Returns what is wrong with the line (a field
// that is not an allele, a number too large, an odd number of fields), naming
// line `lineNumber` and the field, or nothing.
std::optional<std::string> readGenotypes(Individual& member, const std::vector<std::string>& fields,
                                         std::size_t first, long long lineNumber);

// One member as another reader delivers it (a PED file with a VCF): ids as
// text, two allele codes per locus.
struct MemberLine {
    std::string familyId;
    std::string individualId;
    std::string fatherId;
    std::string motherId;
    std::string sex;
    std::vector<int> alleles;
};

// Reads a pedigree file line by line and yields one completed Pedigree per
// run of consecutive lines with the same family id. Ids that are not numbers
// are taken as text: each gets a number that no numeric id of the file can
// have (members after the family's numeric ids, in order of first
// appearance; families after every numeric family id), and the Pedigree keeps
// the text so that outputs write the id as read.
class PedigreeReader {
public:
    PedigreeReader(std::istream& input, int headerColumns);
    // Families from member lines read elsewhere, grouped and numbered alike.
    explicit PedigreeReader(std::vector<MemberLine> members);

    // The next completed family, or nullptr when the input is used up: at end
    // of file or at the first blank line (a line empty or made of separators).
    std::unique_ptr<Pedigree> next();

    // Where reading stopped at a blank line with further lines after it.
    struct BlankStop {
        long long line = 0;
        long long furtherLines = 0;
    };
    const std::optional<BlankStop>& blankStop() const { return blankStop_; }

private:
    struct IdField {
        bool numeric = true;
        int value = 0;
        std::string text;
    };
    struct PendingMember {
        Individual member;
        IdField ids[3]; // individual, father, mother
    };
    struct FamilyKey {
        long long key = 0;
        std::string text; // empty for a numeric id
    };

    bool readLine(std::vector<std::string>& fields);
    std::unique_ptr<Pedigree> nextFromMembers();
    FamilyKey familyKey(const std::string& field);
    void addMember(Pedigree& pedigree, std::vector<PendingMember>& pending, const std::vector<std::string>& fields);
    void completeFamily(Pedigree& pedigree, std::vector<PendingMember>& pending);
    void countFurtherLines(long long blankLine);

    std::istringstream noInput_;
    LineReader lines_;
    std::string line_; // the line being read; its room serves every line
    std::vector<MemberLine> members_;
    std::size_t nextMember_ = 0;
    bool fromMembers_ = false;
    int headerColumns_;
    bool finished_ = false;
    bool havePending_ = false;
    std::vector<std::string> pendingFields_;
    long long pendingLine_ = 0;
    long long lineNumber_ = 0;
    std::map<std::string, long long> textFamilies_;
    std::optional<BlankStop> blankStop_;
};

} // namespace tavirlen
