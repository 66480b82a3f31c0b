#include "PhasingTestSupport.h"

#include <sstream>
#include <stdexcept>

namespace tavirlen::test {

std::string loci(const Individual& member)
{
    std::ostringstream text;
    for (std::size_t k = 0; k < member.genotypes.size(); ++k) {
        const GenotypeRecord& g = member.genotypes[k];
        if (k) text << ' ';
        text << g.allele1 << (g.phased ? '|' : ' ') << g.allele2 << '(' << g.paternalSource << ','
             << g.maternalSource << ')';
    }
    return text.str();
}

std::string loci(const Pedigree& pedigree, int id)
{
    const Individual* m = pedigree.member(id);
    if (!m) throw std::invalid_argument("no member " + std::to_string(id));
    return loci(*m);
}

void setLoci(Individual& member, const std::string& text)
{
    std::istringstream in(text);
    for (GenotypeRecord& g : member.genotypes) {
        char bar = 0;
        char open = 0;
        char comma = 0;
        char close = 0;
        in >> g.allele1;
        in.get(bar);
        in >> g.allele2 >> open >> g.paternalSource >> comma >> g.maternalSource >> close;
        if (!in || (bar != '|' && bar != ' ') || open != '(' || comma != ',' || close != ')')
            throw std::invalid_argument("bad loci text: " + text);
        g.phased = bar == '|';
    }
}

} // namespace tavirlen::test
