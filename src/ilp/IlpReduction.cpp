#include "ilp/IlpReduction.h"

#include <algorithm>
#include <iostream>
#include <unordered_map>

namespace tavirlen {

int classRepresentative(const MergedClass& merged)
{
    if (!merged.firstSet.empty()) return *merged.firstSet.begin();
    return merged.secondSet.empty() ? 0 : *merged.secondSet.begin();
}

namespace {

int variableOf(int literal) { return literal < 0 ? -literal : literal; }
int signOf(int literal) { return literal < 0 ? -1 : 1; }

// One coefficient per variable of a row, in order of first appearance.
struct Term {
    int variable;
    int coefficient;
};

enum class RowOutcome { kept, removed, inconsistent };
enum class MergeOutcome { unchanged, merged, fixed, inconsistent };

// The working state of one reduction: the model and an index from variable
// to the class that holds it. Every variable is in at most one class, and a
// class is either wholly open or wholly fixed: fixing one member fixes all.
class Reducer {
public:
    explicit Reducer(IlpModel& model) : model_(model) { indexClasses(); }

    bool failed() const { return model_.inconsistent || model_.fixConflicts > 0; }
    bool mergedSinceSubstitution() const { return mergedSinceSubstitution_; }

    int propagate();
    MergeOutcome merge(int a, int b);
    void mergeTwoTermEqualityRows();
    void uniteClasses();
    void substitute();
    int reduceTwoTermRows();
    void enterImplications();
    int fixContradictions();
    bool mergeComponents();

private:
    void indexClasses();
    void reportInconsistency()
    {
        std::cout << "Find inconsistency\n";
        model_.inconsistent = true;
    }
    // Fixes v and its whole class; true when that changed anything.
    bool fix(int v, int value);
    bool makeTrue(int literal) { return fix(variableOf(literal), literal > 0 ? 1 : 0); }
    RowOutcome settleRow(IlpRow& row, bool equality, bool& changed, bool& merged);
    bool propagationPass(bool& merged);
    bool settleImplications();

    IlpModel& model_;
    std::unordered_map<int, std::size_t> classOf_;
    bool mergedSinceSubstitution_ = false;
};

void Reducer::indexClasses()
{
    classOf_.clear();
    for (std::size_t i = 0; i < model_.mergedClasses.size(); ++i) {
        for (int v : model_.mergedClasses[i].firstSet) classOf_[v] = i;
        for (int v : model_.mergedClasses[i].secondSet) classOf_[v] = i;
    }
}

bool Reducer::fix(int v, int value)
{
    if (model_.fixedValue(v) == value) return false;
    if (!model_.fixVariable(v, value)) return false;
    auto found = classOf_.find(v);
    if (found == classOf_.end()) return true;
    const MergedClass& merged = model_.mergedClasses[found->second];
    int firstValue = merged.firstSet.count(v) ? value : 1 - value;
    for (int w : merged.firstSet) model_.fixVariable(w, firstValue);
    for (int w : merged.secondSet) model_.fixVariable(w, 1 - firstValue);
    return true;
}

// Settles one row as far as its own bounds allow: fixed terms leave it, a row
// that can only hold one way fixes its terms, a two-variable equality becomes
// a merged pair, a row that always holds goes.
RowOutcome Reducer::settleRow(IlpRow& row, bool equality, bool& changed, bool& merged)
{
    while (true) {
        int rhs = row.back();
        IlpRow open;
        for (std::size_t i = 0; i + 1 < row.size(); ++i) {
            int value = model_.fixedValue(variableOf(row[i]));
            if (value < 0)
                open.push_back(row[i]);
            else
                rhs -= signOf(row[i]) * value;
        }
        if (open.size() + 1 != row.size()) {
            open.push_back(rhs);
            row = open;
            changed = true;
        }

        std::vector<Term> terms;
        for (std::size_t i = 0; i + 1 < row.size(); ++i) {
            int v = variableOf(row[i]);
            auto same = std::find_if(terms.begin(), terms.end(), [v](const Term& t) { return t.variable == v; });
            if (same == terms.end())
                terms.push_back({v, signOf(row[i])});
            else
                same->coefficient += signOf(row[i]);
        }
        terms.erase(std::remove_if(terms.begin(), terms.end(), [](const Term& t) { return t.coefficient == 0; }),
                    terms.end());
        int lowest = 0;
        int highest = 0;
        for (const Term& t : terms) (t.coefficient < 0 ? lowest : highest) += t.coefficient;

        if (lowest > rhs || (equality && highest < rhs)) {
            reportInconsistency();
            return RowOutcome::inconsistent;
        }
        if (terms.empty()) return RowOutcome::removed;
        if (!equality && highest <= rhs) return RowOutcome::removed;

        if (equality && terms.size() == 2 && lowest < rhs && rhs < highest) {
            // Two variables with unit coefficients and one free unit of
            // slack: as literals, exactly one of the two is true.
            int a = terms[0].coefficient > 0 ? terms[0].variable : -terms[0].variable;
            int b = terms[1].coefficient > 0 ? terms[1].variable : -terms[1].variable;
            if (std::abs(terms[0].coefficient) == 1 && std::abs(terms[1].coefficient) == 1) {
                MergeOutcome outcome = merge(a, b);
                if (outcome == MergeOutcome::inconsistent) return RowOutcome::inconsistent;
                if (outcome == MergeOutcome::merged) merged = true;
                changed = true;
                return RowOutcome::removed;
            }
        }

        // A variable whose one value would leave the rest unable to meet the
        // right-hand side takes the other value.
        bool fixed = false;
        for (const Term& t : terms) {
            int size = std::abs(t.coefficient);
            int forced = -1;
            if (lowest + size > rhs) forced = t.coefficient > 0 ? 0 : 1;
            if (equality && highest - size < rhs) forced = t.coefficient > 0 ? 1 : 0;
            if (forced >= 0 && fix(t.variable, forced)) fixed = true;
            if (failed()) return RowOutcome::inconsistent;
        }
        if (!fixed) return RowOutcome::kept;
        changed = true;
    }
}

bool Reducer::settleImplications()
{
    bool changed = false;
    auto& graph = model_.implicationGraph;
    for (auto it = graph.begin(); it != graph.end();) {
        int premise = it->first;
        int value = model_.literalValue(premise);
        if (value == 1) {
            for (int conclusion : it->second)
                if (makeTrue(conclusion)) changed = true;
        } else if (value == -1) {
            std::set<int>& conclusions = it->second;
            for (auto c = conclusions.begin(); c != conclusions.end();) {
                int result = model_.literalValue(*c);
                if (result == 0) {
                    // A false conclusion makes its premise false.
                    makeTrue(-premise);
                    changed = true;
                    break;
                }
                c = result == 1 ? conclusions.erase(c) : std::next(c);
            }
            if (model_.literalValue(premise) == -1) {
                ++it;
                continue;
            }
        }
        if (failed()) return changed;
        it = graph.erase(it);
        changed = true;
    }
    // True conclusions are settled wherever they stand; a false one stays
    // until the next pass makes its premise false.
    for (auto& [premise, conclusions] : graph)
        for (auto c = conclusions.begin(); c != conclusions.end();)
            c = model_.literalValue(*c) == 1 ? conclusions.erase(c) : std::next(c);
    return changed;
}

bool Reducer::propagationPass(bool& merged)
{
    bool changed = false;
    for (int kind = 0; kind < 2; ++kind) {
        bool equality = kind == 0;
        std::vector<IlpRow>& rows = equality ? model_.equalityRows : model_.inequalityRows;
        std::vector<bool> removed(rows.size(), false);
        for (std::size_t i = rows.size(); i-- > 0;) {
            RowOutcome outcome = settleRow(rows[i], equality, changed, merged);
            if (outcome == RowOutcome::inconsistent) return changed;
            if (outcome == RowOutcome::removed) {
                removed[i] = true;
                changed = true;
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (removed[i]) continue;
            if (kept != i) rows[kept] = std::move(rows[i]);
            ++kept;
        }
        rows.resize(kept);
    }
    if (settleImplications()) changed = true;
    return changed;
}

int Reducer::propagate()
{
    bool merged = false;
    while (propagationPass(merged) && !failed()) {
    }
    if (failed()) return -1;
    return merged ? 1 : 0;
}

MergeOutcome Reducer::merge(int a, int b)
{
    int va = variableOf(a);
    int vb = variableOf(b);
    // a + b = 1: literals of the same sign name opposite variables.
    bool opposite = (a > 0) == (b > 0);
    if (va == vb) {
        if (!opposite) return MergeOutcome::unchanged;
        reportInconsistency();
        return MergeOutcome::inconsistent;
    }
    int fa = model_.fixedValue(va);
    int fb = model_.fixedValue(vb);
    if (fa >= 0 || fb >= 0) {
        if (fa >= 0)
            fix(vb, opposite ? 1 - fa : fa);
        else
            fix(va, opposite ? 1 - fb : fb);
        return failed() ? MergeOutcome::inconsistent : MergeOutcome::fixed;
    }
    auto ca = classOf_.find(va);
    auto cb = classOf_.find(vb);
    if (ca == classOf_.end() && cb == classOf_.end()) {
        MergedClass merged;
        merged.firstSet.insert(va);
        (opposite ? merged.secondSet : merged.firstSet).insert(vb);
        model_.mergedClasses.push_back(merged);
        classOf_[va] = classOf_[vb] = model_.mergedClasses.size() - 1;
    } else if (ca == classOf_.end() || cb == classOf_.end()) {
        int member = ca == classOf_.end() ? vb : va;
        int joining = ca == classOf_.end() ? va : vb;
        std::size_t index = classOf_[member];
        MergedClass& merged = model_.mergedClasses[index];
        bool inFirst = merged.firstSet.count(member) > 0;
        (inFirst != opposite ? merged.firstSet : merged.secondSet).insert(joining);
        classOf_[joining] = index;
    } else {
        std::size_t ia = ca->second;
        std::size_t ib = cb->second;
        bool aFirst = model_.mergedClasses[ia].firstSet.count(va) > 0;
        bool bFirst = model_.mergedClasses[ib].firstSet.count(vb) > 0;
        // Whether the two classes' first sets take opposite values.
        bool crosswise = (aFirst == bFirst) == opposite;
        if (ia == ib) {
            if (!crosswise) return MergeOutcome::unchanged;
            reportInconsistency();
            return MergeOutcome::inconsistent;
        }
        std::size_t keep = std::min(ia, ib);
        std::size_t pour = std::max(ia, ib);
        MergedClass& target = model_.mergedClasses[keep];
        MergedClass& source = model_.mergedClasses[pour];
        (crosswise ? target.secondSet : target.firstSet).insert(source.firstSet.begin(), source.firstSet.end());
        (crosswise ? target.firstSet : target.secondSet).insert(source.secondSet.begin(), source.secondSet.end());
        model_.mergedClasses.erase(model_.mergedClasses.begin() + static_cast<std::ptrdiff_t>(pour));
        indexClasses();
    }
    mergedSinceSubstitution_ = true;
    return MergeOutcome::merged;
}

void Reducer::mergeTwoTermEqualityRows()
{
    std::vector<IlpRow>& rows = model_.equalityRows;
    for (std::size_t i = rows.size(); i-- > 0;) {
        if (rows[i].size() != 3) continue;
        bool changed = false;
        bool merged = false;
        RowOutcome outcome = settleRow(rows[i], true, changed, merged);
        if (outcome == RowOutcome::inconsistent) return;
        if (outcome == RowOutcome::removed) rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
    }
    // Whatever that fixed must leave the other rows too.
    propagate();
}

void Reducer::uniteClasses()
{
    std::vector<MergedClass>& classes = model_.mergedClasses;
    // The earliest class that holds each variable.
    std::unordered_map<int, std::size_t> holder;
    auto findHolders = [&]() {
        holder.clear();
        for (std::size_t j = 0; j < classes.size(); ++j) {
            for (int v : classes[j].firstSet) holder.emplace(v, j);
            for (int v : classes[j].secondSet) holder.emplace(v, j);
        }
    };
    findHolders();
    for (std::size_t i = classes.size(); i-- > 1;) {
        std::size_t target = i;
        int shared = 0;
        for (const std::set<int>* set : {&classes[i].firstSet, &classes[i].secondSet}) {
            for (int v : *set) {
                std::size_t j = holder.at(v);
                if (j < target) {
                    target = j;
                    shared = v;
                }
            }
        }
        if (target == i) continue;
        MergedClass& into = classes[target];
        const MergedClass& from = classes[i];
        bool sameRank = (into.firstSet.count(shared) > 0) == (from.firstSet.count(shared) > 0);
        (sameRank ? into.firstSet : into.secondSet).insert(from.firstSet.begin(), from.firstSet.end());
        (sameRank ? into.secondSet : into.firstSet).insert(from.secondSet.begin(), from.secondSet.end());
        classes.erase(classes.begin() + static_cast<std::ptrdiff_t>(i));
        for (int v : into.firstSet) {
            if (into.secondSet.count(v)) {
                reportInconsistency();
                break;
            }
        }
        findHolders();
    }
    indexClasses();
}

void Reducer::substitute()
{
    for (std::vector<IlpRow>* rows : {&model_.equalityRows, &model_.inequalityRows}) {
        for (IlpRow& row : *rows) {
            for (std::size_t i = 0; i + 1 < row.size(); ++i) {
                int v = variableOf(row[i]);
                auto found = classOf_.find(v);
                if (found == classOf_.end()) continue;
                const MergedClass& merged = model_.mergedClasses[found->second];
                int representative = classRepresentative(merged);
                if (v == representative) continue;
                const std::set<int>& ownSet = merged.firstSet.empty() ? merged.secondSet : merged.firstSet;
                if (ownSet.count(v)) {
                    row[i] = signOf(row[i]) * representative;
                } else {
                    // v = 1 - representative.
                    row.back() -= signOf(row[i]);
                    row[i] = -signOf(row[i]) * representative;
                }
            }
        }
    }
    mergedSinceSubstitution_ = false;
}

int Reducer::reduceTwoTermRows()
{
    std::vector<IlpRow>& rows = model_.inequalityRows;
    bool fixedAny = false;
    for (std::size_t i = rows.size(); i-- > 0;) {
        IlpRow& row = rows[i];
        if (row.size() != 3) continue;
        int a = row[0];
        int b = row[1];
        bool removeRow = false;
        if (variableOf(a) == variableOf(b) || model_.fixedValue(variableOf(a)) >= 0
            || model_.fixedValue(variableOf(b)) >= 0) {
            bool changed = false;
            bool merged = false;
            RowOutcome outcome = settleRow(row, false, changed, merged);
            if (outcome == RowOutcome::inconsistent) return -1;
            fixedAny = fixedAny || changed;
            removeRow = outcome == RowOutcome::removed;
        } else {
            // As literals (a term -v is the literal "v is 0" less one), the
            // row bounds how many of a and b may be true.
            int bound = row[2] + (a < 0 ? 1 : 0) + (b < 0 ? 1 : 0);
            if (bound >= 2) {
                removeRow = true;
            } else if (bound < 0) {
                reportInconsistency();
                return -1;
            } else if (bound == 0) {
                makeTrue(-a);
                makeTrue(-b);
                if (failed()) return -1;
                fixedAny = true;
                removeRow = true;
            } else {
                model_.implicationPairs.push_back({a, -b});
                model_.implicationPairs.push_back({b, -a});
            }
        }
        if (removeRow) rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (!fixedAny) return 0;
    return propagate();
}

void Reducer::enterImplications()
{
    for (std::size_t i = model_.enteredPairs; i < model_.implicationPairs.size(); ++i) {
        auto [premise, conclusion] = model_.implicationPairs[i];
        model_.implicationGraph[premise].insert(conclusion);
        model_.implicationGraph[conclusion];
    }
    model_.enteredPairs = model_.implicationPairs.size();
}

int Reducer::fixContradictions()
{
    std::vector<int> falseLiterals;
    for (const auto& [premise, conclusions] : model_.implicationGraph) {
        bool contradictory = conclusions.count(-premise) > 0;
        for (auto c = conclusions.begin(); !contradictory && c != conclusions.end(); ++c)
            contradictory = conclusions.count(-*c) > 0;
        if (contradictory) falseLiterals.push_back(premise);
    }
    bool fixedAny = false;
    for (int literal : falseLiterals) {
        if (makeTrue(-literal)) fixedAny = true;
        model_.implicationGraph.erase(literal);
        if (failed()) return -1;
    }
    if (!fixedAny) return 0;
    return propagate() < 0 ? -1 : 1;
}

bool Reducer::mergeComponents()
{
    const auto& graph = model_.implicationGraph;
    std::vector<int> vertices;
    std::unordered_map<int, std::size_t> position;
    auto addVertex = [&](int literal) {
        if (position.emplace(literal, vertices.size()).second) vertices.push_back(literal);
    };
    for (const auto& [premise, conclusions] : graph) {
        addVertex(premise);
        for (int c : conclusions) addVertex(c);
    }
    const std::size_t n = vertices.size();
    std::vector<std::vector<std::size_t>> forward(n), backward(n);
    for (const auto& [premise, conclusions] : graph) {
        for (int c : conclusions) {
            forward[position[premise]].push_back(position[c]);
            backward[position[c]].push_back(position[premise]);
        }
    }

    // First pass: finishing order, with an explicit stack.
    std::vector<std::size_t> finished;
    std::vector<bool> seen(n, false);
    for (std::size_t start = 0; start < n; ++start) {
        if (seen[start]) continue;
        std::vector<std::pair<std::size_t, std::size_t>> stack{{start, 0}};
        seen[start] = true;
        while (!stack.empty()) {
            auto& [vertex, next] = stack.back();
            if (next < forward[vertex].size()) {
                std::size_t w = forward[vertex][next++];
                if (!seen[w]) {
                    seen[w] = true;
                    stack.push_back({w, 0});
                }
            } else {
                finished.push_back(vertex);
                stack.pop_back();
            }
        }
    }
    // Second pass on the reversed graph in decreasing finishing time.
    std::vector<bool> assigned(n, false);
    bool made = false;
    bool fixedAny = false;
    for (std::size_t f = finished.size(); f-- > 0;) {
        std::size_t root = finished[f];
        if (assigned[root]) continue;
        std::vector<int> component;
        std::vector<std::size_t> stack{root};
        assigned[root] = true;
        while (!stack.empty()) {
            std::size_t vertex = stack.back();
            stack.pop_back();
            component.push_back(vertices[vertex]);
            for (std::size_t w : backward[vertex]) {
                if (!assigned[w]) {
                    assigned[w] = true;
                    stack.push_back(w);
                }
            }
        }
        if (component.size() < 2) continue;
        std::sort(component.begin(), component.end(), [](int x, int y) {
            return variableOf(x) != variableOf(y) ? variableOf(x) < variableOf(y) : x > y;
        });
        // Every literal of the component is equivalent to the first.
        for (std::size_t i = 1; i < component.size(); ++i) {
            MergeOutcome outcome = merge(component[0], -component[i]);
            if (outcome == MergeOutcome::inconsistent) return made;
            if (outcome == MergeOutcome::merged) made = true;
            if (outcome == MergeOutcome::fixed) fixedAny = true;
        }
    }
    if (fixedAny) propagate();
    return made;
}

} // namespace

int propagate(IlpModel& model)
{
    return Reducer(model).propagate();
}

bool mergeComplementary(IlpModel& model, int a, int b)
{
    return Reducer(model).merge(a, b) != MergeOutcome::inconsistent;
}

void uniteClasses(IlpModel& model)
{
    Reducer(model).uniteClasses();
}

void substituteRepresentatives(IlpModel& model)
{
    Reducer(model).substitute();
}

int reduceTwoTermRows(IlpModel& model)
{
    return Reducer(model).reduceTwoTermRows();
}

void enterImplications(IlpModel& model)
{
    Reducer(model).enterImplications();
}

int fixContradictoryImplications(IlpModel& model)
{
    return Reducer(model).fixContradictions();
}

bool mergeComponents(IlpModel& model)
{
    return Reducer(model).mergeComponents();
}

bool reduceModel(IlpModel& model)
{
    Reducer reducer(model);
    if (reducer.failed() || reducer.propagate() < 0) return false;
    reducer.mergeTwoTermEqualityRows();
    if (reducer.failed()) return false;
    while (true) {
        reducer.uniteClasses();
        bool restart = true;
        while (restart && !reducer.failed()) {
            restart = false;
            reducer.substitute();
            int result = reducer.reduceTwoTermRows();
            if (result < 0) return false;
            if (result == 1) {
                restart = true;
                continue;
            }
            while (true) {
                reducer.enterImplications();
                result = reducer.fixContradictions();
                if (result < 0) return false;
                if (result == 0) break;
                result = reducer.reduceTwoTermRows();
                if (result < 0) return false;
                if (result == 1) {
                    restart = true;
                    break;
                }
            }
        }
        bool made = reducer.mergeComponents();
        if (reducer.failed()) return false;
        // Rows must name representatives only, also for pairs merged by a
        // propagation after the last substitution.
        if (!made && !reducer.mergedSinceSubstitution()) break;
    }
    finaliseObjective(model);
    return true;
}

void finaliseObjective(IlpModel& model)
{
    std::vector<int>& variables = model.objectiveVariables;
    std::vector<float>& weights = model.objectiveWeights;
    for (std::size_t i = variables.size(); i-- > 0;) {
        if (model.fixedValue(variableOf(variables[i])) < 0) continue;
        variables.erase(variables.begin() + static_cast<std::ptrdiff_t>(i));
        weights.erase(weights.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::unordered_map<int, int> mapped;
    for (const MergedClass& merged : model.mergedClasses) {
        int representative = classRepresentative(merged);
        bool firstEmpty = merged.firstSet.empty();
        for (int v : merged.firstSet) mapped[v] = representative;
        for (int v : merged.secondSet) mapped[v] = firstEmpty ? representative : -representative;
    }
    // Entries that map to one variable are folded into the first of them, so
    // that the objective keeps one term per column: w1*x + w2*(1 - x) is
    // (w1 - w2)*x up to a constant. A negative total turns the literal round.
    std::vector<int> foldedVariables;
    std::vector<float> foldedWeights;
    std::unordered_map<int, std::size_t> slot;
    for (std::size_t i = 0; i < variables.size(); ++i) {
        int literal = variables[i];
        auto found = mapped.find(variableOf(literal));
        if (found != mapped.end()) literal = signOf(literal) * found->second;
        auto [place, added] = slot.emplace(variableOf(literal), foldedVariables.size());
        if (added) {
            foldedVariables.push_back(literal);
            foldedWeights.push_back(weights[i]);
            continue;
        }
        float& total = foldedWeights[place->second];
        int& kept = foldedVariables[place->second];
        total += kept == literal ? weights[i] : -weights[i];
        if (total < 0) {
            total = -total;
            kept = -kept;
        }
    }
    variables = foldedVariables;
    weights = foldedWeights;
}

} // namespace tavirlen
