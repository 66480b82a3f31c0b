#include "pedigree/MarkerMap.h"

#include "pedigree/LineReader.h"
#include "pedigree/PedigreeReader.h"

#include <cmath>

namespace tavirlen {


std::optional<MarkerMap> readMarkerMap(std::istream& input, std::string& error)
{
    MarkerMap map;
    LineReader lines(input);
    std::string line;
    std::size_t columns = 0;
    double lastKnownBasePair = 0;
    while (lines.next(line)) {
        std::vector<std::string> fields = splitFields(line, " \t");
        if (fields.empty()) continue;
        const std::string where = "line " + std::to_string(lines.lineNumber());
        if (columns == 0) {
            columns = fields.size();
            if (columns != 3 && columns != 4) {
                error = where + " has " + std::to_string(columns)
                    + " fields; a map has chromosome, name, centimorgans and, in PLINK's layout, base pair";
                return std::nullopt;
            }
        }
        if (fields.size() != columns) {
            error = where + " has " + std::to_string(fields.size()) + " fields, the first line "
                + std::to_string(columns);
            return std::nullopt;
        }
        double centimorgans = 0;
        if (!wholeDecimal(fields[2], centimorgans)) {
            error = where + ": \"" + fields[2] + "\" is not a position in centimorgans";
            return std::nullopt;
        }
        if (!map.centimorgans.empty() && centimorgans < map.centimorgans.back()) {
            error = where + ": marker " + fields[1] + " lies before the marker above it";
            return std::nullopt;
        }
        // Loci are read as neighbours on one chromosome: a crossover between
        // two chromosomes would be counted as a recombination.
        if (!map.chromosomes.empty() && fields[0] != map.chromosomes.front()) {
            error = where + ": marker " + fields[1] + " is on chromosome " + fields[0] + ", the markers above it on "
                + map.chromosomes.front() + "; a run reads one chromosome";
            return std::nullopt;
        }
        map.chromosomes.push_back(fields[0]);
        map.names.push_back(fields[1]);
        map.centimorgans.push_back(centimorgans);
        if (columns == 4) {
            double basePair = 0;
            // A position must fit the integer it is kept in.
            if (!wholeDecimal(fields[3], basePair) || basePair != std::floor(basePair) || basePair < -9.2e18
                || basePair > 9.2e18) {
                error = where + ": \"" + fields[3] + "\" is not a base-pair position";
                return std::nullopt;
            }
            // Most maps give no centimorgans (all 0): then the base pairs
            // are what orders the markers. 0 and below mean "not known".
            if (basePair > 0 && basePair < lastKnownBasePair) {
                error = where + ": marker " + fields[1] + " lies before the marker above it";
                return std::nullopt;
            }
            if (basePair > 0) lastKnownBasePair = basePair;
            map.basePairs.push_back(static_cast<long long>(basePair));
        }
    }
    if (map.empty()) {
        error = "it holds no marker";
        return std::nullopt;
    }
    return map;
}

double haldaneFraction(double centimorgans)
{
    return (1.0 - std::exp(-2.0 * centimorgans / 100.0)) / 2.0;
}

} // namespace tavirlen
