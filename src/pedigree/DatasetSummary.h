#pragma once

#include "pedigree/Pedigree.h"

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tavirlen {

// What the run learns across families. Owns every pedigree added to it and
// visits them in ascending family id; two pedigrees with one family id (the
// same id in two separate runs of lines) are both kept, in the order added.
class DatasetSummary {
public:
    std::multimap<long long, std::unique_ptr<Pedigree>> pedigrees;
    int individualCount = 0;
    int founderCount = 0;
    int locusCount = 0;
    int missingAlleleCount = 0;
    std::vector<std::map<int, int>> alleleCounts;
    std::vector<int> heterozygousCounts;
    int freeLocusCount = 0;
    std::map<std::string, int> haplotypeCounts;
    std::vector<float> markerDistances;
    bool likelihoodSkipped = false;
    std::vector<std::map<int, double>> log10AlleleFrequencies;
    std::vector<double> log10Theta;
    std::vector<double> log10OneMinusTheta;

    // Takes ownership of a prepared pedigree and adds it to the counts.
    Pedigree& addPedigree(std::unique_ptr<Pedigree> pedigree);
    void countFounderHaplotypes();
    void computeLikelihoods();
    bool writeStatistics(std::ostream& res) const;
    bool writeLocusStatistics(std::ostream& res) const;

private:
    double log10Likelihood(Pedigree& pedigree);
};

} // namespace tavirlen
