#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"
#include "pedigree/TextLine.h"

#include <string>

namespace tavirlen {

bool Pedigree::writeDat(std::ostream& dat) const
{
    constexpr std::size_t shownLoci = 10;
    const std::string family = familyText();
    std::string buffer;
    for (const auto& [id, m] : members) {
        const std::string own = idText(id);
        const std::string father = m.fatherId == 0 ? std::string() : idText(m.fatherId);
        const std::string mother = m.motherId == 0 ? std::string() : idText(m.motherId);
        // Per shown locus two alleles and two sources with their separators.
        const std::size_t longest = 3 * family.size() + own.size() + father.size() + mother.size() + 16 +
                                    shownLoci * (4 * LineBuilder::longestNumber + 6);
        LineBuilder line(buffer, longest);
        auto putParent = [&](int parentId, const std::string& parent) {
            if (parentId == 0) {
                line.put(' ');
                return;
            }
            line.put(family);
            line.put('-');
            line.put(parent);
        };
        line.put(family);
        line.put('-');
        line.put(own);
        for (char c : {'\n', m.sex == 1 ? 'M' : 'F', '\n'}) line.put(c);
        putParent(m.fatherId, father);
        for (char c : {' ', ',', ' '}) line.put(c);
        putParent(m.motherId, mother);
        line.put('\n');
        std::size_t k = 0;
        for (; k < m.genotypes.size() && k < shownLoci; ++k) {
            const GenotypeRecord& g = m.genotypes[k];
            line.number(g.allele1);
            line.put(g.phased ? '|' : ' ');
            line.number(g.allele2);
            if (g.phased) {
                line.put('(');
                line.number(g.paternalSource);
                line.put(',');
                line.number(g.maternalSource);
                line.put(')');
            }
            line.put('\n');
        }
        for (; k < shownLoci; ++k) line.put('\n');
        dat.write(line.data(), static_cast<std::streamsize>(line.size()));
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
