#pragma once

#include "pedigree/Pedigree.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <unordered_map>
#include <vector>

namespace tavirlen {

// A variable of the integer programme is one fact about one member at one
// locus, numbered (memberIndex + 1) * 100000 + locus * 100 + kind. Kinds 0 to
// m-1 say the paternal allele has that rank among the alleles seen at the
// locus, m to 2m-1 the same for the maternal allele, and the kinds below are
// the inheritance sources and the recombination indicators.
constexpr int paternalSourceKind = 90;
constexpr int maternalSourceKind = 91;
constexpr int paternalRecombinationKind = 92;
constexpr int maternalRecombinationKind = 93;

// What the numbering can hold. 2m allele kinds must stay below 90, loci below
// 1000, and ids below 10^8 so that a column name always leaves a blank before
// the next field of the model file.
constexpr int maxIlpAlleles = 45;
constexpr int maxIlpLoci = 1000;
constexpr int maxIlpMembers = 999;

inline int variableId(int memberIndex, int locus, int kind)
{
    return (memberIndex + 1) * 100000 + locus * 100 + kind;
}
inline int variableMemberIndex(int v) { return v / 100000 - 1; }
inline int variableLocus(int v) { return v % 100000 / 100; }
inline int variableKind(int v) { return v % 100; }

// A row is its literals (+v: coefficient 1 on v, -v: coefficient -1) with the
// right-hand side as the last entry.
using IlpRow = std::vector<int>;

// Every variable of firstSet takes one value and every variable of secondSet
// the opposite one.
struct MergedClass {
    std::set<int> firstSet;
    std::set<int> secondSet;
};

// The 0/1 programme of one pedigree, with the values fixed so far.
struct IlpModel {
    explicit IlpModel(Pedigree& pedigree);

    Pedigree* pedigree;
    std::vector<IlpRow> equalityRows;
    std::vector<IlpRow> inequalityRows;
    std::vector<int> objectiveVariables;
    std::vector<float> objectiveWeights;
    std::vector<MergedClass> mergedClasses;
    // Variable id -> the value it is fixed to.
    std::unordered_map<int, int> fixedValues;
    std::vector<MergedClass> undeterminedClasses;
    std::vector<std::pair<int, int>> implicationPairs;
    std::map<int, std::set<int>> implicationGraph;
    std::vector<int> distinctAlleleCounts;

    // Members by memberIndex (null where an index has no member).
    std::vector<Individual*> membersByIndex;
    // How many implicationPairs are already in implicationGraph.
    std::size_t enteredPairs = 0;
    // Fixes that contradicted an earlier fix, and whether the reduction proved
    // that no 0/1 solution exists. Either way the model must not be solved.
    int fixConflicts = 0;
    bool inconsistent = false;

    // The record that holds variable v, or null when v names no member/locus.
    GenotypeRecord* record(int v);
    const GenotypeRecord* record(int v) const;
    // 0 or 1 when v is fixed, -1 when open (or not a variable of the family).
    int fixedValue(int v) const;
    // The value of a literal: that of v for +v, its opposite for -v.
    int literalValue(int literal) const;
    // Fixes v to value, with the messages for a non-positive id and for a fix
    // that contradicts an earlier one (which stays). False when nothing was
    // fixed that way.
    bool fixVariable(int v, int value);
};

// Why a pedigree does not fit the variable numbering, or nothing when it does.
std::optional<std::string> ilpSchemeProblem(const Pedigree& pedigree);

// Builds allele sets, genotype, inheritance and recombination rows and the
// objective of a prepared pedigree whose markerWeights are set.
void buildModel(IlpModel& model);

} // namespace tavirlen
