#pragma once

// Checks of a mode i result that hold for any optimal configuration.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tavirlen::test {

// One member's line of the .out file.
struct OutLine {
    int family = 0;
    int father = 0;
    int mother = 0;
    std::vector<std::array<int, 2>> alleles;
    std::string paternal;
    std::string maternal;
};

inline std::map<std::pair<int, int>, OutLine> readOut(const std::string& text)
{
    std::map<std::pair<int, int>, OutLine> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        OutLine out;
        out.family = std::stoi(fields[0]);
        out.father = std::stoi(fields[2]);
        out.mother = std::stoi(fields[3]);
        for (std::size_t i = 7; i + 2 < fields.size(); ++i) {
            std::size_t bar = fields[i].find('|');
            out.alleles.push_back({std::stoi(fields[i].substr(0, bar)), std::stoi(fields[i].substr(bar + 1))});
        }
        out.paternal = fields[fields.size() - 2];
        out.maternal = fields.back();
        lines[{out.family, std::stoi(fields[1])}] = out;
    }
    return lines;
}

// Checks a mode i result (the last solution of each family) against its input: typed genotypes kept, every
// child's alleles copied from its parents as its sources say, and the
// recombinants on .res equal to the changes of source on .out.
inline void expectConsistentResult(const std::string& input, const std::string& out, const std::string& res)
{
    auto lines = readOut(out);
    std::map<int, int> changes;
    for (const auto& family : readFamilies(input)) {
        for (const auto& [id, m] : family->members) {
            ASSERT_TRUE(lines.count({family->familyId, id})) << id;
            const OutLine& line = lines[{family->familyId, id}];
            for (std::size_t l = 0; l < m.genotypes.size(); ++l) {
                const GenotypeRecord& g = m.genotypes[l];
                std::array<int, 2> written = line.alleles[l];
                if (g.allele1 > 0 && g.allele2 > 0) {
                    EXPECT_EQ(std::minmax(g.allele1, g.allele2), std::minmax(written[0], written[1])) << id;
                }
                EXPECT_GT(written[0], 0);
                EXPECT_GT(written[1], 0);
                if (m.isFounder()) continue;
                const OutLine& father = lines[{family->familyId, m.fatherId}];
                const OutLine& mother = lines[{family->familyId, m.motherId}];
                EXPECT_EQ(written[0], father.alleles[l][static_cast<std::size_t>(line.paternal[l] - '0')]) << id;
                EXPECT_EQ(written[1], mother.alleles[l][static_cast<std::size_t>(line.maternal[l] - '0')]) << id;
                if (l == 0) continue;
                changes[family->familyId] += (line.paternal[l] != line.paternal[l - 1])
                    + (line.maternal[l] != line.maternal[l - 1]);
            }
        }
    }
    for (const auto& [familyId, count] : changes) {
        // With several solutions, .out ends with the last one.
        std::string expected = "\t" + std::to_string(familyId) + "\t " + std::to_string(count) + "\t ";
        EXPECT_NE(res.find(expected), std::string::npos) << expected;
    }
}

} // namespace tavirlen::test
