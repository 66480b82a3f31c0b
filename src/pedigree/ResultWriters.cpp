#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"

#include <charconv>
#include <string>

namespace tavirlen {

namespace {

void writeParent(std::ostream& dat, const Pedigree& pedigree, const std::string& family, int parentId)
{
    if (parentId == 0)
        dat << " ";
    else
        dat << family << "-" << pedigree.idText(parentId);
}

} // namespace

bool Pedigree::writeDat(std::ostream& dat) const
{
    constexpr std::size_t shownLoci = 10;
    const std::string family = familyText();
    for (const auto& [id, m] : members) {
        dat << family << "-" << idText(id) << "\n";
        dat << (m.sex == 1 ? "M" : "F") << "\n";
        writeParent(dat, *this, family, m.fatherId);
        dat << " , ";
        writeParent(dat, *this, family, m.motherId);
        dat << "\n";
        std::size_t k = 0;
        for (; k < m.genotypes.size() && k < shownLoci; ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            if (g.phased)
                dat << g.allele1 << "|" << g.allele2 << "(" << g.paternalSource << ","
                    << g.maternalSource << ")\n";
            else
                dat << g.allele1 << " " << g.allele2 << "\n";
        }
        for (; k < shownLoci; ++k) dat << "\n";
    }
    return true;
}

bool Pedigree::writeRes(std::ostream& res)
{
    endClock = threadClock();
    res << familyText() << "\t " << recombinantCount << "\t "
        << static_cast<double>(endClock - startClock) * 0.001 << "\n";
    res.flush();
    if (configurationWritten) configurationWritten(*this);
    return true;
}

namespace {

void appendNumber(std::string& line, int value)
{
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    line.append(digits, end);
}

} // namespace

// One line per member, formatted in memory and written at once: a formatted
// print per field took a third of a whole run.
bool Pedigree::writeOut(std::FILE* out) const
{
    if (!out) return true;
    const std::string family = familyText();
    std::string line;
    for (const auto& [id, m] : members) {
        line.clear();
        line += family;
        line += '\t';
        line += idText(id);
        line += '\t';
        line += idText(m.fatherId);
        line += '\t';
        line += idText(m.motherId);
        line += '\t';
        appendNumber(line, m.sex);
        line += "\t0\t0\t";
        for (const GenotypeRecord& g : m.genotypes) {
            appendNumber(line, g.allele1);
            line += '|';
            appendNumber(line, g.allele2);
            line += '\t';
        }
        for (const GenotypeRecord& g : m.genotypes) appendNumber(line, g.paternalSource);
        line += '\t';
        for (const GenotypeRecord& g : m.genotypes) appendNumber(line, g.maternalSource);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out);
    }
    return true;
}

} // namespace tavirlen
