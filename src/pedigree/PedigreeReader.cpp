#include "pedigree/PedigreeReader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <climits>
#include <cctype>
#include <limits>

namespace tavirlen {

std::vector<std::string> splitFields(const std::string& line, const char* separators)
{
    std::vector<std::string> fields;
    splitFieldsInto(line, separators, fields);
    return fields;
}

void splitFieldsInto(const std::string& line, const char* separators, std::vector<std::string>& fields)
{
    bool isSeparator[256] = {};
    for (const char* c = separators; *c; ++c) isSeparator[static_cast<unsigned char>(*c)] = true;
    std::size_t count = 0;
    const std::size_t size = line.size();
    for (std::size_t pos = 0; pos < size;) {
        while (pos < size && isSeparator[static_cast<unsigned char>(line[pos])]) ++pos;
        if (pos == size) break;
        std::size_t end = pos;
        while (end < size && !isSeparator[static_cast<unsigned char>(line[end])]) ++end;
        if (count == fields.size()) fields.emplace_back();
        fields[count++].assign(line, pos, end - pos);
        pos = end;
    }
    fields.resize(count);
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

bool wholeNumber(const std::string& field, int& value)
{
    std::size_t digits = (!field.empty() && (field[0] == '+' || field[0] == '-')) ? 1 : 0;
    if (digits >= field.size() || field.find_first_not_of("0123456789", digits) != std::string::npos) return false;
    int parsed = 0;
    if (parseDecimal(field, parsed) != ParseStatus::parsed) return false;
    value = parsed;
    return true;
}

bool numericId(const std::string& field, int& value)
{
    // A field of zeros alone is "no parent", however it is padded.
    if (!field.empty() && field.find_first_not_of('0') == std::string::npos) {
        value = 0;
        return true;
    }
    // Only the form a number is written back in is a number: "007" or "+7"
    // read as 7 would be written as 7 and merge with a member "7".
    const std::size_t first = !field.empty() && field[0] == '-' ? 1 : 0;
    if (field.empty() || field[0] == '+' || (first < field.size() && field[first] == '0')) return false;
    return wholeNumber(field, value);
}

bool wholeDecimal(const std::string& field, double& value)
{
    if (field.empty() || field.find_first_not_of("+-0123456789.eE") != std::string::npos) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(field.c_str(), &end);
    if (end != field.c_str() + field.size() || errno != 0 || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

AlleleField parseAllele(const std::string& field, int& value)
{
    if (field.size() == 1) {
        switch (field[0]) {
        case 'A': case 'a': value = 1; return AlleleField::allele;
        case 'C': case 'c': value = 2; return AlleleField::allele;
        case 'G': case 'g': value = 3; return AlleleField::allele;
        case 'T': case 't': value = 4; return AlleleField::allele;
        case 'N': case 'n': case '.': case '-': value = 0; return AlleleField::allele;
        default: break;
        }
    }
    if (wholeNumber(field, value)) return AlleleField::allele;
    int ignored = 0;
    std::size_t digits = (!field.empty() && (field[0] == '+' || field[0] == '-')) ? 1 : 0;
    if (digits < field.size() && field.find_first_not_of("0123456789", digits) == std::string::npos
        && parseDecimal(field, ignored) == ParseStatus::overflow)
        return AlleleField::tooLarge;
    return AlleleField::notAnAllele;
}

std::optional<std::string> readGenotypes(Individual& member, const std::vector<std::string>& fields,
                                         std::size_t first, long long lineNumber)
{
    const std::size_t count = fields.size() > first ? fields.size() - first : 0;
    if (count % 2 == 1)
        return "line " + std::to_string(lineNumber) + " has " + std::to_string(count)
            + " allele fields, an odd number";
    GenotypeRecord record;
    if (member.fatherId == 0 && member.motherId == 0) {
        record.paternalSource = 0;
        record.maternalSource = 0;
    }
    member.genotypes.reserve(count / 2);
    for (std::size_t i = first; i < fields.size(); i += 2) {
        for (std::size_t j = i; j < i + 2; ++j) {
            int& allele = j == i ? record.allele1 : record.allele2;
            AlleleField read = parseAllele(fields[j], allele);
            if (read == AlleleField::tooLarge)
                return "a number on the line of individual " + fields.at(1) + " is too large for a 32-bit integer";
            if (read == AlleleField::notAnAllele)
                return "line " + std::to_string(lineNumber) + " field " + std::to_string(j + 1) + " has \""
                    + fields[j] + "\", which is not an allele";
            if (allele == 0) ++member.missingAlleleCount;
        }
        member.genotypes.push_back(record);
    }
    return std::nullopt;
}

PedigreeReader::PedigreeReader(std::istream& input, int headerColumns)
    : lines_(input), headerColumns_(headerColumns)
{
}

PedigreeReader::PedigreeReader(std::vector<MemberLine> members)
    : lines_(noInput_), members_(std::move(members)), fromMembers_(true), headerColumns_(5)
{
}

std::unique_ptr<Pedigree> PedigreeReader::nextFromMembers()
{
    if (nextMember_ >= members_.size()) return nullptr;
    FamilyKey key = familyKey(members_[nextMember_].familyId);
    auto pedigree = std::make_unique<Pedigree>(key.key);
    pedigree->familyName = key.text;
    std::vector<PendingMember> pending;
    for (; nextMember_ < members_.size(); ++nextMember_) {
        MemberLine& line = members_[nextMember_];
        if (familyKey(line.familyId).key != key.key) break;
        PendingMember entry;
        Individual& member = entry.member;
        member.familyId = pedigree->familyId;
        const std::string* texts[] = {&line.individualId, &line.fatherId, &line.motherId};
        for (int i = 0; i < 3; ++i) {
            entry.ids[i].text = *texts[i];
            entry.ids[i].numeric = numericId(entry.ids[i].text, entry.ids[i].value);
        }
        parseDecimal(line.sex, member.sex);
        const bool founder = entry.ids[1].numeric && entry.ids[1].value == 0 && entry.ids[2].numeric
            && entry.ids[2].value == 0;
        GenotypeRecord record;
        if (founder) record.paternalSource = record.maternalSource = 0;
        member.genotypes.reserve(line.alleles.size() / 2);
        for (std::size_t k = 0; k + 1 < line.alleles.size(); k += 2) {
            record.allele1 = line.alleles[k];
            record.allele2 = line.alleles[k + 1];
            member.missingAlleleCount += (record.allele1 == 0) + (record.allele2 == 0);
            member.genotypes.push_back(record);
        }
        line.alleles = {};
        pedigree->locusCount = static_cast<int>(member.genotypes.size());
        pending.push_back(std::move(entry));
    }
    completeFamily(*pedigree, pending);
    return pedigree;
}

bool PedigreeReader::readLine(std::vector<std::string>& fields)
{
    if (finished_) return false;
    if (!lines_.next(line_)) {
        finished_ = true;
        return false;
    }
    splitFieldsInto(line_, " ,\t", fields);
    if (fields.empty()) {
        finished_ = true;
        countFurtherLines(lines_.lineNumber());
        return false;
    }
    lineNumber_ = lines_.lineNumber();
    return true;
}

// Reading ends at a blank line; whoever runs the reader is told how much of
// the file that left out, so nothing is dropped without a word.
void PedigreeReader::countFurtherLines(long long blankLine)
{
    long long further = 0;
    std::string line;
    while (lines_.next(line))
        if (!splitFields(line).empty()) ++further;
    if (further > 0) blankStop_ = BlankStop{blankLine, further};
}

PedigreeReader::FamilyKey PedigreeReader::familyKey(const std::string& field)
{
    FamilyKey key;
    int value = 0;
    if (numericId(field, value)) {
        key.key = value;
        return key;
    }
    // Text family ids follow every possible 32-bit id, in order of appearance.
    auto [entry, added] = textFamilies_.emplace(field, (1LL << 32) + static_cast<long long>(textFamilies_.size()));
    key.key = entry->second;
    key.text = field;
    return key;
}

void PedigreeReader::addMember(Pedigree& pedigree, std::vector<PendingMember>& pending,
                               const std::vector<std::string>& fields)
{
    PendingMember entry;
    Individual& member = entry.member;
    member.familyId = pedigree.familyId;
    for (std::size_t i = 0; i < 3 && i + 1 < fields.size(); ++i) {
        IdField& id = entry.ids[i];
        id.text = fields[i + 1];
        id.numeric = numericId(id.text, id.value);
    }
    if (fields.size() > 4) parseDecimal(fields[4], member.sex);
    // Founders' records start with known sources; the parent ids are final
    // only when the family is complete, but a text id is never "no parent".
    member.fatherId = entry.ids[1].numeric ? entry.ids[1].value : 1;
    member.motherId = entry.ids[2].numeric ? entry.ids[2].value : 1;

    std::size_t firstAllele = static_cast<std::size_t>(headerColumns_);
    std::optional<std::string> problem;
    if (fields.size() < firstAllele) {
        problem = (fields.size() >= 2 ? "the line of individual " + fields[1] : std::string("a line")) + " has "
            + std::to_string(fields.size()) + " fields, fewer than the " + std::to_string(headerColumns_)
            + " header columns";
    } else if ((problem = readGenotypes(member, fields, firstAllele, lineNumber_))) {
        // The usual cause: a file with more or fewer header columns than the mode reads.
        if (problem->find("an odd number") != std::string::npos)
            *problem += ": does the file have the header columns this mode reads (b: 7, t: 6)?";
    }
    if (problem && pedigree.readProblem.empty()) pedigree.readProblem = *problem;
    pedigree.locusCount = static_cast<int>(member.genotypes.size());
    pending.push_back(std::move(entry));
}

void PedigreeReader::completeFamily(Pedigree& pedigree, std::vector<PendingMember>& pending)
{
    // Text ids are numbered after the largest numeric id of the family.
    long long next = 0;
    for (const PendingMember& entry : pending)
        for (const IdField& id : entry.ids)
            if (id.numeric) next = std::max<long long>(next, id.value);
    std::map<std::string, int> textIds;
    auto resolve = [&](const IdField& id) {
        if (id.numeric) return id.value;
        auto found = textIds.find(id.text);
        if (found != textIds.end()) return found->second;
        if (++next > std::numeric_limits<int>::max()) {
            if (pedigree.readProblem.empty())
                pedigree.readProblem = "its ids cannot all be numbered: a numeric id is too close to 2^31";
            return 0;
        }
        int number = static_cast<int>(next);
        textIds.emplace(id.text, number);
        pedigree.idNames.emplace(number, id.text);
        return number;
    };
    for (PendingMember& entry : pending) {
        Individual& member = entry.member;
        member.individualId = resolve(entry.ids[0]);
        member.fatherId = resolve(entry.ids[1]);
        member.motherId = resolve(entry.ids[2]);
        int id = member.individualId;
        pedigree.members.insert_or_assign(id, std::move(member));
    }
    pending.clear();
}

std::unique_ptr<Pedigree> PedigreeReader::next()
{
    if (fromMembers_) return nextFromMembers();
    std::vector<std::string> fields;
    if (havePending_) {
        fields = std::move(pendingFields_);
        lineNumber_ = pendingLine_;
        havePending_ = false;
    } else if (!readLine(fields)) {
        return nullptr;
    }
    // The first line always starts a family, whatever its family id.
    FamilyKey key = familyKey(fields[0]);
    auto pedigree = std::make_unique<Pedigree>(key.key);
    pedigree->familyName = key.text;
    std::vector<PendingMember> pending;
    addMember(*pedigree, pending, fields);

    while (readLine(fields)) {
        if (familyKey(fields[0]).key != key.key) {
            havePending_ = true;
            pendingFields_ = std::move(fields);
            pendingLine_ = lineNumber_;
            break;
        }
        addMember(*pedigree, pending, fields);
    }
    completeFamily(*pedigree, pending);
    return pedigree;
}

} // namespace tavirlen
