#pragma once

#include "pedigree/HaplotypeTally.h"
#include "pedigree/Pedigree.h"

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tavirlen {

// What the run learns across families. A family is counted when it is
// prepared; a run that streams its families records each one when it is done
// and lets it go, a run that needs every family at the end (likelihoods,
// solving after reading) keeps it. Families are visited in ascending family
// id; two with one family id (the same id in two separate runs of lines) in
// the order counted.
class DatasetSummary {
public:
    // One line of the likelihood report per family counted.
    struct FamilyEntry {
        std::string name;
        float log10Likelihood = 1.0f;
        Pedigree* kept = nullptr;
    };
    std::multimap<long long, FamilyEntry> families;
    std::multimap<long long, std::unique_ptr<Pedigree>> pedigrees;
    int individualCount = 0;
    int founderCount = 0;
    int locusCount = 0;
    int missingAlleleCount = 0;
    std::vector<std::map<int, int>> alleleCounts;
    std::vector<int> heterozygousCounts;
    int freeLocusCount = 0;
    std::vector<float> markerDistances;
    bool likelihoodSkipped = false;
    std::vector<std::map<int, double>> log10AlleleFrequencies;
    std::vector<double> log10Theta;
    std::vector<double> log10OneMinusTheta;

    // Adds a prepared pedigree to the counts (and its line to the likelihood
    // report) without keeping it.
    void countPedigree(Pedigree& pedigree);
    // Counts a prepared pedigree and keeps it to the end of the run.
    Pedigree& addPedigree(std::unique_ptr<Pedigree> pedigree);
    // Keeps a pedigree counted before, once it is done.
    Pedigree& keep(std::unique_ptr<Pedigree> pedigree);
    // The founder haplotypes of every kept pedigree, or of one finished one.
    void countFounderHaplotypes();
    void countFounderHaplotypes(const Pedigree& pedigree);
    // The founder haplotypes counted, by their text (the alleles' numbers
    // joined), in the order of their texts.
    std::map<std::string, int> haplotypeCounts() const;
    void computeLikelihoods();
    bool writeStatistics(std::ostream& res) const;
    bool writeLocusStatistics(std::ostream& res) const;

private:
    double log10Likelihood(Pedigree& pedigree);

    // Counted as met and sorted once at the end: keeping them in order all
    // along cost about a twentieth of mode b's run.
    HaplotypeTally haplotypeTally_;
};

} // namespace tavirlen
