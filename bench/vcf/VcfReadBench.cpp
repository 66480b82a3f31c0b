// Times the family VCF reader on a generated file of 100,000 sites and 10
// samples (a three-generation family, 5% missing calls, some multi-allelic
// sites) against `bcftools view` writing the same file out again as plain
// VCF, for plain and for bgzipped input, and prints the seconds and their
// ratio (target: at most 2). Each figure is the best of three runs.
//
//   vcf_bench [sites]
// The files go to a temporary folder that is removed at the end.

#include "vcf/FamilyVcf.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

using namespace tavirlen;

namespace {

const char* const ped = "F GF1 0 0 1 1\nF GM1 0 0 2 1\nF GF2 0 0 1 1\nF GM2 0 0 2 1\n"
                        "F FA GF1 GM1 1 1\nF MO GF2 GM2 2 1\nF K1 FA MO 1 2\nF K2 FA MO 2 1\n"
                        "F K3 FA MO 1 1\nF K4 FA MO 2 2\n";

void writeVcf(const std::string& path, long sites)
{
    std::mt19937 rng(11);
    std::ofstream out(path);
    out << "##fileformat=VCFv4.2\n##contig=<ID=7,length=159345973>\n"
           "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
           "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Read depth\">\n"
           "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tGF1\tGM1\tGF2\tGM2\tFA\tMO\tK1\tK2\tK3\tK4\n";
    long position = 10000;
    for (long s = 0; s < sites; ++s) {
        position += 1 + rng() % 1500;
        bool multi = rng() % 20 == 0;
        out << "7\t" << position << "\trs" << 100000 + s << "\tA\t" << (multi ? "C,G" : "C") << "\t50\tPASS\t.\tGT:DP";
        int alleles = multi ? 3 : 2;
        for (int i = 0; i < 10; ++i) {
            out << '\t';
            if (rng() % 20 == 0)
                out << "./.";
            else
                out << rng() % alleles << '/' << rng() % alleles;
            out << ':' << 5 + rng() % 40;
        }
        out << '\n';
    }
}

double bestOfThree(const std::function<void()>& run)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    long sites = argc > 1 ? std::atol(argv[1]) : 100000;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vcf_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string vcf = (dir / "family.vcf").string(), pedPath = (dir / "family.ped").string();
    writeVcf(vcf, sites);
    std::ofstream(pedPath) << ped;
    if (std::system(("bgzip -c " + vcf + " > " + vcf + ".gz").c_str()) != 0) {
        std::fprintf(stderr, "vcf_bench: bgzip failed (is it installed?)\n");
        return 1;
    }
    std::printf("%ld sites, 10 samples\n", sites);
    int status = 0;
    for (const char* kind : {"plain", "bgzipped"}) {
        bool zipped = kind[0] == 'b';
        std::string input = zipped ? vcf + ".gz" : vcf;
        std::size_t loci = 0;
        std::string error;
        double reading = bestOfThree([&] {
            auto read = readFamilyVcf(input, pedPath, "", error);
            loci = read ? read->markers.size() : 0;
        });
        // Written uncompressed in both cases: the stricter comparison, as
        // compressing the copy would add time to bcftools's side only.
        std::string command = "bcftools view --no-version -Ov -o " + (dir / "copy.vcf").string() + " " + input;
        double writing = bestOfThree([&] { status |= std::system(command.c_str()); });
        if (loci != static_cast<std::size_t>(sites) || status != 0) {
            std::fprintf(stderr, "vcf_bench: %s\n", loci ? "bcftools view failed" : error.c_str());
            status = 1;
            break;
        }
        std::printf("%-8s  reader %.3f s   bcftools view %.3f s   ratio %.2f (target <= 2)\n", kind, reading, writing,
                    reading / writing);
    }
    std::filesystem::remove_all(dir);
    return status;
}
