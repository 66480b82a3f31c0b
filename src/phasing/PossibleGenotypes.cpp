#include "phasing/PossibleGenotypes.h"

#include "phasing/PhasingHelpers.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace tavirlen {

namespace {

// Working space of the narrowing, kept between calls on each thread: it runs
// after every fill, on sets of a few words, where allocating would cost more
// than the work.
struct NarrowingSpace {
    std::vector<std::uint64_t> kept;
    std::vector<std::uint64_t> before;
    std::vector<std::uint64_t> offspring;
    std::vector<std::size_t> queue;
    std::vector<char> queued;
    std::vector<std::size_t> changed;
    std::vector<std::pair<int, int>> fatherPairs, motherPairs;
    std::vector<std::size_t> couples; // 0, 1, 2, ... as far as the largest family asked
};

NarrowingSpace& narrowingSpace()
{
    thread_local NarrowingSpace space;
    return space;
}

} // namespace

CoupleLayout::CoupleLayout(const Pedigree& pedigree)
{
    slot_ = IdPositions(pedigree);
    members.reserve(pedigree.members.size());
    founders.reserve(pedigree.members.size());
    for (const auto& [id, m] : pedigree.members) {
        members.push_back(&m);
        founders.push_back(m.isFounder() ? 1 : 0);
    }
    // Couples are numbered by first child. A father's couples are found
    // through a list per father (few members have more than one mate), so
    // that a deep pedigree builds its layout in arrays, without a hash table.
    std::vector<std::size_t> firstCoupleOfFather(members.size(), npos);
    std::vector<std::size_t> nextCoupleOfFather;
    std::vector<std::pair<std::size_t, std::size_t>> children; // (couple, child slot)
    // Every list sized once for the family: at most a couple and a child per member.
    couples.reserve(members.size());
    nextCoupleOfFather.reserve(members.size());
    children.reserve(members.size());
    for (std::size_t slot = 0; slot < members.size(); ++slot) {
        const Individual& m = *members[slot];
        if (m.isFounder()) continue;
        const std::size_t father = slotOf(m.fatherId);
        const std::size_t mother = slotOf(m.motherId);
        if (father == npos || mother == npos) continue;
        std::size_t c = firstCoupleOfFather[father];
        while (c != npos && couples[c].mother != mother) c = nextCoupleOfFather[c];
        if (c == npos) {
            c = couples.size();
            couples.push_back({father, mother});
            nextCoupleOfFather.push_back(firstCoupleOfFather[father]);
            firstCoupleOfFather[father] = c;
        }
        children.emplace_back(c, slot);
    }
    childrenOf_.build(couples.size(), children);
    distinct.assign(couples.size(), 1);
    for (std::size_t c = 0; c < couples.size(); ++c) {
        if (couples[c].father == couples[c].mother) distinct[c] = 0;
        for (const std::size_t* child = childrenOf_.begin(c); child != childrenOf_.end(c); ++child)
            if (*child == couples[c].father || *child == couples[c].mother) distinct[c] = 0;
    }
    // Each member's couples in the order of the couples, as father or mother
    // first and then as child within each couple.
    std::vector<std::pair<std::size_t, std::size_t>> links;
    links.reserve(2 * couples.size() + children.size());
    for (std::size_t c = 0; c < couples.size(); ++c) {
        links.emplace_back(couples[c].father, c);
        if (couples[c].mother != couples[c].father) links.emplace_back(couples[c].mother, c);
        for (const std::size_t* child = childrenOf_.begin(c); child != childrenOf_.end(c); ++child)
            links.emplace_back(*child, c);
    }
    couplesOf_.build(members.size(), links);
}

PossibleGenotypes::PossibleGenotypes(const CoupleLayout& layout, std::size_t locus, const std::vector<int>& alleles)
    : layout_(&layout), locus_(locus)
{
    // A locus has few distinct alleles and a family many genotypes: alleles
    // below 64 (nearly every file's) are gathered as bits, the others looked
    // up among those seen, not all of them sorted.
    std::vector<int> large;
    for (int allele : alleles) {
        if (missingAllele(allele)) continue;
        if (allele < 64) {
            small_ |= Word{1} << allele;
        } else if (large.empty() || allele != large.back()) {
            auto at = std::lower_bound(large.begin(), large.end(), allele);
            if (at == large.end() || *at != allele) large.insert(at, allele);
        }
    }
    values_.reserve(static_cast<std::size_t>(__builtin_popcountll(small_)) + large.size());
    for (Word bits = small_; bits != 0; bits &= bits - 1) {
        const int allele = __builtin_ctzll(bits);
        smallIndex_[static_cast<std::size_t>(allele)] = static_cast<unsigned char>(values_.size());
        values_.push_back(allele);
    }
    values_.insert(values_.end(), large.begin(), large.end());
    const std::size_t classes = values_.size() + 1;
    size_ = classes * classes;
    const std::size_t count = layout.members.size();
    words_ = (size_ + 63) / 64;
    if (words_ == 1)
        for (std::size_t i = 0; i < classes; ++i)
            for (std::size_t j = 0; j < classes; ++j)
                pairOf_[i * classes + j] = static_cast<unsigned char>(i << 4 | j);
    // Every member starts with every genotype (the first member's flags are
    // the pattern), then keeps those its typed alleles allow.
    flags_.resize(count * words_);
    if (count == 0) return;
    for (std::size_t i = 0; i < classes; ++i)
        for (std::size_t j = i; j < classes; ++j) add(flagsOf(0), i * classes + j);
    if (words_ == 1) {
        startInOneWord(alleles);
    } else {
        for (std::size_t slot = 1; slot < count; ++slot) std::copy(flagsOf(0), flagsOf(0) + words_, flagsOf(slot));
        for (std::size_t slot = 0; slot < count; ++slot)
            restrictToAlleles(alleles[2 * slot], alleles[2 * slot + 1], slot);
    }
    std::vector<std::size_t>& all = narrowingSpace().couples;
    for (std::size_t c = all.size(); c < layout.couples.size(); ++c) all.push_back(c);
    narrow(all.data(), all.data() + layout.couples.size());
    for (std::size_t k = 0; k < count; ++k)
        if (noneLeft(k)) consistent_ = false;
}

// Every member's flags in one pass, from a mask per allele class: a typed
// member keeps its own genotype, one with a single typed allele the
// genotypes that hold it, an untyped one all of them.
void PossibleGenotypes::startInOneWord(const std::vector<int>& alleles)
{
    const Word all = flags_[0];
    const std::size_t classes = values_.size() + 1;
    std::array<Word, 8> holding{};
    for (std::size_t a = 0; a < classes; ++a)
        for (std::size_t j = 0; j < classes; ++j)
            holding[a] |= Word{1} << genotypeIndex(static_cast<int>(a), static_cast<int>(j));
    for (std::size_t slot = 0; slot < flags_.size(); ++slot) {
        const int allele1 = alleles[2 * slot];
        const int allele2 = alleles[2 * slot + 1];
        const bool missing1 = missingAllele(allele1);
        const bool missing2 = missingAllele(allele2);
        Word flags = all;
        if (!missing1 && !missing2)
            flags = Word{1} << genotypeIndex(valueIndex(allele1), valueIndex(allele2));
        else if (!missing1 || !missing2)
            flags = holding[static_cast<std::size_t>(valueIndex(missing1 ? allele2 : allele1))];
        flags_[slot] = flags;
    }
}

bool PossibleGenotypes::noneLeft(std::size_t slot) const
{
    if (words_ == 1) return flags_[slot] == 0;
    const Word* flags = flagsOf(slot);
    return std::none_of(flags, flags + words_, [](Word w) { return w != 0; });
}

int PossibleGenotypes::valueIndex(int allele) const
{
    if (allele >= 0 && allele < 64)
        return (small_ >> allele) & 1U ? smallIndex_[static_cast<std::size_t>(allele)] : static_cast<int>(values_.size());
    auto at = std::lower_bound(values_.begin(), values_.end(), allele);
    if (at == values_.end() || *at != allele) return static_cast<int>(values_.size());
    return static_cast<int>(at - values_.begin());
}

std::pair<int, int> PossibleGenotypes::classesOf(std::size_t g) const
{
    if (words_ == 1) return {pairOf_[g] >> 4, pairOf_[g] & 15};
    const std::size_t classes = values_.size() + 1;
    return {static_cast<int>(g / classes), static_cast<int>(g % classes)};
}

std::size_t PossibleGenotypes::genotypeIndex(int i, int j) const
{
    if (i > j) std::swap(i, j);
    return static_cast<std::size_t>(i) * (values_.size() + 1) + static_cast<std::size_t>(j);
}

void PossibleGenotypes::restrictToAlleles(int allele1, int allele2, std::size_t slot)
{
    const bool missing1 = missingAllele(allele1);
    const bool missing2 = missingAllele(allele2);
    if (missing1 && missing2) return;
    Word* flags = flagsOf(slot);
    const int classes = static_cast<int>(values_.size()) + 1;
    if (!missing1 && !missing2) {
        // Typed: its own genotype at most.
        const std::size_t own = genotypeIndex(valueIndex(allele1), valueIndex(allele2));
        const bool kept = has(flags, own);
        std::fill(flags, flags + words_, 0);
        if (kept) add(flags, own);
        return;
    }
    // One typed allele: the genotypes that hold it.
    const int a = valueIndex(missing1 ? allele2 : allele1);
    std::vector<Word>& holding = narrowingSpace().kept;
    holding.assign(words_, 0);
    for (int j = 0; j < classes; ++j) add(holding.data(), genotypeIndex(a, j));
    for (std::size_t w = 0; w < words_; ++w) flags[w] &= holding[w];
}

bool PossibleGenotypes::narrowCouple(std::size_t at, std::vector<std::size_t>& changedMembers)
{
    const Couple& couple = layout_->couples[at];
    const std::size_t words = words_;
    const std::size_t* children = layout_->childrenOf().begin(at);
    const std::size_t childCount = static_cast<std::size_t>(layout_->childrenOf().end(at) - children);
    Word* father = flagsOf(couple.father);
    Word* mother = flagsOf(couple.mother);
    // Most couples of a family are typed at most loci: each member has one
    // genotype left, and when every child's can come from the parents' the
    // couple keeps what it has.
    constexpr std::size_t none = CoupleLayout::npos;
    auto only = [words](const Word* flags) {
        std::size_t found = none;
        for (std::size_t w = 0; w < words; ++w) {
            if (flags[w] == 0) continue;
            if (found != none || (flags[w] & (flags[w] - 1)) != 0) return none;
            found = w * 64 + static_cast<std::size_t>(__builtin_ctzll(flags[w]));
        }
        return found;
    };
    // The four genotypes a child of these parent genotypes can have.
    auto offspringOf = [this](int f1, int f2, int m1, int m2) {
        return std::array<std::size_t, 4>{genotypeIndex(f1, m1), genotypeIndex(f1, m2), genotypeIndex(f2, m1),
                                          genotypeIndex(f2, m2)};
    };
    if (words == 1) return narrowCoupleInOneWord(at, changedMembers);
    const std::size_t fatherOnly = only(father);
    const std::size_t motherOnly = only(mother);
    if (fatherOnly != none && motherOnly != none) {
        const auto [f1, f2] = classesOf(fatherOnly);
        const auto [m1, m2] = classesOf(motherOnly);
        const auto offspring = offspringOf(f1, f2, m1, m2);
        bool keeps = true;
        for (std::size_t c = 0; c < childCount && keeps; ++c) {
            const std::size_t child = only(flagsOf(children[c]));
            keeps = child != none && std::find(offspring.begin(), offspring.end(), child) != offspring.end();
        }
        if (keeps) return false;
    }
    NarrowingSpace& space = narrowingSpace();
    space.kept.assign((2 + childCount) * words, 0);
    Word* fatherKept = space.kept.data();
    Word* motherKept = fatherKept + words;
    auto childKept = [&](std::size_t c) { return motherKept + (1 + c) * words; };
    auto childFlags = [&](std::size_t c) -> const Word* { return flagsOf(children[c]); };
    // The genotypes each parent still has, as allele-class pairs.
    auto pairsOf = [&](const Word* flags, std::vector<std::pair<int, int>>& pairs) {
        pairs.clear();
        for (std::size_t w = 0; w < words; ++w)
            for (Word bits = flags[w]; bits != 0; bits &= bits - 1) {
                pairs.push_back(classesOf(w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))));
            }
    };
    pairsOf(father, space.fatherPairs);
    pairsOf(mother, space.motherPairs);

    // A parent pair's four offspring genotypes as a mask over the words of
    // a member's flags: with up to seven alleles that is one word, and each
    // child is tested against all four at once.
    std::vector<Word>& offspring = space.offspring;
    auto fits = [&](const Word* child) {
        for (std::size_t w = 0; w < words; ++w)
            if ((child[w] & offspring[w]) != 0) return true;
        return false;
    };
    for (auto [f1, f2] : space.fatherPairs) {
        for (auto [m1, m2] : space.motherPairs) {
            offspring.assign(words, 0);
            for (std::size_t o : offspringOf(f1, f2, m1, m2)) add(offspring.data(), o);
            bool every = true;
            for (std::size_t c = 0; c < childCount && every; ++c) every = fits(childFlags(c));
            if (!every) continue;
            add(fatherKept, genotypeIndex(f1, f2));
            add(motherKept, genotypeIndex(m1, m2));
            for (std::size_t c = 0; c < childCount; ++c) {
                const Word* child = childFlags(c);
                Word* kept = childKept(c);
                for (std::size_t w = 0; w < words; ++w) kept[w] |= child[w] & offspring[w];
            }
        }
    }

    // Compared first, then written father, mother, children in turn: where
    // one member stands in two places of the couple, the last write holds.
    const std::size_t before = changedMembers.size();
    if (!std::equal(fatherKept, fatherKept + words, father)) changedMembers.push_back(couple.father);
    if (!std::equal(motherKept, motherKept + words, mother)) changedMembers.push_back(couple.mother);
    std::copy(fatherKept, fatherKept + words, father);
    std::copy(motherKept, motherKept + words, mother);
    for (std::size_t c = 0; c < childCount; ++c) {
        Word* flags = flagsOf(children[c]);
        const Word* kept = childKept(c);
        if (!std::equal(kept, kept + words, flags)) changedMembers.push_back(children[c]);
        std::copy(kept, kept + words, flags);
    }
    return changedMembers.size() > before;
}

// Up to seven alleles (nearly every locus) give one word per member: a
// genotype left alone is a single bit, and the four offspring of a pair of
// parent genotypes are one mask that each child is tested against at once.
bool PossibleGenotypes::narrowCoupleInOneWord(std::size_t at, std::vector<std::size_t>& changedMembers)
{
    const Couple& couple = layout_->couples[at];
    const std::size_t* children = layout_->childrenOf().begin(at);
    const std::size_t childCount = static_cast<std::size_t>(layout_->childrenOf().end(at) - children);
    const Word father = flags_[couple.father];
    const Word mother = flags_[couple.mother];
    auto offspringOf = [this](std::size_t fatherFlag, std::size_t motherFlag) {
        const auto [f1, f2] = classesOf(fatherFlag);
        const auto [m1, m2] = classesOf(motherFlag);
        return Word{1} << genotypeIndex(f1, m1) | Word{1} << genotypeIndex(f1, m2) | Word{1} << genotypeIndex(f2, m1)
            | Word{1} << genotypeIndex(f2, m2);
    };
    // Most couples of a family are typed at most loci: each member has one
    // genotype left, and when every child's can come from the parents' the
    // couple keeps what it has.
    auto single = [](Word w) { return w != 0 && (w & (w - 1)) == 0; };
    if (single(father) && single(mother)) {
        const Word offspring = offspringOf(static_cast<std::size_t>(__builtin_ctzll(father)),
                                           static_cast<std::size_t>(__builtin_ctzll(mother)));
        bool keeps = true;
        for (std::size_t c = 0; c < childCount && keeps; ++c) {
            const Word child = flags_[children[c]];
            keeps = single(child) && (child & offspring) != 0;
        }
        if (keeps) return false;
    }
    std::vector<Word>& childKept = narrowingSpace().kept;
    childKept.assign(childCount, 0);
    Word fatherKept = 0;
    Word motherKept = 0;
    for (Word fathers = father; fathers != 0; fathers &= fathers - 1) {
        const std::size_t f = static_cast<std::size_t>(__builtin_ctzll(fathers));
        for (Word mothers = mother; mothers != 0; mothers &= mothers - 1) {
            const std::size_t m = static_cast<std::size_t>(__builtin_ctzll(mothers));
            const Word offspring = offspringOf(f, m);
            bool every = true;
            for (std::size_t c = 0; c < childCount && every; ++c) every = (flags_[children[c]] & offspring) != 0;
            if (!every) continue;
            fatherKept |= Word{1} << f;
            motherKept |= Word{1} << m;
            for (std::size_t c = 0; c < childCount; ++c) childKept[c] |= flags_[children[c]] & offspring;
        }
    }
    // Compared first, then written father, mother, children in turn: where
    // one member stands in two places of the couple, the last write holds.
    const std::size_t before = changedMembers.size();
    if (fatherKept != father) changedMembers.push_back(couple.father);
    if (motherKept != mother) changedMembers.push_back(couple.mother);
    flags_[couple.father] = fatherKept;
    flags_[couple.mother] = motherKept;
    for (std::size_t c = 0; c < childCount; ++c) {
        if (childKept[c] != flags_[children[c]]) changedMembers.push_back(children[c]);
        flags_[children[c]] = childKept[c];
    }
    return changedMembers.size() > before;
}

// Narrowing only removes genotypes, and what a couple keeps depends only on
// what its members still have, so narrowing the couples in any order until
// none changes ends at the same sets. A couple is narrowed again only when
// one of its members has lost a genotype: a deep pedigree costs time in
// proportion to its couples, not to their square.
void PossibleGenotypes::narrow(const std::size_t* first, const std::size_t* last)
{
    const std::vector<Couple>& couples = layout_->couples;
    NarrowingSpace& space = narrowingSpace();
    std::vector<std::size_t>& queue = space.queue;
    std::vector<char>& queued = space.queued;
    std::vector<std::size_t>& changed = space.changed;
    queue.assign(first, last);
    // Every flag is cleared again when its couple leaves the queue, so the
    // flags are all clear here: a fill narrows a few couples, and clearing
    // a flag per couple of the family each time would make a deep pedigree
    // quadratic.
    if (queued.size() < couples.size()) queued.resize(couples.size(), 0);
    for (const std::size_t* c = first; c != last; ++c) queued[*c] = 1;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        std::size_t c = queue[head];
        queued[c] = 0;
        changed.clear();
        if (!narrowCouple(c, changed)) continue;
        for (std::size_t member : changed) {
            if (noneLeft(member)) consistent_ = false;
            for (const std::size_t* at = layout_->couplesOf().begin(member); at != layout_->couplesOf().end(member); ++at) {
                const std::size_t other = *at;
                // A couple of different members keeps, narrowed again, just
                // what its narrowing left: every pair of parent genotypes that
                // supported its children still does.
                if (queued[other] || (other == c && layout_->distinct[c])) continue;
                queued[other] = 1;
                queue.push_back(other);
            }
        }
    }
}

bool PossibleGenotypes::allows(int id, int a, int b) const
{
    if (!consistent_) return true;
    const std::size_t slot = layout_->slotOf(id);
    if (slot == CoupleLayout::npos) return true;
    const Word* flags = flagsOf(slot);
    const int classes = static_cast<int>(values_.size()) + 1;
    if (missingAllele(a)) std::swap(a, b);
    if (missingAllele(a)) return !noneLeft(slot);
    int i = valueIndex(a);
    if (!missingAllele(b)) return has(flags, genotypeIndex(i, valueIndex(b)));
    for (int j = 0; j < classes; ++j)
        if (has(flags, genotypeIndex(i, j))) return true;
    return false;
}

void PossibleGenotypes::update(int id)
{
    if (!consistent_) return;
    const std::size_t slot = layout_->slotOf(id);
    if (slot == CoupleLayout::npos) return;
    const Individual& member = *layout_->members[slot];
    std::vector<Word>& before = narrowingSpace().before;
    before.assign(flagsOf(slot), flagsOf(slot) + words_);
    // A filled allele may be one nobody carried before; it belongs to the
    // class of other alleles, which is where the narrowing counted it.
    if (locus_ < member.genotypes.size())
        restrictToAlleles(member.genotypes[locus_].allele1, member.genotypes[locus_].allele2, slot);
    // The sets are narrowed to the end, so when the member keeps every
    // genotype it had (the fill was one the sets already forced), narrowing
    // its couples again would change nothing.
    if (std::equal(before.begin(), before.end(), flagsOf(slot))) return;
    if (noneLeft(slot)) consistent_ = false;
    narrow(layout_->couplesOf().begin(slot), layout_->couplesOf().end(slot));
}

} // namespace tavirlen
