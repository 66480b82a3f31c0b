#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"

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

bool Pedigree::writeOut(std::FILE* out) const
{
    if (!out) return true;
    const std::string family = familyText();
    for (const auto& [id, m] : members) {
        std::fprintf(out, "%s\t%s\t%s\t%s\t%d\t%d\t%d\t", family.c_str(), idText(id).c_str(),
                     idText(m.fatherId).c_str(), idText(m.motherId).c_str(), m.sex, 0, 0);
        for (const GenotypeRecord& g : m.genotypes) std::fprintf(out, "%d|%d\t", g.allele1, g.allele2);
        for (const GenotypeRecord& g : m.genotypes) std::fprintf(out, "%d", g.paternalSource);
        std::fprintf(out, "\t");
        for (const GenotypeRecord& g : m.genotypes) std::fprintf(out, "%d", g.maternalSource);
        std::fprintf(out, "\n");
    }
    return true;
}

} // namespace tavirlen
