#include "phasing/PossibleGenotypes.h"

#include "phasing/PhasingHelpers.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <set>
#include <utility>

namespace tavirlen {

PossibleGenotypes::PossibleGenotypes(const Pedigree& pedigree, std::size_t locus) : locus_(locus)
{
    std::set<int> typed;
    for (const auto& [id, m] : pedigree.members) {
        if (locus >= m.genotypes.size()) continue;
        for (int allele : {m.genotypes[locus].allele1, m.genotypes[locus].allele2})
            if (!missingAllele(allele)) typed.insert(allele);
    }
    values_.assign(typed.begin(), typed.end());
    const std::size_t classes = values_.size() + 1;
    size_ = classes * classes;
    slot_.reserve(pedigree.members.size());
    for (const auto& [id, m] : pedigree.members) slot_.emplace(id, slot_.size());
    flags_.assign(slot_.size() * size_, 0);
    couplesOf_.assign(slot_.size(), {});
    std::unordered_map<std::uint64_t, std::size_t> coupleIndex;
    std::size_t slot = 0;
    for (const auto& [id, m] : pedigree.members) {
        char* flags = flagsOf(slot);
        for (std::size_t i = 0; i < classes; ++i)
            for (std::size_t j = i; j < classes; ++j) flags[i * classes + j] = 1;
        restrictToAlleles(m, slot);
        ++slot;
        if (m.isFounder() || !pedigree.member(m.fatherId) || !pedigree.member(m.motherId)) continue;
        auto [at, added] = coupleIndex.insert(
            {static_cast<std::uint64_t>(static_cast<std::uint32_t>(m.fatherId)) << 32 | static_cast<std::uint32_t>(m.motherId),
             couples_.size()});
        if (added) couples_.push_back({slot_.at(m.fatherId), slot_.at(m.motherId), {}});
        couples_[at->second].children.push_back(slot - 1);
    }
    for (std::size_t c = 0; c < couples_.size(); ++c) {
        couplesOf_[couples_[c].father].push_back(c);
        if (couples_[c].mother != couples_[c].father) couplesOf_[couples_[c].mother].push_back(c);
        for (std::size_t child : couples_[c].children) couplesOf_[child].push_back(c);
    }
    std::vector<std::size_t> all(couples_.size());
    for (std::size_t c = 0; c < all.size(); ++c) all[c] = c;
    narrow(all);
    for (std::size_t k = 0; k < slot_.size(); ++k)
        if (noneLeft(k)) consistent_ = false;
}

bool PossibleGenotypes::noneLeft(std::size_t slot) const
{
    const char* flags = flagsOf(slot);
    return std::none_of(flags, flags + size_, [](char f) { return f != 0; });
}

int PossibleGenotypes::valueIndex(int allele) const
{
    auto at = std::lower_bound(values_.begin(), values_.end(), allele);
    if (at == values_.end() || *at != allele) return static_cast<int>(values_.size());
    return static_cast<int>(at - values_.begin());
}

std::size_t PossibleGenotypes::genotypeIndex(int i, int j) const
{
    if (i > j) std::swap(i, j);
    return static_cast<std::size_t>(i) * (values_.size() + 1) + static_cast<std::size_t>(j);
}

void PossibleGenotypes::restrictToAlleles(const Individual& member, std::size_t slot)
{
    if (locus_ >= member.genotypes.size()) return;
    const GenotypeRecord& g = member.genotypes[locus_];
    const bool missing1 = missingAllele(g.allele1);
    const bool missing2 = missingAllele(g.allele2);
    if (missing1 && missing2) return;
    char* flags = flagsOf(slot);
    const int classes = static_cast<int>(values_.size()) + 1;
    if (!missing1 && !missing2) {
        // Typed: its own genotype at most.
        const std::size_t own = genotypeIndex(valueIndex(g.allele1), valueIndex(g.allele2));
        for (int i = 0; i < classes; ++i)
            for (int j = i; j < classes; ++j)
                if (genotypeIndex(i, j) != own) flags[genotypeIndex(i, j)] = 0;
        return;
    }
    const int a = valueIndex(missing1 ? g.allele2 : g.allele1);
    for (int i = 0; i < classes; ++i)
        for (int j = i; j < classes; ++j)
            if (i != a && j != a) flags[genotypeIndex(i, j)] = 0;
}

bool PossibleGenotypes::narrowCouple(const Couple& couple, std::vector<std::size_t>& changedMembers)
{
    const int classes = static_cast<int>(values_.size()) + 1;
    const std::size_t size = size_;
    char* father = flagsOf(couple.father);
    char* mother = flagsOf(couple.mother);
    std::vector<char> fatherKept(size, 0);
    std::vector<char> motherKept(size, 0);
    std::vector<std::vector<char>> childKept(couple.children.size(), std::vector<char>(size, 0));
    std::vector<const char*> children;
    for (std::size_t child : couple.children) children.push_back(flagsOf(child));

    for (int f1 = 0; f1 < classes; ++f1) {
        for (int f2 = f1; f2 < classes; ++f2) {
            if (!father[genotypeIndex(f1, f2)]) continue;
            for (int m1 = 0; m1 < classes; ++m1) {
                for (int m2 = m1; m2 < classes; ++m2) {
                    if (!mother[genotypeIndex(m1, m2)]) continue;
                    const std::size_t offspring[4] = {genotypeIndex(f1, m1), genotypeIndex(f1, m2),
                                                      genotypeIndex(f2, m1), genotypeIndex(f2, m2)};
                    bool every = true;
                    for (std::size_t c = 0; c < children.size() && every; ++c) {
                        bool any = false;
                        for (std::size_t o : offspring) any = any || children[c][o];
                        every = any;
                    }
                    if (!every) continue;
                    fatherKept[genotypeIndex(f1, f2)] = 1;
                    motherKept[genotypeIndex(m1, m2)] = 1;
                    for (std::size_t c = 0; c < children.size(); ++c)
                        for (std::size_t o : offspring)
                            if (children[c][o]) childKept[c][o] = 1;
                }
            }
        }
    }

    // Compared first, then written father, mother, children in turn: where
    // one member stands in two places of the couple, the last write holds.
    const std::size_t before = changedMembers.size();
    if (!std::equal(fatherKept.begin(), fatherKept.end(), father)) changedMembers.push_back(couple.father);
    if (!std::equal(motherKept.begin(), motherKept.end(), mother)) changedMembers.push_back(couple.mother);
    std::copy(fatherKept.begin(), fatherKept.end(), father);
    std::copy(motherKept.begin(), motherKept.end(), mother);
    for (std::size_t c = 0; c < couple.children.size(); ++c) {
        char* flags = flagsOf(couple.children[c]);
        if (!std::equal(childKept[c].begin(), childKept[c].end(), flags)) changedMembers.push_back(couple.children[c]);
        std::copy(childKept[c].begin(), childKept[c].end(), flags);
    }
    return changedMembers.size() > before;
}

// Narrowing only removes genotypes, and what a couple keeps depends only on
// what its members still have, so narrowing the couples in any order until
// none changes ends at the same sets. A couple is narrowed again only when
// one of its members has lost a genotype: a deep pedigree costs time in
// proportion to its couples, not to their square.
void PossibleGenotypes::narrow(const std::vector<std::size_t>& start)
{
    std::deque<std::size_t> queue(start.begin(), start.end());
    std::vector<char> queued(couples_.size(), 0);
    for (std::size_t c : start) queued[c] = 1;
    std::vector<std::size_t> changed;
    while (!queue.empty()) {
        std::size_t c = queue.front();
        queue.pop_front();
        queued[c] = 0;
        changed.clear();
        if (!narrowCouple(couples_[c], changed)) continue;
        for (std::size_t member : changed) {
            if (noneLeft(member)) consistent_ = false;
            for (std::size_t other : couplesOf_[member]) {
                if (queued[other]) continue;
                queued[other] = 1;
                queue.push_back(other);
            }
        }
    }
}

bool PossibleGenotypes::allows(int id, int a, int b) const
{
    if (!consistent_) return true;
    auto found = slot_.find(id);
    if (found == slot_.end()) return true;
    const char* flags = flagsOf(found->second);
    const int classes = static_cast<int>(values_.size()) + 1;
    if (missingAllele(a)) std::swap(a, b);
    if (missingAllele(a)) return !noneLeft(found->second);
    int i = valueIndex(a);
    if (!missingAllele(b)) return flags[genotypeIndex(i, valueIndex(b))] != 0;
    for (int j = 0; j < classes; ++j)
        if (flags[genotypeIndex(i, j)]) return true;
    return false;
}

void PossibleGenotypes::update(const Pedigree& pedigree, int id)
{
    if (!consistent_) return;
    const Individual* m = pedigree.member(id);
    auto found = slot_.find(id);
    if (!m || found == slot_.end()) return;
    // A filled allele may be one nobody carried before; it belongs to the
    // class of other alleles, which is where the narrowing counted it.
    restrictToAlleles(*m, found->second);
    if (noneLeft(found->second)) consistent_ = false;
    narrow(couplesOf_[found->second]);
}

} // namespace tavirlen
