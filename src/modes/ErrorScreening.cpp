#include "modes/ErrorScreening.h"

#include "batch/BatchDriver.h"
#include "batch/RunFeedback.h"
#include "modes/ScreeningInput.h"
#include "pedigree/DatasetSummary.h"
#include "pedigree/FamilyCheck.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iostream>
#include <vector>

namespace tavirlen {

namespace {

// The member's record at a locus; nullptr for a locus beyond its data,
// which counts as untyped.
const GenotypeRecord* recordAt(const Individual& member, int locus)
{
    if (locus < 0 || static_cast<std::size_t>(locus) >= member.genotypes.size()) return nullptr;
    return &member.genotypes[static_cast<std::size_t>(locus)];
}

bool typedAt(const Individual& member, int locus)
{
    const GenotypeRecord* record = recordAt(member, locus);
    return record && record->allele1 != 0 && record->allele2 != 0;
}

// allele1, and allele2 when it is a different typed allele.
std::vector<int> distinctAlleles(const GenotypeRecord& record)
{
    std::vector<int> alleles{record.allele1};
    if (record.allele1 != record.allele2 && record.allele1 >= 1 && record.allele2 >= 1)
        alleles.push_back(record.allele2);
    return alleles;
}

} // namespace

std::unique_ptr<Pedigree> buildScreeningFamily(int familyNumber, const std::set<int>& ids,
                                               std::map<int, Individual>& individuals,
                                               int locusCount, std::ostream& listing)
{
    auto pedigree = std::make_unique<Pedigree>(familyNumber);
    pedigree->locusCount = locusCount;
    listing << "Family ID: " << familyNumber << " Individual IDs: ";
    for (int id : ids) {
        listing << id << "\t";
        ++pedigree->memberCount;
        auto found = individuals.find(id);
        if (found != individuals.end()) {
            Individual& m = pedigree->members.emplace(id, std::move(found->second)).first->second;
            individuals.erase(found);
            m.familyId = familyNumber;
            continue;
        }
        Individual placeholder;
        placeholder.individualId = id;
        placeholder.familyId = familyNumber;
        placeholder.genotypes.assign(static_cast<std::size_t>(std::max(locusCount, 0)), GenotypeRecord{});
        pedigree->members.emplace(id, std::move(placeholder));
    }
    pedigree->prepare();
    return pedigree;
}

AncestorAlleles ancestorAlleles(const Pedigree& pedigree, const Individual& member, int locus)
{
    // Climbs through parents untyped at the locus until a typed ancestor
    // answers for that line of descent. Each untyped ancestor is climbed
    // once, so loops of relatives cost no more than the ancestors they have.
    AncestorAlleles result;
    std::vector<const Individual*> toClimb{&member};
    std::set<int> climbed{member.individualId};
    while (!toClimb.empty()) {
        const Individual* n = toClimb.back();
        toClimb.pop_back();
        if (n->isFounder()) {
            result.complete = false;
            return result;
        }
        for (int side = 0; side < 2; ++side) {
            const Individual* parent = pedigree.member(n->parentId(side));
            if (!parent) {
                result.complete = false;
                return result;
            }
            if (typedAt(*parent, locus)) {
                for (int allele : distinctAlleles(*recordAt(*parent, locus))) result.alleles.insert(allele);
            } else if (climbed.insert(parent->individualId).second) {
                toClimb.push_back(parent);
            }
        }
    }
    return result;
}

Carriers countCarriers(const Pedigree& pedigree, const Individual& member, int locus, int allele)
{
    Carriers result;
    std::set<int> seen;
    std::deque<const Individual*> untyped; // descendants whose children are looked at next
    auto visitChildren = [&](const Individual& n, bool direct) {
        for (int childId : n.childIds) {
            if (!seen.insert(childId).second) continue;
            const Individual* child = pedigree.member(childId);
            if (!child) continue;
            if (!typedAt(*child, locus)) {
                untyped.push_back(child);
                continue;
            }
            const GenotypeRecord& record = *recordAt(*child, locus);
            if (record.allele1 == allele || record.allele2 == allele) {
                ++result.count;
                if (direct) result.typedChildCarries = true;
            }
        }
    };
    // The member's own children first: a child that is also a grandchild
    // through an untyped child still counts as a typed child.
    visitChildren(member, true);
    while (!untyped.empty()) {
        const Individual* n = untyped.front();
        untyped.pop_front();
        visitChildren(*n, false);
    }
    return result;
}

void screenPedigree(const Pedigree& pedigree, std::ostream& out)
{
    if (std::optional<int> id = findParentCycle(pedigree)) {
        out << "Family ID: " << pedigree.familyId << " is not screened: parent links form a cycle through individual "
            << *id << "\n";
        return;
    }
    for (int k = 0; k < pedigree.locusCount; ++k) {
        for (const auto& [id, m] : pedigree.members) {
            if (m.isFounder() || !typedAt(m, k)) continue;
            std::optional<AncestorAlleles> ancestors;
            for (int x : distinctAlleles(*recordAt(m, k))) {
                if (!ancestors) ancestors = ancestorAlleles(pedigree, m, k);
                if (!ancestors->complete) break;
                if (ancestors->alleles.count(x)) continue;
                Carriers carriers = countCarriers(pedigree, m, k, x);
                out << "Family ID: " << pedigree.familyId << " individual: " << id << " at locus "
                    << (k + 1) << " allele " << x;
                if (carriers.typedChildCarries)
                    out << " is likely a mutation with score " << carriers.count << "\n";
                else
                    out << " is likely an error" << "\n";
            }
        }
    }
}

int runErrorScreening(const std::string& inputName)
{
    RunOptions options;
    options.inputName = inputName;
    options.quiet = true;
    return runErrorScreening(options);
}

int runErrorScreening(const RunOptions& options)
{
    const std::string& inputName = options.inputName;
    if (auto problem = inputProblem(inputName)) {
        std::cerr << *problem << std::endl;
        return 1;
    }
    std::ifstream input(inputName);
    RunFeedback feedback(options.quiet, 0);
    ResultSet files(options);
    const std::string inbName = resultFileName(options, "inb");
    const std::string mrhName = resultFileName(options, "mrh");
    if (!files.acceptNames({inbName, mrhName})) return 1;
    OutputFile* inbFile = files.open(inbName);
    OutputFile* mrhFile = inbFile ? files.open(mrhName) : nullptr;
    if (!mrhFile) return 1;
    std::ostream& inb = inbFile->stream();
    std::FILE* mrh = mrhFile->file();

    ScreeningInput data = readScreeningInput(input, std::cout);
    std::vector<std::set<int>> families = formFamilies(data.idSets);

    // The summary only owns the families until the run ends.
    DatasetSummary summary;
    for (std::size_t f = 0; f < families.size(); ++f) {
        std::unique_ptr<Pedigree> pedigree = buildScreeningFamily(
            static_cast<int>(f + 1), families[f], data.individuals, data.locusCount, std::cout);
        Pedigree& p = *pedigree;
        summary.pedigrees.emplace(p.familyId, std::move(pedigree));
        summary.individualCount += p.memberCount;
        p.datasetSummary = &summary;
        std::cout << "\n";
        p.writeDat(inb);
        p.writeOut(mrh);
    }
    std::cout << "\n";
    for (const auto& [familyId, pedigree] : summary.pedigrees) screenPedigree(*pedigree, std::cout);
    std::cout.flush();
    if (!files.commit()) return 1;
    feedback.finish(std::to_string(families.size()) + (families.size() == 1 ? " family" : " families")
                    + " screened; " + writtenList(files.names()));
    return 0;
}

} // namespace tavirlen
