#include "pedigree/DatasetSummary.h"
#include "pedigree/Random.h"
#include "phasing/BlockExtension.h"
#include "support/TestSupport.h"
#include "vcf/FamilyVcf.h"
#include "vcf/PhasedVcf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <sstream>

namespace tavirlen {
namespace {

// bcftools is the independent reader of what the module writes.
#define REQUIRE_TOOLS()                                                                          \
    if (std::system("bcftools --version >/dev/null 2>&1 && bgzip --version >/dev/null 2>&1"))    \
    GTEST_SKIP() << "bcftools or bgzip is not installed: the VCF round trip is not checked"

std::string shell(const std::string& command)
{
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

// Per site, per sample: the fields as bcftools prints them.
using Calls = std::vector<std::map<std::string, std::string>>;
Calls query(const std::string& path, const std::string& fields = "%GT %PS")
{
    Calls sites;
    std::istringstream lines(shell("bcftools query -f '[%SAMPLE=" + fields + ";]\\n' " + path));
    for (std::string line, call; std::getline(lines, line);) {
        std::istringstream calls(line);
        sites.emplace_back();
        while (std::getline(calls, call, ';')) sites.back()[call.substr(0, call.find('='))] = call.substr(call.find('=') + 1);
    }
    return sites;
}

FamilyVcfInput readData(const std::string& vcf)
{
    std::string error;
    auto input = readFamilyVcf(vcf, test::testDataPath("vcf/family.ped"), "", error);
    EXPECT_TRUE(input) << error;
    return input ? *input : FamilyVcfInput{};
}

TEST(FamilyVcf, PlainBgzippedAndBcfInputReadAlike)
{
    REQUIRE_TOOLS();
    test::TempDir dir;
    const std::string vcf = test::testDataPath("vcf/family.vcf");
    FamilyVcfInput plain = readData(vcf);
    // 36 sites; the tenth has a haploid call of member 3. The haploid call of
    // sample 99, outside the pedigree, leaves its site in.
    ASSERT_EQ(plain.markers.size(), 35u);
    EXPECT_EQ(plain.siteMessages,
              std::vector<std::string>{"site rs5941158 (20:82967) is left out: sample 3 has a haploid call"});
    EXPECT_EQ(plain.samplesOutsidePedigree, 1);
    EXPECT_EQ(plain.markers.names[1], "rs3594894");
    EXPECT_EQ(plain.markers.names[21], "20:111803");
    // Member 4 (PED line 4) reads 1|0 as codes 2 1; 0|2 of member 5 at the
    // multi-allelic fifth site reads 1 3; member 2's ./. is 0 0; member 8 has
    // no sample.
    EXPECT_EQ(plain.members[3].alleles[0], 2);
    EXPECT_EQ(plain.members[3].alleles[1], 1);
    EXPECT_EQ(plain.members[4].alleles[8], 1);
    EXPECT_EQ(plain.members[4].alleles[9], 3);
    EXPECT_EQ(plain.members[1].alleles[0], 0);
    EXPECT_EQ(plain.sampleIndex[7], -1);
    EXPECT_EQ(plain.members[7].alleles, std::vector<int>(70, 0));

    shell("bgzip -c " + vcf + " > in.vcf.gz && bcftools view -Ob -o in.bcf " + vcf);
    for (const char* copy : {"in.vcf.gz", "in.bcf"}) {
        FamilyVcfInput other = readData(copy);
        EXPECT_EQ(other.markers.names, plain.markers.names) << copy;
        EXPECT_EQ(other.markers.basePairs, plain.markers.basePairs) << copy;
        EXPECT_EQ(other.siteMessages, plain.siteMessages) << copy;
        for (std::size_t i = 0; i < plain.members.size(); ++i)
            EXPECT_EQ(other.members[i].alleles, plain.members[i].alleles) << copy << " member " << i;
    }
}

// Phases the families by block extension, which also fills missing alleles.
PhasedVcfCalls phase(const FamilyVcfInput& input, bool fill)
{
    std::string lines;
    for (const MemberLine& m : input.members) {
        lines += m.familyId + " " + m.individualId + " " + m.fatherId + " " + m.motherId + " " + m.sex + " 0 0";
        for (int a : m.alleles) lines += " " + std::to_string(a);
        lines += "\n";
    }
    seedRandom(7);
    DatasetSummary summary;
    PhasedVcfCalls calls(input, fill);
    for (auto& family : test::readFamilies(lines)) {
        family->finalise();
        family->prepare();
        Pedigree& pedigree = summary.addPedigree(std::move(family));
        EXPECT_TRUE(runBlockExtension(pedigree));
        calls.addPedigree(pedigree);
    }
    return calls;
}

std::vector<std::string> alleles(const std::string& gt)
{
    return {gt.substr(0, 1), gt.substr(2, 1)};
}

TEST(PhasedVcf, RoundTripKeepsAllelesAndPaternalFirst)
{
    REQUIRE_TOOLS();
    test::TempDir dir;
    const std::string vcf = test::testDataPath("vcf/family.vcf");
    FamilyVcfInput input = readData(vcf);
    const std::map<std::string, std::pair<std::string, std::string>> parents{
        {"3", {"1", "2"}}, {"4", {"1", "2"}}, {"6", {"3", "5"}}, {"7", {"3", "5"}}, {"13", {"11", "12"}}};
    Calls in = query(vcf, "%GT");
    for (bool fill : {false, true}) {
        std::string out = fill ? "out.bcf" : "out.vcf.gz", error;
        ASSERT_TRUE(writePhasedVcf(vcf, out, phase(input, fill), error)) << error;
        EXPECT_NE(shell("bcftools view -h " + out).find("##tavirlenPhasing="), std::string::npos);
        Calls written = query(out);
        ASSERT_EQ(written.size(), in.size());
        int phased = 0, filled = 0;
        for (std::size_t s = 0; s < in.size(); ++s) {
            EXPECT_EQ(written[s]["99"], in[s]["99"] + " .");
            if (s == 9) continue; // the site left out is written as read
            for (auto& [sample, call] : written[s]) {
                if (sample == "99") continue;
                std::string before = in[s][sample].substr(0, 3);
                if (before == "./.") {
                    filled += call.substr(0, 3) != "./.";
                    EXPECT_TRUE(fill || call.substr(0, 3) == "./.") << sample << " at site " << s;
                } else {
                    auto a = alleles(before), b = alleles(call);
                    EXPECT_TRUE(a == b || (a[0] == b[1] && a[1] == b[0])) << sample << " at site " << s;
                }
                EXPECT_EQ(call[1] == '|', call.substr(4) == std::to_string(input.markers.basePairs[0]));
                if (call[1] != '|' || !parents.count(sample)) continue;
                ++phased;
                auto [father, mother] = parents.at(sample);
                // A parent's call left missing tells nothing.
                auto fits = [&](const std::string& parent, char allele) {
                    std::string gt = written[s][parent].substr(0, 3);
                    return gt.find('.') != std::string::npos || gt.find(allele) != std::string::npos;
                };
                EXPECT_TRUE(fits(father, call[0])) << sample << " paternal at site " << s;
                EXPECT_TRUE(fits(mother, call[2])) << sample << " maternal at site " << s;
            }
        }
        EXPECT_GT(phased, 100);
        EXPECT_EQ(filled > 0, fill);
    }
}

TEST(FamilyVcf, WrongInputStopsTheRunWithOneLine)
{
    test::TempDir dir;
    const std::string header = "##fileformat=VCFv4.2\n##FORMAT=<ID=GT,Number=1,Type=String,Description=\"\">\n"
                               "##contig=<ID=1>\n##contig=<ID=2>\n"
                               "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tA\tB\tC\n";
    auto site = [](const char* chromosome, int position) {
        return std::string(chromosome) + "\t" + std::to_string(position) + "\t.\tA\tG\t.\t.\t.\tGT\t0/1\t0/0\t0/1\n";
    };
    const std::string trio = "f A 0 0 1\nf B 0 0 2\nf C A B 1\n";
    struct Case {
        std::string sites, ped, region, expected;
    };
    const Case cases[] = {
        {site("1", 200) + site("1", 100), trio, "", "the VCF is not sorted: 1:100 comes after position 200"},
        {site("1", 100) + site("2", 50) + site("1", 300), trio, "1", "chromosome 1 comes back after 2"},
        {site("1", 100) + site("2", 100), trio, "", "the VCF holds several chromosomes (1, 2); choose one"},
        {site("1", 100) + site("2", 100), trio, "3", "no site on chromosome 3 (it holds 1, 2)"},
        {site("1", 100), "f X 0 0 1\nf Y 0 0 2\n", "", "none of the 3 VCF samples is a member"},
        {site("1", 100), "f A C B 1\nf B 0 0 2\nf C A B 1\n", "", "parent links of family f form a cycle"},
        {site("1", 100), "f A 0 0\n", "", "line 1 of fam.ped has 4 columns"},
        {site("1", 100), "f A 0 0 1\ng A 0 0 1\n", "", "sample A matches individuals of families f and g"},
    };
    std::string error;
    for (const Case& c : cases) {
        test::writeFile("fam.vcf", header + c.sites);
        test::writeFile("fam.ped", c.ped);
        EXPECT_FALSE(readFamilyVcf("fam.vcf", "fam.ped", c.region, error)) << c.expected;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    EXPECT_FALSE(readFamilyVcf("none.vcf", "fam.ped", "", error));
    EXPECT_EQ(error, "cannot read none.vcf as a VCF or BCF file");
    test::writeFile("fam.vcf", header + site("1", 100) + site("2", 100));
    test::writeFile("fam.ped", trio);
    auto input = readFamilyVcf("fam.vcf", "fam.ped", "2", error);
    ASSERT_TRUE(input) << error;
    EXPECT_EQ(input->markers.basePairs, std::vector<long long>{100});
    // A byte-order mark and old Mac line ends change nothing in what is read.
    test::writeFile("fam.ped", "\xEF\xBB\xBF" "f A 0 0 1\rf B 0 0 2\rf C A B 1\r");
    input = readFamilyVcf("fam.vcf", "fam.ped", "2", error);
    ASSERT_TRUE(input) << error;
    ASSERT_EQ(input->members.size(), 3u);
    EXPECT_EQ(input->members[0].familyId, "f");
    EXPECT_EQ(input->members[2].fatherId, "A");

    // Nothing is left behind by a write that fails: the input changed since it
    // was read, the folder is missing, the ending is unknown.
    PhasedVcfCalls calls(*input, false);
    test::writeFile("fam.vcf", header + site("1", 100));
    for (const char* out : {"out.vcf", "missing/out.vcf", "out.txt"})
        EXPECT_FALSE(writePhasedVcf("fam.vcf", out, calls, error)) << out;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 2);
}

// A three-generation family over 10,000 sites with 5% of the calls missing,
// phased through the command line: bcftools reads the output, every phased
// child carries its father's allele first and its mother's second, the
// crossover table has the .res count, and the same data as a numeric
// pedigree file phases the same.
TEST(FamilyVcfRun, TenThousandSitesPhaseExactlyAndAsTheSameDataInAPedFile)
{
    REQUIRE_TOOLS();
    test::TempDir dir;
    const int sites = 10000;
    const char* names[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const int father[] = {0, 0, 0, 0, 1, 3, 5, 5, 5};
    const int mother[] = {0, 0, 0, 0, 2, 4, 6, 6, 6};
    std::mt19937 random(7);
    std::vector<std::array<int, 2>> haplotype(9, {0, 0}); // which parental haplotype each member carries
    std::vector<std::vector<std::array<int, 2>>> calls(9, std::vector<std::array<int, 2>>(sites));
    std::string vcf = "##fileformat=VCFv4.2\n##contig=<ID=7>\n##FORMAT=<ID=GT,Number=1,Type=String,Description=\"\">\n"
                      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (const char* n : names) vcf += std::string("\t") + n;
    vcf += "\n";
    std::string ped;
    for (int s = 0; s < sites; ++s) {
        vcf += "7\t" + std::to_string(1000 + 10 * s) + "\trs" + std::to_string(s) + "\tA\tG\t.\t.\t.\tGT";
        for (int m = 0; m < 9; ++m) {
            for (int side = 0; side < 2; ++side) {
                if (father[m] == 0) {
                    calls[m][s][side] = static_cast<int>(random() % 2);
                    continue;
                }
                if (random() % 2000 == 0) haplotype[m][side] ^= 1;
                const int parent = side == 0 ? father[m] - 1 : mother[m] - 1;
                calls[m][s][side] = calls[parent][s][haplotype[m][side]];
            }
            const bool missing = random() % 20 == 0;
            vcf += missing ? "\t./." : "\t" + std::to_string(calls[m][s][0]) + "/" + std::to_string(calls[m][s][1]);
        }
        vcf += "\n";
    }
    for (int m = 0; m < 9; ++m) ped += "1 " + std::string(names[m]) + " " + std::to_string(father[m]) + " "
        + std::to_string(mother[m]) + " " + (m % 2 == 0 ? "1" : "2") + "\n";
    test::writeFile("fam.vcf", vcf);
    test::writeFile("fam.ped", ped);
    ASSERT_EQ(std::system("bgzip -f fam.vcf"), 0);

    test::RunResult run = test::runTavirlen({"-a", "fam.vcf.gz", "--ped", "fam.ped", "--vcf-out", "phased.vcf.gz",
                                             "--out", "v", "--quiet", "--seed", "1"});
    ASSERT_EQ(run.status, 0) << run.errors;
    ASSERT_EQ(shell("bcftools view -H phased.vcf.gz | wc -l"), std::to_string(sites) + "\n");
    Calls written = query("phased.vcf.gz", "%GT");
    int checked = 0;
    for (int s = 0; s < sites; ++s) {
        for (int m = 4; m < 9; ++m) {
            const std::string call = written[static_cast<std::size_t>(s)][names[m]];
            if (call[1] != '|') continue;
            for (int side = 0; side < 2; ++side) {
                const std::string parent = written[static_cast<std::size_t>(s)][names[(side ? mother[m] : father[m]) - 1]];
                if (parent.find('.') == std::string::npos) {
                    EXPECT_NE(parent.find(call[2 * side]), std::string::npos) << names[m] << " at site " << s;
                }
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 4 * sites);
    std::istringstream res(test::readFile("v.res"));
    std::string header, family;
    int recombinants = -1;
    res.ignore(1000, '\n');
    res >> family >> recombinants;
    const std::string crossovers = test::readFile("v.crossovers.tsv");
    EXPECT_EQ(std::count(crossovers.begin(), crossovers.end(), '\n') - 1, recombinants);
    EXPECT_NE(test::readFile("v.summary.tsv").find("\tphased\t\ta\texact\t"), std::string::npos);

    // The same genotypes as a seven-column numeric pedigree file.
    std::string numeric;
    Calls input = query("fam.vcf.gz", "%GT");
    for (int m = 0; m < 9; ++m) {
        numeric += "1 " + std::string(names[m]) + " " + std::to_string(father[m]) + " " + std::to_string(mother[m])
            + " " + (m % 2 == 0 ? "1" : "2") + " 0 0";
        for (int s = 0; s < sites; ++s) {
            const std::string gt = input[static_cast<std::size_t>(s)][names[m]];
            numeric += gt[0] == '.' ? " 0 0" : " " + std::to_string(gt[0] - '0' + 1) + " " + std::to_string(gt[2] - '0' + 1);
        }
        numeric += "\n";
    }
    test::writeFile("fam.txt", numeric);
    ASSERT_EQ(test::runTavirlen({"-a", "fam.txt", "--out", "n", "--quiet", "--seed", "1"}).status, 0);
    EXPECT_EQ(test::readFile("n.out"), test::readFile("v.out"));

    // Wrong input: one line, exit 1, nothing written.
    test::writeFile("bad.ped", "1 1 3 2 1\n1 2 0 0 2\n1 3 1 2 1\n");
    run = test::runTavirlen({"-a", "fam.vcf.gz", "--ped", "bad.ped", "--out", "bad", "--quiet", "--seed", "1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_FALSE(test::fileExists("bad.res") || test::fileExists("bad.summary.tsv"));
}

} // namespace
} // namespace tavirlen
