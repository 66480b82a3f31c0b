#pragma once

#include "ilp/IlpModel.h"

namespace tavirlen {

// The reduction rules. Each fixes only values that every 0/1 solution of the
// model shares and merges only variables that every solution makes equal or
// opposite; a contradiction prints "Find inconsistency" (or the fixing
// message) and marks the model inconsistent. Results below 0 mean that.

// R1: fixed terms leave their rows, rows that force values fix them, two-term
// equalities become merged pairs, settled implications fix their literals;
// repeated until nothing changes. 1 when it merged a pair, else 0.
int propagate(IlpModel& model);

// R2: literals a and b with a + b = 1 (equal variables for literals of
// opposite sign, opposite ones for literals of the same sign) go into one
// class. False on a contradiction.
bool mergeComplementary(IlpModel& model, int a, int b);

// R3: from the last class to the first, a class that shares a variable with
// an earlier class is poured into it.
void uniteClasses(IlpModel& model);

// R4: every class member in a row is replaced by its representative.
void substituteRepresentatives(IlpModel& model);

// R5: two-term inequality rows fix, vanish or become implication pairs.
// Runs R1 when it fixed something and returns its result, else 0.
int reduceTwoTermRows(IlpModel& model);

// R6: the pairs appended since the last call enter the implication graph.
void enterImplications(IlpModel& model);

// R7: a literal implying some literal and its negation, or its own negation,
// is false. 1 when something was fixed (R1 then ran), else 0.
int fixContradictoryImplications(IlpModel& model);

// R8: each strongly connected component of the implication graph with two or
// more literals is merged into one class. True when that merged anything new.
bool mergeComponents(IlpModel& model);

// The smallest id of the first set, or of the second when the first is empty.
int classRepresentative(const MergedClass& merged);

// All rules in their order up to the fixpoint, then the objective in terms of
// representatives. False when the model turned out inconsistent.
bool reduceModel(IlpModel& model);

// Drops fixed objective entries and maps the rest to class representatives;
// entries that land on one variable are added up into one.
void finaliseObjective(IlpModel& model);

} // namespace tavirlen
