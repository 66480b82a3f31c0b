#include "pedigree/Pedigree.h"

#include "pedigree/RunContext.h"

namespace tavirlen {

namespace {

void writeParent(std::ostream& dat, int familyId, int parentId)
{
    if (parentId == 0)
        dat << " ";
    else
        dat << familyId << "-" << parentId;
}

} // namespace

bool Pedigree::writeDat(std::ostream& dat) const
{
    constexpr std::size_t shownLoci = 10;
    for (const auto& [id, m] : members) {
        dat << familyId << "-" << id << "\n";
        dat << (m.sex == 1 ? "M" : "F") << "\n";
        writeParent(dat, familyId, m.fatherId);
        dat << " , ";
        writeParent(dat, familyId, m.motherId);
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
    endClock = processClock();
    res << familyId << "\t " << recombinantCount << "\t "
        << static_cast<double>(endClock - startClock) * 0.001 << "\n";
    res.flush();
    return true;
}

bool Pedigree::writeOut(std::FILE* out) const
{
    if (!out) return true;
    for (const auto& [id, m] : members) {
        std::fprintf(out, "%d\t%d\t%d\t%d\t%d\t%d\t%d\t", familyId, id, m.fatherId, m.motherId,
                     m.sex, 0, 0);
        for (const GenotypeRecord& g : m.genotypes) std::fprintf(out, "%d|%d\t", g.allele1, g.allele2);
        for (const GenotypeRecord& g : m.genotypes) std::fprintf(out, "%d", g.paternalSource);
        std::fprintf(out, "\t");
        for (const GenotypeRecord& g : m.genotypes) std::fprintf(out, "%d", g.maternalSource);
        std::fprintf(out, "\n");
    }
    return true;
}

} // namespace tavirlen
