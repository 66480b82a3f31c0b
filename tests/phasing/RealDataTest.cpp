// Modes b and t on the public pedigree files, family by family as the batch
// driver runs them, with and without polishing: no written source
// contradicts the alleles and no child carries an allele its written parent
// lacks. Skipped where the folder is absent.
#include "PhasingTestSupport.h"

#include "pedigree/DatasetSummary.h"
#include "pedigree/FamilyCheck.h"
#include "pedigree/PedigreeReader.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "phasing/Polish.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tavirlen {
namespace {

struct FileFaults {
    int families = 0;
    int faultyFamilies = 0;
    std::string first;
};

FileFaults phaseFile(const std::filesystem::path& path, int headerColumns, bool polish)
{
    FileFaults result;
    std::ifstream input(path);
    PedigreeReader reader(input, headerColumns);
    DatasetSummary summary;
    seedRandom(11);
    testing::internal::CaptureStdout();
    while (std::unique_ptr<Pedigree> owned = reader.next()) {
        owned->memberCount = static_cast<int>(owned->members.size());
        if (owned->memberCount < 3 || checkFamily(*owned)) continue;
        owned->finalise();
        owned->prepare();
        Pedigree& pedigree = summary.addPedigree(std::move(owned));
        if (!(polish ? runPolishedBlockExtension(pedigree) : runBlockExtension(pedigree))) continue;
        ++result.families;
        test::WrittenFaults faults = test::writtenFaults(pedigree);
        if (faults.wrongSources + faults.unfitAlleles == 0) continue;
        ++result.faultyFamilies;
        if (result.first.empty()) result.first = "family " + pedigree.familyText() + ": " + faults.first;
    }
    testing::internal::GetCapturedStdout();
    return result;
}

TEST(RealData, EveryWrittenSourceNamesTheCarriedAlleleAndEveryChildFitsItsParents)
{
    const std::filesystem::path folder(TAVIRLEN_REALDATA);
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no folder " << folder;
    int families = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".md") continue;
        for (int headerColumns : {6, 7}) {
            for (bool polish : {false, true}) {
                FileFaults faults = phaseFile(entry.path(), headerColumns, polish);
                EXPECT_EQ(faults.faultyFamilies, 0) << entry.path().filename() << " with " << headerColumns
                                                    << " header columns, polish " << polish << ", " << faults.first;
                families += faults.families;
            }
        }
    }
    EXPECT_GT(families, 0);
}

} // namespace
} // namespace tavirlen
