#pragma once

#include <cstdint>
#include <vector>

namespace tavirlen {

// One equation modulo 2: the listed phase variables add up to `constant`.
// Entries are kept ascending without repeats, so the last entry, the leading
// variable, is always the equation's largest index.
struct Equation {
    std::vector<int> variables;
    int constant = 0;

    int leading() const { return variables.back(); }
};

// Sorts the entries and cancels pairs of equal ones (x + x = 0).
void normaliseEquation(Equation& equation);

// The sum of two normalised equations, normalised.
Equation addEquations(const Equation& a, const Equation& b);

// A system of known variables and equations modulo 2 over the variables
// 0 .. variableCount - 1, reduced by substitution, the single-variable and
// duplicate rules and elimination until every remaining equation has a
// leading variable of its own. Each choice of the free variables then gives
// exactly one solution.
class LinearSystem {
public:
    explicit LinearSystem(int variableCount);

    int variableCount() const { return static_cast<int>(value_.size()); }

    // Fixes a variable to 0 or 1; false when it is already fixed to the
    // other value.
    bool addKnown(int variable, int value);
    void addEquation(Equation equation);

    // Reduces the system; false when it is contradictory.
    bool solve();

    // -1 while the variable is not known, else its value.
    int knownValue(int variable) const { return value_[static_cast<std::size_t>(variable)]; }

    // After solve: the equations left, each with a different leading variable
    // and no known variable, ordered by ascending leading variable.
    const std::vector<Equation>& equations() const { return equations_; }

    // After solve: ascending, every variable that is neither known nor leading.
    std::vector<int> freeVariables() const;

    // After solve: the solution in which the k-th free variable takes bit k of
    // `configuration`; `values` gets one entry per variable.
    void evaluate(std::uint64_t configuration, const std::vector<int>& freeList,
                  std::vector<int>& values) const;

private:
    bool substituteKnowns();
    bool reduceByKnowns(std::size_t e, std::vector<int>& newlyKnown);
    bool removeDuplicates();
    bool eliminate(bool& newKnown);
    void dropRemoved();

    std::vector<signed char> value_;   // -1 unknown, else the known value
    std::vector<Equation> equations_;
    std::vector<bool> removed_;        // parallel to equations_ while solving
};

} // namespace tavirlen
