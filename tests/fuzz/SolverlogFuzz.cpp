// The reader of the solver's listing, and everything the solution read from
// it goes through: settling the objective and the merged classes, the
// haplotypes and the written solutions. The listing fixes variables of a
// small family with two undetermined choices.

#include "FuzzSupport.h"

#include "ilp/IlpDriver.h"
#include "ilp/IlpReduction.h"
#include "ilp/SolverLog.h"
#include "pedigree/PedigreeReader.h"

using namespace tavirlen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream family("5 1 0 0 1 0 0 1 2 1 2 1 2\n"
                              "5 2 0 0 2 0 0 3 4 3 4 3 4\n"
                              "5 3 1 2 1 0 0 1 3 1 3 2 4\n"
                              "5 4 1 2 2 0 0 1 3 0 0 2 3\n");
    PedigreeReader reader(family, 7);
    std::unique_ptr<Pedigree> pedigree = reader.next();
    pedigree->finalise();
    pedigree->prepare();
    pedigree->markerWeights.assign(2, 1.0f);
    IlpModel model(*pedigree);
    buildModel(model);
    if (!reduceModel(model)) __builtin_trap(); // the family is consistent

    std::istringstream log = fuzz::streamOf(data, size);
    if (!readSolverLog(model, log)) return 0;
    settleObjective(model);
    settleMergedClasses(model);
    applyHaplotypes(model);
    writeIlpSolutions(model, fuzz::nullStream(), fuzz::nullStream(), fuzz::nullFile(), 4);
    return 0;
}
