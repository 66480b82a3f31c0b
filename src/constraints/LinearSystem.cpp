#include "constraints/LinearSystem.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace tavirlen {

void normaliseEquation(Equation& equation)
{
    std::vector<int>& v = equation.variables;
    std::sort(v.begin(), v.end());
    // Walk from the end of the sorted list and drop adjacent equal pairs, so an
    // entry listed an odd number of times stays once.
    std::vector<int> kept;
    kept.reserve(v.size());
    for (std::size_t k = v.size(); k > 0;) {
        if (k >= 2 && v[k - 1] == v[k - 2]) {
            k -= 2;
        } else {
            kept.push_back(v[k - 1]);
            k -= 1;
        }
    }
    v.assign(kept.rbegin(), kept.rend());
}

Equation addEquations(const Equation& a, const Equation& b)
{
    Equation sum;
    std::set_symmetric_difference(a.variables.begin(), a.variables.end(), b.variables.begin(),
                                  b.variables.end(), std::back_inserter(sum.variables));
    sum.constant = a.constant ^ b.constant;
    return sum;
}

LinearSystem::LinearSystem(int variableCount)
    : value_(static_cast<std::size_t>(std::max(variableCount, 0)), -1)
{
}

bool LinearSystem::addKnown(int variable, int value)
{
    signed char& known = value_[static_cast<std::size_t>(variable)];
    if (known == -1) {
        known = static_cast<signed char>(value);
        return true;
    }
    return known == value;
}

void LinearSystem::addEquation(Equation equation)
{
    normaliseEquation(equation);
    equations_.push_back(std::move(equation));
    removed_.push_back(false);
}

bool LinearSystem::solve()
{
    removed_.assign(equations_.size(), false);
    for (;;) {
        if (!substituteKnowns()) return false;
        if (!removeDuplicates()) return false;
        bool newKnown = false;
        if (!eliminate(newKnown)) return false;
        // A known found by elimination may still sit in other equations;
        // substitute it and eliminate again.
        if (!newKnown) break;
    }
    dropRemoved();
    return true;
}

// Removes every known variable from equation e (a known one flips the
// constant). An empty equation is dropped, or is a contradiction when its
// constant is 1; a single-variable equation becomes a known.
bool LinearSystem::reduceByKnowns(std::size_t e, std::vector<int>& newlyKnown)
{
    Equation& q = equations_[e];
    auto isKnown = [this](int v) { return value_[static_cast<std::size_t>(v)] != -1; };
    if (std::any_of(q.variables.begin(), q.variables.end(), isKnown)) {
        for (int v : q.variables)
            if (value_[static_cast<std::size_t>(v)] == 1) q.constant ^= 1;
        q.variables.erase(std::remove_if(q.variables.begin(), q.variables.end(), isKnown),
                          q.variables.end());
    }
    if (q.variables.empty()) {
        removed_[e] = true;
        return q.constant == 0;
    }
    if (q.variables.size() == 1) {
        int x = q.variables.front();
        removed_[e] = true;
        if (value_[static_cast<std::size_t>(x)] == -1) newlyKnown.push_back(x);
        return addKnown(x, q.constant);
    }
    return true;
}

bool LinearSystem::substituteKnowns()
{
    // Which equations hold each variable; equations only shrink while
    // substituting, so the lists stay a superset of the truth.
    const std::size_t n = value_.size();
    std::vector<int> start(n + 1, 0);
    for (std::size_t e = 0; e < equations_.size(); ++e)
        if (!removed_[e])
            for (int v : equations_[e].variables) ++start[static_cast<std::size_t>(v) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<int> holders(static_cast<std::size_t>(start[n]));
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (std::size_t e = 0; e < equations_.size(); ++e)
        if (!removed_[e])
            for (int v : equations_[e].variables)
                holders[static_cast<std::size_t>(fill[static_cast<std::size_t>(v)]++)] = static_cast<int>(e);

    std::vector<int> newlyKnown;
    for (std::size_t e = equations_.size(); e-- > 0;)
        if (!removed_[e] && !reduceByKnowns(e, newlyKnown)) return false;
    while (!newlyKnown.empty()) {
        const std::size_t v = static_cast<std::size_t>(newlyKnown.back());
        newlyKnown.pop_back();
        for (int k = start[v]; k < start[v + 1]; ++k) {
            const std::size_t e = static_cast<std::size_t>(holders[static_cast<std::size_t>(k)]);
            if (!removed_[e] && !reduceByKnowns(e, newlyKnown)) return false;
        }
    }
    return true;
}

bool LinearSystem::removeDuplicates()
{
    std::vector<std::size_t> live;
    for (std::size_t e = 0; e < equations_.size(); ++e)
        if (!removed_[e]) live.push_back(e);
    std::stable_sort(live.begin(), live.end(), [this](std::size_t a, std::size_t b) {
        return equations_[a].variables < equations_[b].variables;
    });
    for (std::size_t k = 1; k < live.size(); ++k) {
        const Equation& first = equations_[live[k - 1]];
        const Equation& second = equations_[live[k]];
        if (first.variables != second.variables) continue;
        if (first.constant != second.constant) return false;
        removed_[live[k]] = true;
        live[k] = live[k - 1]; // the kept one stands for both in the next comparison
    }
    return true;
}

bool LinearSystem::eliminate(bool& newKnown)
{
    // pivot[v]: the equation whose leading variable is v.
    std::vector<int> pivot(value_.size(), -1);
    for (std::size_t e = equations_.size(); e-- > 0;) {
        if (removed_[e]) continue;
        Equation& q = equations_[e];
        while (!q.variables.empty()) {
            int p = pivot[static_cast<std::size_t>(q.leading())];
            if (p < 0) break;
            q = addEquations(q, equations_[static_cast<std::size_t>(p)]);
        }
        if (q.variables.empty()) {
            if (q.constant != 0) return false;
            removed_[e] = true;
        } else if (q.variables.size() == 1) {
            int x = q.variables.front();
            if (value_[static_cast<std::size_t>(x)] == -1) newKnown = true;
            if (!addKnown(x, q.constant)) return false;
            removed_[e] = true;
        } else {
            pivot[static_cast<std::size_t>(q.leading())] = static_cast<int>(e);
        }
    }
    return true;
}

void LinearSystem::dropRemoved()
{
    std::vector<Equation> kept;
    for (std::size_t e = 0; e < equations_.size(); ++e)
        if (!removed_[e]) kept.push_back(std::move(equations_[e]));
    std::sort(kept.begin(), kept.end(),
              [](const Equation& a, const Equation& b) { return a.leading() < b.leading(); });
    equations_ = std::move(kept);
    removed_.assign(equations_.size(), false);
}

std::vector<int> LinearSystem::freeVariables() const
{
    std::vector<bool> leading(value_.size(), false);
    for (const Equation& q : equations_) leading[static_cast<std::size_t>(q.leading())] = true;
    std::vector<int> freeList;
    for (std::size_t v = 0; v < value_.size(); ++v)
        if (value_[v] == -1 && !leading[v]) freeList.push_back(static_cast<int>(v));
    return freeList;
}

void LinearSystem::evaluate(std::uint64_t configuration, const std::vector<int>& freeList,
                            std::vector<int>& values) const
{
    values.assign(value_.size(), 0);
    for (std::size_t v = 0; v < value_.size(); ++v)
        if (value_[v] != -1) values[v] = value_[v];
    for (std::size_t k = 0; k < freeList.size(); ++k)
        values[static_cast<std::size_t>(freeList[k])] =
            k < 64 ? static_cast<int>((configuration >> k) & 1u) : 0;
    // Every other variable of an equation is smaller than its leading one, so
    // ascending leading variables always read values already set.
    for (const Equation& q : equations_) {
        int sum = q.constant;
        for (std::size_t k = 0; k + 1 < q.variables.size(); ++k)
            sum ^= values[static_cast<std::size_t>(q.variables[k])];
        values[static_cast<std::size_t>(q.leading())] = sum;
    }
}

} // namespace tavirlen
