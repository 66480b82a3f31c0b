#include "pedigree/PedigreeReader.h"

#include <climits>
#include <cctype>

namespace tavirlen {

std::vector<std::string> splitFields(const std::string& line, const char* separators)
{
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        std::size_t start = line.find_first_not_of(separators, pos);
        if (start == std::string::npos) break;
        std::size_t end = line.find_first_of(separators, start);
        if (end == std::string::npos) end = line.size();
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

ParseStatus parseDecimal(const std::string& field, int& value)
{
    std::size_t i = 0;
    while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i]))) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i >= field.size() || field[i] < '0' || field[i] > '9') return ParseStatus::noNumber;
    long long magnitude = 0;
    bool overflow = false;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        if (!overflow) {
            magnitude = magnitude * 10 + (field[i] - '0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1) overflow = true;
        }
    }
    if (!negative && magnitude > INT_MAX) overflow = true;
    if (overflow) {
        value = negative ? INT_MIN : INT_MAX;
        return ParseStatus::overflow;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return ParseStatus::parsed;
}

bool readGenotypes(Individual& member, const std::vector<std::string>& fields, std::size_t first)
{
    GenotypeRecord prototype;
    if (member.fatherId == 0 && member.motherId == 0) {
        prototype.paternalSource = 0;
        prototype.maternalSource = 0;
    }
    bool sound = true;
    int slot = 0;
    for (std::size_t i = first; i < fields.size(); ++i) {
        int& allele = slot == 0 ? prototype.allele1 : prototype.allele2;
        if (parseDecimal(fields[i], allele) == ParseStatus::overflow) sound = false;
        if (allele == 0) ++member.missingAlleleCount;
        slot = 1 - slot;
        if (slot == 0) member.genotypes.push_back(prototype);
    }
    return sound;
}

PedigreeReader::PedigreeReader(std::istream& input, int headerColumns)
    : input_(input), headerColumns_(headerColumns)
{
}

bool PedigreeReader::readLine(std::vector<std::string>& fields)
{
    if (finished_) return false;
    std::string line;
    if (!std::getline(input_, line)) {
        finished_ = true;
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    fields = splitFields(line);
    if (fields.empty()) {
        finished_ = true;
        return false;
    }
    return true;
}

void PedigreeReader::addMember(Pedigree& pedigree, const std::vector<std::string>& fields)
{
    Individual member;
    member.familyId = pedigree.familyId;
    bool sound = true;
    int* header[] = {&member.individualId, &member.fatherId, &member.motherId, &member.sex};
    const char* names[] = {"individual id", "father id", "mother id"};
    for (std::size_t i = 0; i < 4 && i + 1 < fields.size(); ++i) {
        ParseStatus status = parseDecimal(fields[i + 1], *header[i]);
        if (status == ParseStatus::overflow) sound = false;
        // A text id would read as 0: every such line would replace the one
        // before it, or turn a child into a founder, without a trace.
        if (status == ParseStatus::noNumber && i < 3 && pedigree.readProblem.empty())
            pedigree.readProblem = std::string("the ") + names[i] + " " + fields[i + 1] + " is not a number";
    }

    std::size_t firstAllele = static_cast<std::size_t>(headerColumns_);
    if (fields.size() < firstAllele) {
        if (pedigree.readProblem.empty()) {
            pedigree.readProblem = (fields.size() >= 2 ? "the line of individual " + fields[1]
                                                       : std::string("a line"))
                + " has " + std::to_string(fields.size()) + " fields, fewer than the "
                + std::to_string(headerColumns_) + " header columns";
        }
    } else if (!readGenotypes(member, fields, firstAllele)) {
        sound = false;
    }
    if (!sound && pedigree.readProblem.empty())
        pedigree.readProblem = "a number on the line of individual " + fields.at(1)
            + " is too large for a 32-bit integer";

    int id = member.individualId;
    pedigree.locusCount = static_cast<int>(member.genotypes.size());
    pedigree.members.insert_or_assign(id, std::move(member));
}

std::unique_ptr<Pedigree> PedigreeReader::next()
{
    std::vector<std::string> fields;
    int familyId = previousFamilyId_;
    bool familyOverflow = false;
    if (havePending_) {
        fields = std::move(pendingFields_);
        familyId = pendingFamilyId_;
        familyOverflow = pendingOverflow_;
        havePending_ = false;
    } else {
        if (!readLine(fields)) return nullptr;
        // The first line always starts a family, whatever its family id.
        familyOverflow = parseDecimal(fields[0], familyId) == ParseStatus::overflow;
    }
    auto pedigree = std::make_unique<Pedigree>(familyId);
    if (familyOverflow) pedigree->readProblem = "its family id is too large for a 32-bit integer";
    previousFamilyId_ = familyId;
    addMember(*pedigree, fields);

    while (readLine(fields)) {
        int nextFamilyId = previousFamilyId_;
        bool overflow = parseDecimal(fields[0], nextFamilyId) == ParseStatus::overflow;
        if (nextFamilyId != previousFamilyId_) {
            havePending_ = true;
            pendingFields_ = std::move(fields);
            pendingFamilyId_ = nextFamilyId;
            pendingOverflow_ = overflow;
            break;
        }
        if (overflow && pedigree->readProblem.empty())
            pedigree->readProblem = "its family id is too large for a 32-bit integer";
        addMember(*pedigree, fields);
    }
    return pedigree;
}

} // namespace tavirlen
