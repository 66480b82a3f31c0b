#include "exact/GeneLabelling.h"

#include <utility>

namespace tavirlen {

namespace {

// The allele that completes {a, b} with v, or 0 when v is neither.
AlleleCode partner(AlleleCode v, AlleleCode a, AlleleCode b)
{
    return v == a ? b : v == b ? a : 0;
}

} // namespace

void GeneLabelling::settle(int group, int labelling)
{
    for (int g = 0; g < maximumGenes; ++g) {
        if (group_[g] != group) continue;
        AlleleCode v = labelling ? value1_[g] : value0_[g];
        value0_[g] = value1_[g] = v;
        group_[g] = noGroup;
    }
}

void GeneLabelling::merge(int from, int into, bool crosswise)
{
    for (int g = 0; g < maximumGenes; ++g) {
        if (group_[g] != from) continue;
        if (crosswise) std::swap(value0_[g], value1_[g]);
        group_[g] = static_cast<std::uint8_t>(into);
    }
}

bool GeneLabelling::fix(int gene, AlleleCode a)
{
    if (group_[gene] == noGroup) {
        if (value0_[gene] == 0) {
            value0_[gene] = value1_[gene] = a;
            return true;
        }
        return value0_[gene] == a;
    }
    if (value0_[gene] == a) {
        settle(group_[gene], 0);
        return true;
    }
    if (value1_[gene] == a) {
        settle(group_[gene], 1);
        return true;
    }
    return false;
}

bool GeneLabelling::pairWithFree(int x, int y, AlleleCode a, AlleleCode b)
{
    if (isFree(y)) {
        // A new group; x names it (a free gene is in no group, so no live
        // group has its name).
        value0_[x] = a;
        value1_[x] = b;
        value0_[y] = b;
        value1_[y] = a;
        group_[x] = group_[y] = static_cast<std::uint8_t>(x);
        return true;
    }
    if (group_[y] == noGroup) {
        AlleleCode other = partner(value0_[y], a, b);
        if (!other) return false;
        value0_[x] = value1_[x] = other;
        return true;
    }
    AlleleCode other0 = partner(value0_[y], a, b);
    AlleleCode other1 = partner(value1_[y], a, b);
    if (other0 && other1) {
        value0_[x] = other0;
        value1_[x] = other1;
        group_[x] = group_[y];
        return true;
    }
    if (!other0 && !other1) return false;
    settle(group_[y], other0 ? 0 : 1);
    value0_[x] = value1_[x] = other0 ? other0 : other1;
    return true;
}

bool GeneLabelling::pair(int x, int y, AlleleCode a, AlleleCode b)
{
    if (isFree(x)) return pairWithFree(x, y, a, b);
    if (isFree(y)) return pairWithFree(y, x, a, b);
    if (group_[x] == noGroup) {
        AlleleCode other = partner(value0_[x], a, b);
        return other && fix(y, other);
    }
    if (group_[y] == noGroup) {
        AlleleCode other = partner(value0_[y], a, b);
        return other && fix(x, other);
    }
    const int gx = group_[x], gy = group_[y];
    if (gx == gy) {
        bool fits0 = partner(value0_[x], a, b) == value0_[y] && value0_[y] != 0;
        bool fits1 = partner(value1_[x], a, b) == value1_[y] && value1_[y] != 0;
        if (fits0 && fits1) return true;
        if (!fits0 && !fits1) return false;
        settle(gx, fits0 ? 0 : 1);
        return true;
    }
    // Two groups: which labelling of y goes with each labelling of x. Values
    // within a group differ, so each labelling of x has at most one partner.
    int partnerOf[2] = {-1, -1};
    for (int lx = 0; lx < 2; ++lx) {
        AlleleCode wanted = partner(lx ? value1_[x] : value0_[x], a, b);
        if (!wanted) continue;
        if (value0_[y] == wanted) partnerOf[lx] = 0;
        if (value1_[y] == wanted) partnerOf[lx] = 1;
    }
    if (partnerOf[0] >= 0 && partnerOf[1] >= 0) {
        merge(gy, gx, partnerOf[0] == 1);
        return true;
    }
    if (partnerOf[0] < 0 && partnerOf[1] < 0) return false;
    int lx = partnerOf[0] >= 0 ? 0 : 1;
    int ly = partnerOf[lx];
    settle(gx, lx);
    settle(gy, ly);
    return true;
}

} // namespace tavirlen
