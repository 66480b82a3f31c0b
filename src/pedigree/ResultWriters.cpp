#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"
#include "pedigree/TextLine.h"

#include <string>

namespace tavirlen {

namespace {

void appendParent(std::string& text, const Pedigree& pedigree, const std::string& family, int parentId)
{
    if (parentId == 0) {
        text += ' ';
    } else {
        text += family;
        text += '-';
        text += pedigree.idText(parentId);
    }
}

} // namespace

bool Pedigree::writeDat(std::ostream& dat) const
{
    constexpr std::size_t shownLoci = 10;
    const std::string family = familyText();
    std::string text;
    for (const auto& [id, m] : members) {
        text.clear();
        text += family;
        text += '-';
        text += idText(id);
        text += m.sex == 1 ? "\nM\n" : "\nF\n";
        appendParent(text, *this, family, m.fatherId);
        text += " , ";
        appendParent(text, *this, family, m.motherId);
        text += '\n';
        std::size_t k = 0;
        for (; k < m.genotypes.size() && k < shownLoci; ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            appendNumber(text, g.allele1);
            text += g.phased ? '|' : ' ';
            appendNumber(text, g.allele2);
            if (g.phased) {
                text += '(';
                appendNumber(text, g.paternalSource);
                text += ',';
                appendNumber(text, g.maternalSource);
                text += ')';
            }
            text += '\n';
        }
        text.append(shownLoci - k, '\n');
        dat.write(text.data(), static_cast<std::streamsize>(text.size()));
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

// One line per member.
bool Pedigree::writeOut(std::FILE* out) const
{
    if (!out) return true;
    const std::string family = familyText();
    std::string buffer;
    for (const auto& [id, m] : members) {
        const std::string own = idText(id);
        const std::string father = idText(m.fatherId);
        const std::string mother = idText(m.motherId);
        // Per locus two alleles and two sources with their separators.
        const std::size_t longest = family.size() + own.size() + father.size() + mother.size() + 16 +
                                    (m.genotypes.size() + 1) * (4 * LineBuilder::longestNumber + 4);
        LineBuilder line(buffer, longest);
        line.put(family);
        line.put('\t');
        line.put(own);
        line.put('\t');
        line.put(father);
        line.put('\t');
        line.put(mother);
        line.put('\t');
        line.number(m.sex);
        for (char c : {'\t', '0', '\t', '0', '\t'}) line.put(c);
        for (const GenotypeRecord& g : m.genotypes) {
            line.number(g.allele1);
            line.put('|');
            line.number(g.allele2);
            line.put('\t');
        }
        for (const GenotypeRecord& g : m.genotypes) line.number(g.paternalSource);
        line.put('\t');
        for (const GenotypeRecord& g : m.genotypes) line.number(g.maternalSource);
        line.put('\n');
        std::fwrite(line.data(), 1, line.size(), out);
    }
    return true;
}

} // namespace tavirlen
