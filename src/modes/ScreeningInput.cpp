#include "modes/ScreeningInput.h"

#include "pedigree/LineReader.h"
#include "pedigree/PedigreeReader.h"

#include <numeric>
#include <string>

namespace tavirlen {

namespace {

constexpr std::size_t leadingFieldCount = 6; // id, father, mother, three ignored fields

// The tab-separated leading fields of a line; `rest` receives what follows them.
std::vector<std::string> leadingFields(const std::string& line, std::string& rest)
{
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (fields.size() < leadingFieldCount) {
        std::size_t start = line.find_first_not_of('\t', pos);
        if (start == std::string::npos) {
            pos = line.size();
            break;
        }
        std::size_t end = line.find('\t', start);
        if (end == std::string::npos) end = line.size();
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    rest = line.substr(pos);
    return fields;
}

bool blank(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

struct LineRead {
    Individual member;
    bool motherGiven = false;
};

} // namespace

ScreeningInput readScreeningInput(std::istream& input, std::ostream& messages)
{
    ScreeningInput result;
    std::vector<LineRead> lines;
    std::set<int> usedIds;
    std::string line;
    LineReader reader(input);
    reader.next(line); // the header
    while (reader.next(line)) {
        const long long lineNumber = reader.lineNumber();
        if (blank(line)) break;
        auto skip = [&](const std::string& why) {
            messages << "Skipping line " << lineNumber << ": " << why << "\n";
        };
        std::string rest;
        std::vector<std::string> fields = leadingFields(line, rest);
        if (fields.size() < 2) {
            skip("fewer than two tab-separated fields");
            continue;
        }
        LineRead read;
        Individual& m = read.member;
        // Ids are whole numbers here; anything else would be read as some
        // other individual (a text father id as 0, "no father").
        std::optional<std::string> problem;
        const char* names[] = {"individual", "father", "mother"};
        int* ids[] = {&m.individualId, &m.fatherId, &m.motherId};
        for (std::size_t i = 0; i < 3 && i < fields.size() && !problem; ++i) {
            int value = 0;
            if (parseDecimal(fields[i], value) == ParseStatus::overflow)
                problem = "a number is too large for a 32-bit integer";
            else if (!wholeNumber(fields[i], value))
                problem = std::string("the ") + names[i] + " id " + fields[i] + " is not a number";
            else if (value < 0)
                problem = std::string("the ") + names[i] + " id " + fields[i] + " is negative";
            *ids[i] = value;
        }
        if (!problem) {
            // This layout has always dropped a trailing odd allele.
            std::vector<std::string> alleles = splitFields(rest, " \t");
            if (alleles.size() % 2 == 1) alleles.pop_back();
            problem = readGenotypes(m, alleles, 0, lineNumber);
        }
        if (problem) {
            skip(*problem);
            continue;
        }
        // Id 0 is the shared "no father" id; as an individual it would become
        // the father of everybody without one.
        if (m.individualId == 0) {
            skip("individual id 0 is not a valid id (0 means no father)");
            continue;
        }
        read.motherGiven = m.motherId != 0;
        usedIds.insert({m.individualId, m.fatherId, m.motherId});
        lines.push_back(std::move(read));
    }

    // Mothers that are not given get ids of their own, in line order, so
    // that no two individuals share an unknown mother. Ids some line already
    // uses are passed over: taking one would make that individual a mother.
    int nextMotherId = firstReplacementMotherId;
    for (LineRead& read : lines) {
        Individual& m = read.member;
        if (!read.motherGiven) {
            while (usedIds.count(nextMotherId)) ++nextMotherId;
            m.motherId = nextMotherId++;
        }
        // Every member has a mother id, so none reads as a founder.
        for (GenotypeRecord& record : m.genotypes) record.paternalSource = record.maternalSource = -1;
        result.locusCount = static_cast<int>(m.genotypes.size());
        result.idSets.push_back({m.individualId, m.fatherId, m.motherId});
        int id = m.individualId;
        result.individuals.insert_or_assign(id, std::move(m));
    }
    return result;
}

std::vector<std::set<int>> formFamilies(const std::vector<std::array<int, 3>>& idSets)
{
    // Union-find over the lines: a line joins the line that first used one of
    // its ids. Each group is rooted at its first line, which fixes the order.
    std::vector<std::size_t> parent(idSets.size());
    std::iota(parent.begin(), parent.end(), std::size_t{0});
    auto root = [&](std::size_t i) {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    };
    std::map<int, std::size_t> firstLineOf;
    for (std::size_t i = 0; i < idSets.size(); ++i) {
        for (int id : idSets[i]) {
            auto [found, inserted] = firstLineOf.emplace(id, i);
            if (inserted) continue;
            std::size_t a = root(i);
            std::size_t b = root(found->second);
            if (a == b) continue;
            if (a < b) std::swap(a, b);
            parent[a] = b; // the earlier line stays the root
        }
    }
    std::vector<std::set<int>> families;
    std::map<std::size_t, std::size_t> familyOfRoot;
    for (std::size_t i = 0; i < idSets.size(); ++i) {
        std::size_t r = root(i);
        auto [found, inserted] = familyOfRoot.emplace(r, families.size());
        if (inserted) families.emplace_back();
        families[found->second].insert(idSets[i].begin(), idSets[i].end());
    }
    return families;
}

} // namespace tavirlen
