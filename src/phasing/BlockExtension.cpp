#include "phasing/BlockExtension.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/Random.h"
#include "phasing/BlockWalk.h"
#include "phasing/BottomUpOrder.h"
#include "phasing/PhaseIndex.h"
#include "phasing/PhasingHelpers.h"
#include "phasing/PossibleGenotypes.h"
#include "phasing/Sibships.h"
#include "phasing/Sources.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <utility>

namespace tavirlen {

namespace {

// A draw scaled to [0, 1].
constexpr double drawScale = 3.051850947599719e-5;

bool carries(const GenotypeRecord& g, int allele)
{
    return allele == g.allele1 || allele == g.allele2;
}

// A parent with a missing allele could have passed on anything.
bool couldHavePassed(const GenotypeRecord& parent, int allele)
{
    return carries(parent, allele) || lacksAllele(parent);
}

// The algorithm needs every member to have the family's number of loci and
// every non-founder to have both parents in the family.
bool phaseable(const Pedigree& pedigree)
{
    for (const auto& [id, m] : pedigree.members) {
        if (static_cast<int>(m.genotypes.size()) != pedigree.locusCount) return false;
        if (m.isFounder()) continue;
        if (!pedigree.member(m.fatherId) || !pedigree.member(m.motherId)) return false;
    }
    return true;
}

// An unphased locus that has one typed allele: the fills below read the slot
// of that allele as the side it came from. When the parent of its slot cannot
// have passed it on but the other parent can, it is moved to the other slot,
// so that nothing is filled against a typed parent.
void placeTypedAllele(GenotypeRecord& g, const GenotypeRecord& father, const GenotypeRecord& mother)
{
    if (g.phased || missingAllele(g.allele1) == missingAllele(g.allele2)) return;
    int side = missingAllele(g.allele1) ? 1 : 0;
    const GenotypeRecord& own = side == 0 ? father : mother;
    const GenotypeRecord& other = side == 0 ? mother : father;
    int allele = g.allele(side);
    if (!couldHavePassed(own, allele) && couldHavePassed(other, allele)) std::swap(g.allele1, g.allele2);
}

// What the family's typed alleles still allow at every locus where some
// member lacks an allele: a fill must keep every child fitting its parents.
// The sets read the layout, which outlives them; one walk over the members
// gathers the alleles of every such locus.
//
// Built again for every pass, they take over the sets of the `earlier`
// constraints at each locus where these are still what a fresh build would
// give (see currentAt): the narrowing ends at the same sets from the same
// genotypes, so a locus is narrowed afresh only when a pass filled in an
// allele the sets could not tell from the others.
class FillConstraints {
public:
    FillConstraints(const Pedigree& pedigree, const CoupleLayout& layout, FillConstraints* earlier = nullptr)
        : layout_(&layout)
    {
        const std::size_t loci = static_cast<std::size_t>(pedigree.locusCount);
        const std::size_t count = layout.members.size();
        // One walk over the members finds the loci that lack alleles and,
        // against the earlier sets, those whose genotypes changed since.
        // Only a member that lacked an allele then can lack one now or have
        // changed (fills only fill), so with earlier sets of this layout the
        // walk reads those members alone.
        // What the walk finds per locus, in one array (a family builds these
        // sets a few times, most families are small, and each array costs
        // an allocation).
        struct Scan {
            const int* held = nullptr; // the earlier sets' alleles
            char lacking = 0;
            char changed = 0;
            char kept = 0;
        };
        std::vector<Scan> scan(loci);
        const bool subset = earlier && earlier->layout_ == &layout && earlier->mayLack_.size() == count;
        if (earlier)
            for (std::size_t k = 0; k < loci; ++k) scan[k].held = earlier->heldAt(k, count);
        mayLack_.assign(count, 0);
        for (std::size_t slot = 0; slot < count; ++slot) {
            if (subset && !earlier->mayLack_[slot]) continue;
            const std::vector<GenotypeRecord>& genotypes = layout.members[slot]->genotypes;
            for (std::size_t k = 0; k < loci; ++k) {
                const GenotypeRecord& g = genotypes[k];
                Scan& s = scan[k];
                if (lacksAllele(g)) s.lacking = mayLack_[slot] = 1;
                if (s.held && !sameGenotype(g.allele1, g.allele2, s.held[2 * slot], s.held[2 * slot + 1]))
                    s.changed = 1;
            }
        }
        // A locus whose sets are current is taken over with the alleles they
        // hold; the others are read from the members in a second walk.
        position_.assign(loci, none);
        std::vector<std::size_t> fresh;
        fresh.reserve(loci);
        std::size_t lackingCount = 0;
        for (std::size_t k = 0; k < loci; ++k) {
            Scan& s = scan[k];
            if (!s.lacking) continue;
            position_[k] = lackingCount++;
            s.kept = s.held && !s.changed && earlier->currentAt(k);
            if (!s.kept) fresh.push_back(k);
        }
        seen_.resize(lackingCount);
        foreign_.assign(lackingCount, 0);
        for (std::size_t k : fresh) seen_[position_[k]].assign(2 * count, 0);
        for (std::size_t slot = 0; slot < count && !fresh.empty(); ++slot) {
            const std::vector<GenotypeRecord>& genotypes = layout.members[slot]->genotypes;
            for (std::size_t k : fresh) {
                int* column = seen_[position_[k]].data();
                column[2 * slot] = genotypes[k].allele1;
                column[2 * slot + 1] = genotypes[k].allele2;
            }
        }
        loci_.reserve(lackingCount);
        for (std::size_t k = 0; k < loci; ++k) {
            if (position_[k] == none) continue;
            if (scan[k].kept) {
                const std::size_t i = earlier->position_[k];
                loci_.push_back(std::move(earlier->loci_[i]));
                seen_[position_[k]] = std::move(earlier->seen_[i]);
                foreign_[position_[k]] = earlier->foreign_[i];
            } else {
                loci_.emplace_back(layout, k, seen_[position_[k]]);
            }
        }
    }
    FillConstraints(const FillConstraints&) = delete;
    FillConstraints& operator=(const FillConstraints&) = delete;

    // The loci where the typed alleles admit no fill at all, ascending.
    std::vector<std::size_t> unfillableLoci() const
    {
        std::vector<std::size_t> loci;
        for (std::size_t k = 0; k < position_.size(); ++k)
            if (position_[k] != none && !loci_[position_[k]].consistent()) loci.push_back(k);
        return loci;
    }

    // Whether the member in this slot can lack an allele: false for one
    // that lacked none when the sets were built (no pass takes alleles away).
    bool mayLack(std::size_t slot) const { return slot >= mayLack_.size() || mayLack_[slot]; }
    const CoupleLayout& layout() const { return *layout_; }

    bool allows(std::size_t k, int id, int a, int b) const
    {
        return k >= position_.size() || position_[k] == none || loci_[position_[k]].allows(id, a, b);
    }

    // The sets are narrowed to the end after every update, so an update
    // that meets the genotype the sets already hold changes nothing and is
    // passed over.
    void update(const Pedigree&, std::size_t k, int id)
    {
        if (k >= position_.size() || position_[k] == none) return;
        const std::size_t i = position_[k];
        const std::size_t slot = layout_->slotOf(id);
        if (slot == CoupleLayout::npos) return;
        const GenotypeRecord& g = layout_->members[slot]->genotypes[k];
        int* held = &seen_[i][2 * slot];
        if (sameGenotype(g.allele1, g.allele2, held[0], held[1])) return;
        held[0] = g.allele1;
        held[1] = g.allele2;
        for (int allele : {g.allele1, g.allele2})
            if (!missingAllele(allele) && !loci_[i].hasOwnClass(allele)) foreign_[i] = 1;
        loci_[i].update(id);
    }

private:
    static bool sameGenotype(int a1, int a2, int b1, int b2)
    {
        return (a1 == b1 && a2 == b2) || (a1 == b2 && a2 == b1);
    }

    // The alleles the sets at locus k hold now, two per member slot; null
    // when there are no sets there (or they are for another family size).
    const int* heldAt(std::size_t k, std::size_t count) const
    {
        if (k >= position_.size() || position_[k] == none) return nullptr;
        const std::vector<int>& held = seen_[position_[k]];
        return held.size() == 2 * count ? held.data() : nullptr;
    }

    // Whether the sets at locus k, as the updates left them, are those that
    // building them afresh from the genotypes they last met would give (the
    // caller has checked that these are the family's genotypes now). Fills
    // only add alleles and every update narrows to the end, so they are, as
    // long as the sets are consistent (an update stops at inconsistent
    // ones) and every allele held has the class of its own that a fresh
    // build would give it.
    bool currentAt(std::size_t k) const
    {
        const std::size_t i = position_[k];
        return loci_[i].consistent() && !foreign_[i];
    }

    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    const CoupleLayout* layout_;
    std::vector<std::size_t> position_;     // per locus, its sets in loci_ or none
    std::vector<PossibleGenotypes> loci_;   // per lacking locus
    std::vector<std::vector<int>> seen_;    // per lacking locus, the alleles its sets hold now
    // Per lacking locus, whether an update has brought in an allele without a
    // class of its own. A build gives every allele it reads a class, and a
    // filled allele stays, so this answers for all the held alleles without
    // reading them again.
    std::vector<char> foreign_;
    std::vector<char> mayLack_;             // per slot
};

// A parent's missing alleles from its children: a child's allele that the
// child's other parent does not carry came from this member; a homozygous
// child's allele did in any case. A candidate that would leave some child
// of the family without a fitting pair of parents is passed over.
void inferFromChildren(Pedigree& pedigree, Individual& m, FillConstraints& constraints)
{
    if (m.childIds.empty() || m.mateId == 0 || !pedigree.member(m.mateId)) return;
    for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
        GenotypeRecord& g = m.genotypes[k];
        if (!lacksAllele(g)) continue;
        for (int childId : m.childIds) {
            if (!lacksAllele(g)) break;
            const Individual* child = pedigree.member(childId);
            if (!child) continue;
            // A half-sibling is read against its own other parent.
            int otherId = child->fatherId == m.individualId ? child->motherId : child->fatherId;
            const Individual* other = pedigree.member(otherId);
            if (!other) continue;
            const GenotypeRecord& c = child->genotypes[k];
            const GenotypeRecord& o = other->genotypes[k];
            int candidate = 0;
            if (!carries(o, c.allele2))
                candidate = c.allele2;
            else if (!carries(o, c.allele1))
                candidate = c.allele1;
            if (c.homozygousTyped()) candidate = c.allele1;
            if (missingAllele(candidate)) candidate = 0;
            if (!missingAllele(g.allele1) && missingAllele(g.allele2)) {
                if (candidate != g.allele1 && constraints.allows(k, m.individualId, g.allele1, candidate))
                    g.allele2 = candidate;
            } else if (constraints.allows(k, m.individualId, candidate, g.allele2)) {
                g.allele1 = candidate;
            }
            constraints.update(pedigree, k, m.individualId);
        }
    }
}

// A non-founder's missing alleles from homozygous parents. Returns whether
// anything was set.
bool inferFromParents(Pedigree& pedigree, Individual& m, FillConstraints& constraints)
{
    const Individual* father = parentOf(pedigree, m, 0);
    const Individual* mother = parentOf(pedigree, m, 1);
    if (!father || !mother) return false;
    bool changed = false;
    for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
        GenotypeRecord& g = m.genotypes[k];
        if (!lacksAllele(g)) continue;
        placeTypedAllele(g, father->genotypes[k], mother->genotypes[k]);
        for (int side = 0; side < 2; ++side) {
            const GenotypeRecord& p = (side == 0 ? father : mother)->genotypes[k];
            if (!p.homozygousTyped()) continue;
            if (!g.phased) {
                GenotypeRecord before = g;
                if (!missingAllele(g.allele(side)) && g.allele(side) != p.allele1)
                    std::swap(g.allele1, g.allele2);
                g.allele(side) = p.allele1;
                // A single typed allele equal to this parent's may be the one
                // it passed on; when the member's children rule out a second
                // copy, it is, and the other allele stays to be found.
                if (!constraints.allows(k, m.individualId, g.allele1, g.allele2)
                    && before.allele(1 - side) == p.allele1 && missingAllele(before.allele(side))) {
                    g = before;
                    std::swap(g.allele1, g.allele2);
                }
                g.phased = true;
                changed = true;
            } else if (missingAllele(g.allele(side))) {
                g.allele(side) = p.allele1;
                changed = true;
            }
        }
        constraints.update(pedigree, k, m.individualId);
    }
    return changed;
}

// One bottom-up pass; returns whether another pass is wanted. The order
// depends only on the family's links, so the first pass records it in
// `sequence` and later passes follow the record: a pass then reads only the
// members that can still lack an allele.
bool inferencePass(Pedigree& pedigree, FillConstraints& constraints, BottomUpOrder& order, std::vector<int>& sequence)
{
    bool again = false;
    auto infer = [&](int id) {
        // Both inferences fill only missing alleles of the member itself.
        if (!constraints.mayLack(constraints.layout().slotOf(id))) return;
        Individual& m = *pedigree.member(id);
        inferFromChildren(pedigree, m, constraints);
        if (!m.isFounder() && inferFromParents(pedigree, m, constraints) && !m.childIds.empty()) again = true;
    };
    // The order keeps the visits; nothing in the pass reads visitedIds.
    pedigree.visitedIds.clear();
    if (!sequence.empty()) {
        for (int id : sequence) infer(id);
        return again;
    }
    order.restart(pedigree);
    for (std::size_t visited = 0; visited < pedigree.members.size(); ++visited) {
        int id = order.next();
        if (id == 0) break;
        infer(id);
        order.visit(id);
        sequence.push_back(id);
    }
    return again;
}

// The allele whose cumulative founder frequency first exceeds u, in
// ascending allele order; 0 when none does. With `allowed`, only the alleles
// it admits count, their frequencies scaled to a sum of 1.
int founderAllele(const Pedigree& pedigree, std::size_t k, double u,
                  const std::function<bool(int)>& allowed = nullptr)
{
    const DatasetSummary* summary = pedigree.datasetSummary;
    if (!summary || k >= summary->alleleCounts.size()) return 0;
    const std::map<int, int>& counts = summary->alleleCounts[k];
    int missing = 0;
    for (const auto& [allele, count] : counts)
        if (missingAllele(allele)) missing += count;
    double typed = 2.0 * summary->founderCount - missing;
    if (typed <= 0) return 0;
    auto admitted = [&](int allele) { return !missingAllele(allele) && (!allowed || allowed(allele)); };
    double threshold = u;
    if (allowed) {
        double total = 0;
        for (const auto& [allele, count] : counts)
            if (admitted(allele)) total += count / typed;
        threshold = u * total;
    }
    double sum = 0;
    for (const auto& [allele, count] : counts) {
        if (!admitted(allele)) continue;
        sum += count / typed;
        if (sum > threshold) return allele;
    }
    return 0;
}

// An allele the constraints admit when no counted founder allele does: one
// of the family's typed alleles at the locus, chosen by u; 0 when none fits.
int familyAllele(const Pedigree& pedigree, std::size_t k, double u, const std::function<bool(int)>& allowed)
{
    std::vector<int> values;
    for (const auto& [id, m] : pedigree.members)
        for (int allele : {m.genotypes[k].allele1, m.genotypes[k].allele2})
            if (!missingAllele(allele) && allowed(allele)) values.push_back(allele);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    if (values.empty()) return 0;
    std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(u * static_cast<double>(values.size())));
    return values[at];
}

void fill(GenotypeRecord& g, int paternal, int maternal)
{
    bool missing1 = missingAllele(g.allele1);
    bool missing2 = missingAllele(g.allele2);
    if (missing1) g.allele1 = paternal;
    if (missing2) g.allele2 = maternal;
}

} // namespace

namespace {

// A founder's missing alleles by the founder frequencies. Where the drawn
// pair would leave a child of the family without fitting parents, each
// missing allele is drawn again with the same number among the alleles
// that still fit.
void fillFounder(Pedigree& pedigree, FillConstraints& constraints, int id, std::size_t k, double u1, double u2)
{
    GenotypeRecord& g = pedigree.member(id)->genotypes[k];
    const bool missing1 = missingAllele(g.allele1);
    const bool missing2 = missingAllele(g.allele2);
    int first = missing1 ? founderAllele(pedigree, k, u1) : g.allele1;
    int second = missing2 ? founderAllele(pedigree, k, u2) : g.allele2;
    if (!constraints.allows(k, id, first, second)) {
        auto pick = [&](double u, const std::function<bool(int)>& allowed) {
            int allele = founderAllele(pedigree, k, u, allowed);
            return allele != 0 ? allele : familyAllele(pedigree, k, u, allowed);
        };
        if (missing1)
            first = pick(u1, [&](int a) { return constraints.allows(k, id, a, missing2 ? 0 : g.allele2); });
        if (missing2) second = pick(u2, [&](int a) { return constraints.allows(k, id, first, a); });
    }
    fill(g, first, second);
    constraints.update(pedigree, k, id);
}

// A non-founder's missing alleles from its parents: the drawn allele of each
// parent. Where that would leave the member or a child of its without fitting
// parents, the parents' other alleles and the other slot of a single typed
// allele are tried in turn.
void fillFromParents(Pedigree& pedigree, FillConstraints& constraints, Individual& m, std::size_t k, double u1,
                     double u2)
{
    const GenotypeRecord& f = parentOf(pedigree, m, 0)->genotypes[k];
    const GenotypeRecord& mo = parentOf(pedigree, m, 1)->genotypes[k];
    GenotypeRecord& g = m.genotypes[k];
    placeTypedAllele(g, f, mo);
    const int paternal[2] = {u1 < 0.5 ? f.allele1 : f.allele2, u1 < 0.5 ? f.allele2 : f.allele1};
    const int maternal[2] = {u2 < 0.5 ? mo.allele1 : mo.allele2, u2 < 0.5 ? mo.allele2 : mo.allele1};
    // The record as it stands and, for a single typed allele not yet
    // placed, with that allele in the other slot.
    GenotypeRecord orders[2] = {g, g};
    std::swap(orders[1].allele1, orders[1].allele2);
    const int orderCount = !g.phased && missingAllele(g.allele1) != missingAllele(g.allele2) ? 2 : 1;
    for (int o = 0; o < orderCount; ++o) {
        for (int choice = 0; choice < 4; ++choice) {
            GenotypeRecord trial = orders[o];
            fill(trial, paternal[choice & 1], maternal[choice >> 1]);
            bool fits = couldHavePassed(f, trial.allele1) || missingAllele(trial.allele1);
            fits = fits && (couldHavePassed(mo, trial.allele2) || missingAllele(trial.allele2));
            if (fits && constraints.allows(k, m.individualId, trial.allele1, trial.allele2)) {
                g.allele1 = trial.allele1;
                g.allele2 = trial.allele2;
                constraints.update(pedigree, k, m.individualId);
                return;
            }
        }
    }
    // Nothing fits everywhere (the typed alleles already contradict each
    // other across the family): the drawn alleles as they come.
    fill(g, paternal[0], maternal[0]);
    constraints.update(pedigree, k, m.individualId);
}

// Every member draws two numbers per locus, whether it lacks alleles there
// or not, so that the numbers each member gets do not depend on what the
// members before it lack. A member that lacks none only draws.
void fillMissingAllelesRandomly(Pedigree& pedigree, FillConstraints& constraints)
{
    const CoupleLayout& layout = constraints.layout();
    const std::size_t loci = static_cast<std::size_t>(pedigree.locusCount);
    auto drawOnly = [loci] { skipRandom(2 * loci); };
    for (std::size_t slot = 0; slot < layout.members.size(); ++slot) {
        if (!layout.founders[slot]) continue;
        if (!constraints.mayLack(slot)) {
            drawOnly();
            continue;
        }
        const int id = layout.members[slot]->individualId;
        Individual& m = *pedigree.member(id);
        for (std::size_t k = 0; k < m.genotypes.size(); ++k) {
            double u1 = rand() * drawScale;
            double u2 = rand() * drawScale;
            if (lacksAllele(m.genotypes[k])) fillFounder(pedigree, constraints, id, k, u1, u2);
        }
    }
    for (int id : pedigree.processingOrder) {
        const std::size_t slot = layout.slotOf(id);
        if (slot == CoupleLayout::npos || layout.founders[slot]) continue;
        if (!constraints.mayLack(slot)) {
            drawOnly();
            continue;
        }
        Individual* m = pedigree.member(id);
        const bool bothParents = parentOf(pedigree, *m, 0) && parentOf(pedigree, *m, 1);
        for (std::size_t k = 0; k < m->genotypes.size(); ++k) {
            double u1 = rand() * drawScale;
            double u2 = rand() * drawScale;
            if (lacksAllele(m->genotypes[k]) && bothParents) fillFromParents(pedigree, constraints, *m, k, u1, u2);
        }
    }
}

// The family's layout and bottom-up order serve every pass: filling alleles
// changes no link. `constraints` are those of the family as it stands, when
// at hand.
void inferMissingAlleles(Pedigree& pedigree, const CoupleLayout& layout, std::unique_ptr<FillConstraints> constraints,
                         BottomUpOrder& order)
{
    std::unique_ptr<FillConstraints> earlier;
    auto next = [&] {
        auto built = std::make_unique<FillConstraints>(pedigree, layout, earlier.get());
        earlier.reset();
        return built;
    };
    int passes = 1;
    std::vector<int> sequence;
    for (;;) {
        if (!constraints) constraints = next();
        const bool again = inferencePass(pedigree, *constraints, order, sequence);
        earlier = std::move(constraints);
        if (!again) break;
        ++passes;
    }
    // The random fill follows every pass; later runs only meet alleles that
    // an earlier run could not fill.
    for (int i = 0; i < passes; ++i) {
        constraints = next();
        fillMissingAllelesRandomly(pedigree, *constraints);
        earlier = std::move(constraints);
    }
}

// Every child checked against its parents one at a time can still leave no
// way to fill the missing alleles so that all children fit (three children
// with three different alleles from one untyped parent). Reports each such
// locus in one line; such a family is treated as Mendelian inconsistent.
bool missingAllelesCanFit(const Pedigree& pedigree, const FillConstraints& constraints)
{
    const std::vector<std::size_t> loci = constraints.unfillableLoci();
    for (std::size_t k : loci)
        std::cout << "Mendel Error: family " << pedigree.familyText() << " at Locus: " << k
                  << " has no genotypes for its missing alleles that fit every child\n";
    return loci.empty();
}

} // namespace

void fillMissingAllelesRandomly(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return;
    const CoupleLayout layout(pedigree);
    FillConstraints constraints(pedigree, layout);
    fillMissingAllelesRandomly(pedigree, constraints);
}

void inferMissingAlleles(Pedigree& pedigree)
{
    if (!sameLocusCount(pedigree)) return;
    BottomUpOrder order(pedigree);
    inferMissingAlleles(pedigree, CoupleLayout(pedigree), nullptr, order);
}

bool runBlockExtension(Pedigree& pedigree)
{
    if (!phaseable(pedigree)) return false;
    if (!pedigree.checkMendel()) return false;
    // The check's sets are the first inference pass's: nothing changes between.
    const CoupleLayout layout(pedigree);
    auto constraints = std::make_unique<FillConstraints>(pedigree, layout);
    if (!missingAllelesCanFit(pedigree, *constraints)) return false;
    // Filling alleles and phasing change no link: one bottom-up order serves
    // every walk.
    BottomUpOrder order(pedigree);
    inferMissingAlleles(pedigree, layout, std::move(constraints), order);
    phaseByMendel(pedigree);
    inferFromSibships(pedigree, order);
    // One index for all the walks: each walk then costs what its block
    // holds, not the whole map.
    PhaseIndex index(pedigree);
    extendFromSeed(pedigree, index);
    while (findNextBlock(pedigree, index)) extendFromSeed(pedigree, index);
    countRecombinants(pedigree);
    return true;
}

} // namespace tavirlen
