#pragma once

#include <optional>
#include <string>

namespace tavirlen {

// What one run was asked to do: the mode letter, the input and the options
// of the command line. Library code reads it; only the entry point fills it.
struct RunOptions {
    char mode = 0;
    std::string inputName;
    // Result files are named PREFIX.ending; empty: after the input name.
    std::string outPrefix;
    std::optional<unsigned> seed;
    // Cap on the configurations written per family (modes c, m, i).
    std::optional<long long> maxSolutions;
    // Leading columns before the alleles, when the file's layout is not the
    // mode's own (a five-column pedigree file, say).
    std::optional<int> headerColumns;
    // A marker map (PLINK .map or chromosome/name/centimorgans).
    std::string mapFile;
    // The input is a VCF/BCF with this PED/FAM file as its pedigree.
    std::string pedFile;
    std::string region;
    // A phased copy of the input VCF; filled missing calls only with `fill`.
    std::string vcfOut;
    bool fill = false;
    // Modes b and t: the polishing pass after block extension.
    bool polish = false;
    // PREFIX.html, the families drawn with their haplotypes.
    bool report = false;
    // Seconds the solver may take per family in mode a.
    double timeLimitSeconds = 60.0;
    // Only families firstFamily to lastFamily (counted from 1 in the input)
    // are phased and written; 0: from the first, to the last. The families
    // before them are read and counted as a whole run counts them, so a
    // range gives exactly the lines a whole run gives for it.
    std::size_t firstFamily = 0;
    std::size_t lastFamily = 0;
    // Threads that work on families side by side; 0: one per core.
    int threads = 0;
    bool force = false;
    bool quiet = false;

    long long maxSolutionsOr(long long fallback) const { return maxSolutions.value_or(fallback); }
};

} // namespace tavirlen
