#include "ilp/SolverLog.h"

#include "pedigree/PedigreeReader.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace tavirlen {

void writeSolutionListing(std::FILE* log, const std::vector<std::pair<std::string, double>>& columns)
{
    std::fprintf(log, "1ILP0011I Solution listing: %zu columns\n", columns.size());
    for (std::size_t j = 0; j < columns.size(); ++j) {
        const auto& [name, value] = columns[j];
        double rounded = std::round(value);
        std::string activity;
        if (std::fabs(value - rounded) > 1e-6) {
            char text[32];
            std::snprintf(text, sizeof text, "%.9f", std::fabs(value));
            activity = text;
        } else {
            activity = rounded == 0.0 ? "." : std::to_string(static_cast<long>(std::fabs(rounded)));
        }
        std::fprintf(log, "ILP0064I %7zu  %-10s  IV  %s\n", j, name.c_str(), activity.c_str());
    }
}

namespace {

std::vector<std::string> logTokens(const std::string& line)
{
    std::string text = line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return splitFields(text, " -");
}

void readColumnLine(IlpModel& model, const std::vector<std::string>& tokens)
{
    if (tokens.size() < 5 || tokens[2].size() < 2) return;
    int id = 0;
    if (parseDecimal(tokens[2].substr(1), id) != ParseStatus::parsed) return;
    const std::string& activity = tokens[4];
    if (activity == ".") {
        model.fixVariable(id, 0);
        return;
    }
    double value = std::strtod(activity.c_str(), nullptr);
    if (1.0 - value < 1e-9) model.fixVariable(id, 1);
}

} // namespace

bool readSolverLog(IlpModel& model, const std::string& logFileName)
{
    std::ifstream log(logFileName);
    return log.is_open() && readSolverLog(model, log);
}

bool readSolverLog(IlpModel& model, std::istream& log)
{
    bool listing = false;
    std::string line;
    while (std::getline(log, line)) {
        std::vector<std::string> tokens = logTokens(line);
        if (tokens.empty()) continue;
        if (listing) {
            if (tokens[0] == "ILP0064I") readColumnLine(model, tokens);
            continue;
        }
        if (tokens[0] == "ILP0008I") {
            std::getline(log, line);
            while (std::getline(log, line)) {
                std::vector<std::string> skipped = logTokens(line);
                if (!skipped.empty() && skipped[0] == "ILP0001I") break;
            }
        } else if (tokens[0] == "1ILP0011I") {
            listing = true;
        }
    }
    return listing;
}

} // namespace tavirlen
