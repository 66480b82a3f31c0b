#include "ilp/MpsWriter.h"

#include <cstdarg>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace tavirlen {

namespace {

std::string format(const char* pattern, ...)
{
    char buffer[128];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    return buffer;
}

std::string paddedLine(const std::string& text)
{
    std::string line = text;
    if (line.size() < 80) line.append(80 - line.size(), ' ');
    return line + "\n";
}

// A weight in the value field: four decimals where they hold it exactly, as
// always; otherwise six significant digits, so that a small positive weight
// never becomes 0 (which would make a recombination free there).
std::string weightText(double weight)
{
    std::string text = format("%5.4f", weight);
    if (static_cast<float>(std::strtod(text.c_str(), nullptr)) != static_cast<float>(weight))
        text = format("%.6g", weight);
    return text;
}

// The objective line of each column: from its first +c entry, else from its
// first -c entry; later entries for the same column are not looked at.
std::map<int, std::string> objectiveLines(const IlpModel& model)
{
    std::map<int, std::string> lines;
    std::set<int> positive;
    for (std::size_t k = 0; k < model.objectiveVariables.size(); ++k) {
        int literal = model.objectiveVariables[k];
        double weight = static_cast<double>(model.objectiveWeights[k]);
        if (literal > 0 && positive.insert(literal).second)
            lines[literal] = "OBJ       " + weightText(weight) + "\n";
        else if (literal < 0 && !positive.count(-literal) && !lines.count(-literal))
            lines[-literal] = "OBJ       -" + weightText(weight) + "\n";
    }
    return lines;
}

using ColumnTable = std::map<int, std::set<std::string>>;

// Declares one row and files its entries under their columns. A variable
// named twice in a row gets one entry with the summed coefficient (none when
// the terms cancel), so the file states the row as the model holds it.
void addRow(const std::map<int, std::string>& objective, ColumnTable& columns, std::string& text, char letter, int i,
            const IlpRow& row)
{
    text += format(" %c  %c%d\n", letter, letter, i);
    std::vector<std::pair<int, int>> coefficients;
    for (std::size_t t = 0; t + 1 < row.size(); ++t) {
        int c = row[t] < 0 ? -row[t] : row[t];
        int sign = row[t] < 0 ? -1 : 1;
        bool seen = false;
        for (auto& [column, coefficient] : coefficients) {
            if (column != c) continue;
            coefficient += sign;
            seen = true;
        }
        if (!seen) coefficients.push_back({c, sign});
    }
    for (const auto& [c, coefficient] : coefficients) {
        if (coefficient == 0) continue;
        std::set<std::string>& entries = columns[c];
        entries.insert(format("%c%-9d%d\n", letter, i, coefficient));
        auto line = objective.find(c);
        if (line != objective.end()) entries.insert(line->second);
    }
}

} // namespace

std::string mpsText(const IlpModel& model)
{
    std::string text = paddedLine("NAME          LPDCMP1") + paddedLine("ROWS") + paddedLine(" N  OBJ");
    ColumnTable columns;
    const std::map<int, std::string> objective = objectiveLines(model);
    for (std::size_t i = 0; i < model.equalityRows.size(); ++i)
        addRow(objective, columns, text, 'E', static_cast<int>(i), model.equalityRows[i]);
    for (std::size_t i = 0; i < model.inequalityRows.size(); ++i)
        addRow(objective, columns, text, 'L', static_cast<int>(i), model.inequalityRows[i]);
    text += "COLUMNS\n";
    text += "    INT1      'MARKER'                 'INTORG'\n";
    for (const auto& [c, entries] : columns)
        for (const std::string& entry : entries) text += format("    X%-9d", c) + entry;
    text += "    INT1END   'MARKER'                 'INTEND'\n";
    text += "RHS\n";
    for (std::size_t i = 0; i < model.equalityRows.size(); ++i)
        text += "    RHS001    E" + format("%d        %d\n", static_cast<int>(i), model.equalityRows[i].back());
    for (std::size_t i = 0; i < model.inequalityRows.size(); ++i)
        text += "    RHS001    L" + format("%d        %d\n", static_cast<int>(i), model.inequalityRows[i].back());
    text += "BOUNDS\n";
    for (const auto& [c, entries] : columns) {
        text += format(" LO BND1      X%-9d0\n", c);
        text += format(" UP BND1      X%-9d1\n", c);
    }
    text += "ENDATA\n";
    return text;
}

bool writeMps(const IlpModel& model, std::FILE* file)
{
    std::string text = mpsText(model);
    if (file) std::fwrite(text.data(), 1, text.size(), file);
    return true;
}

} // namespace tavirlen
