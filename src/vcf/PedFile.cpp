#include "vcf/PedFile.h"

#include "pedigree/FamilyCheck.h"
#include "pedigree/LineReader.h"
#include "pedigree/PedigreeReader.h"

#include <fstream>
#include <map>

namespace tavirlen {

namespace {

// Parent links by text id go through the one cycle search of the family
// check: each family becomes a throw-away Pedigree with numbered members.
std::optional<std::string> findPedCycle(const std::vector<MemberLine>& members)
{
    std::map<std::string, std::map<std::string, int>> numbers;
    for (const MemberLine& m : members) {
        auto& family = numbers[m.familyId];
        family.emplace(m.individualId, static_cast<int>(family.size()) + 1);
    }
    for (const auto& [familyId, family] : numbers) {
        Pedigree pedigree(0);
        auto numberOf = [&family = family](const std::string& id) {
            auto found = family.find(id);
            return found == family.end() ? 0 : found->second;
        };
        for (const MemberLine& m : members) {
            if (m.familyId != familyId) continue;
            Individual& member = pedigree.members[numberOf(m.individualId)];
            member.fatherId = m.fatherId == "0" ? 0 : numberOf(m.fatherId);
            member.motherId = m.motherId == "0" ? 0 : numberOf(m.motherId);
        }
        if (std::optional<int> number = findParentCycle(pedigree)) {
            for (const auto& [id, n] : family)
                if (n == *number)
                    return "the parent links of family " + familyId + " form a cycle through individual " + id;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<MemberLine>> readPedFile(const std::string& path, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot open the pedigree file " + path;
        return std::nullopt;
    }
    std::vector<MemberLine> members;
    std::map<std::pair<std::string, std::string>, long long> lineOf;
    std::string line;
    LineReader lines(in);
    while (lines.next(line)) {
        const long long number = lines.lineNumber();
        std::vector<std::string> fields = splitFields(line, " \t");
        if (fields.empty() || fields[0][0] == '#') continue;
        if (fields.size() < 5) {
            error = "line " + std::to_string(number) + " of " + path + " has " + std::to_string(fields.size())
                + " columns; it needs family, individual, father, mother and sex";
            return std::nullopt;
        }
        auto [at, fresh] = lineOf.emplace(std::make_pair(fields[0], fields[1]), number);
        if (!fresh) {
            error = "individual " + fields[1] + " of family " + fields[0] + " is listed twice in " + path
                + " (lines " + std::to_string(at->second) + " and " + std::to_string(number) + ")";
            return std::nullopt;
        }
        members.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], {}});
    }
    if (in.bad()) {
        error = "cannot read the pedigree file " + path;
        return std::nullopt;
    }
    if (members.empty()) {
        error = "the pedigree file " + path + " lists no individual";
        return std::nullopt;
    }
    if (std::optional<std::string> cycle = findPedCycle(members)) {
        error = *cycle;
        return std::nullopt;
    }
    return members;
}

} // namespace tavirlen
