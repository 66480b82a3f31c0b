#pragma once

#include "pedigree/IdSet.h"
#include "pedigree/Individual.h"
#include "pedigree/MemberMap.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace tavirlen {

class DatasetSummary;

// One family. Owns its members, keyed and always visited in ascending id.
class Pedigree {
public:
    // Restarts the member-index counter at 0.
    explicit Pedigree(long long familyId);

    long long familyId = 0;
    MemberMap members;
    int memberCount = 0;
    int founderCount = 0;
    int locusCount = 0;
    std::vector<int> processingOrder;
    IdSet visitedIds;
    std::vector<int> locusWork;
    int recombinantCount = 0;
    int missingAlleleCount = 0;
    float log10Likelihood = 1.0f;
    DatasetSummary* datasetSummary = nullptr;
    // Thread processor time in ms when the family's step began (the batch
    // sets it there: a family is read on one thread and may be phased on
    // another, and reading the clock costs a system call).
    long startClock = 0;
    long endClock = 0;
    // The family's position among the families of the input, from 0.
    std::size_t inputIndex = 0;

    // Block extension working state.
    int seedId = 0;
    int blockStart = 0;
    int blockLength = 0;
    std::deque<int> cleanQueue;
    std::deque<int> recombinantQueue;

    // Integer programming working state.
    std::vector<std::set<int>> observedAlleles;
    std::vector<float> markerWeights;

    // The first problem the reader met in this family's lines (a line with too
    // few fields, a number that overflows); empty when the lines were sound.
    std::string readProblem;

    // Ids as the input file wrote them. Text ids get an internal number; the
    // names keep what was read so every output can write it back unchanged.
    std::string familyName;
    std::map<int, std::string> idNames;
    std::string familyText() const { return familyName.empty() ? std::to_string(familyId) : familyName; }
    std::string idText(int id) const
    {
        auto found = idNames.find(id);
        return found == idNames.end() ? std::to_string(id) : found->second;
    }

    // Called after each configuration's .res line is written (every mode
    // writes exactly one per configuration), so that the run can add what
    // it writes beside the three result files.
    std::function<void(const Pedigree&)> configurationWritten;

    Individual* member(int id) { return members.lookup(id); }
    const Individual* member(int id) const { return members.lookup(id); }
    // Room in the set for every member's id: a walk that marks the whole
    // family then allocates once, not at every doubling.
    void reserveMemberIds(IdSet& set) const
    {
        if (!members.empty()) set.reserve(members.begin()->first, members.rbegin()->first, members.size());
    }

    // Preparation (Preparation.cpp).
    void finalise();
    bool prepare();
    bool checkMendel();

    // Result files (ResultWriters.cpp).
    bool writeDat(std::ostream& dat) const;
    bool writeRes(std::ostream& res);
    bool writeOut(std::FILE* out) const;
};

} // namespace tavirlen
