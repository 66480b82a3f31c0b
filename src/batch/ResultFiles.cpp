#include "batch/ResultFiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <vector>

namespace tavirlen {

std::string resultFileName(const std::string& inputName, const std::string& ending)
{
    if (inputName.size() < 3) return inputName + "." + ending;
    return inputName.substr(0, inputName.size() - 3) + ending;
}

std::string resultFileName(const RunOptions& options, const std::string& ending)
{
    if (!options.outPrefix.empty()) return options.outPrefix + "." + ending;
    return resultFileName(options.inputName, ending);
}

std::string suffixedResultName(const RunOptions& options, const std::string& base, const std::string& suffix)
{
    return (options.outPrefix.empty() ? base : options.outPrefix) + suffix;
}

namespace {

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

bool hasPrefix(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A .dat block (also mode n's and mode e's copies): "FAMILY-ID", then M or F.
bool datLayout(const std::string& first, const std::string& second)
{
    return !first.empty() && first.find_first_of(" \t") == std::string::npos
        && first.find('-') != std::string::npos && (second == "M" || second == "F");
}

// A .out line (also mode e's .mrh): ids, sex, two zeros, then "a|b" per
// locus. A simulated replicate has " a" where the .out line has "a|b".
bool outLayout(const std::string& first)
{
    std::vector<std::string> fields = splitTabs(first);
    if (fields.size() < 9 || fields[5] != "0" || fields[6] != "0") return false;
    if (!fields[7].empty() && fields[7][0] == ' ') return true;
    for (std::size_t i = 7; i + 2 < fields.size(); ++i)
        if (fields[i].find('|') == std::string::npos) return false;
    for (std::size_t i = fields.size() - 2; i < fields.size(); ++i)
        if (fields[i].find_first_not_of("-01") != std::string::npos) return false;
    return true;
}

} // namespace

bool holdsOwnResult(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return false;
    std::string first;
    std::string second;
    if (!std::getline(file, first)) return true; // empty
    std::getline(file, second);
    static const char* const headers[] = {
        "Family\t # of Rec\t Time used(Sec)",
        "Solution#\tSolution\tFamilyID\tRec#\tTime(Sec)",
        "(I5,2X,A8)",
        "Marker interval recombFrac:",
    };
    for (const char* header : headers)
        if (first == header) return true;
    if (hasPrefix(first, "Pedigree ") && first.size() > 12 && first.compare(first.size() - 11, 11, " is to big!") == 0)
        return true;
    if (hasPrefix(first, "Family ") && first.find(" Individual ") != std::string::npos) return true;
    if (hasPrefix(first, "family\tsolution\tchild\tparent\tside\tlocus_before\tlocus_after")) return true;
    if (hasPrefix(first, "family\tmembers\tloci\tstatus\treason\tmode\t")) return true;
    if (first == "<!DOCTYPE html>" && second == "<!-- written by tavirlen -->") return true;
    return datLayout(first, second) || outLayout(first);
}

std::optional<std::string> inputProblem(const std::string& inputName, const char* what)
{
    const std::string message = std::string("Cannot open ") + what + " file: " + inputName;
    struct stat info {};
    if (::stat(inputName.c_str(), &info) != 0) return message;
    if (!S_ISREG(info.st_mode)) return message + " (not a regular file)";
    std::ifstream probe(inputName);
    if (!probe.is_open()) return message;
    return std::nullopt;
}

bool sameExistingFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::optional<std::string> refuseResultName(const std::string& name, const RunOptions& options)
{
    // Writing a result over the input would destroy the data before it is read.
    if (name == options.inputName || sameExistingFile(name, options.inputName))
        return "Result file " + name + " would overwrite the input file";
    struct stat info {};
    if (options.force || ::lstat(name.c_str(), &info) != 0) return std::nullopt;
    if (S_ISREG(info.st_mode) && holdsOwnResult(name)) return std::nullopt;
    if (S_ISLNK(info.st_mode) && ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode) && holdsOwnResult(name))
        return std::nullopt;
    if (S_ISDIR(info.st_mode)) return "Cannot create result file: " + name + " (" + std::strerror(EISDIR) + ")";
    return "Result file " + name
        + " exists and was not written by tavirlen; choose another name with --out PREFIX, or pass --force";
}

bool ResultSet::acceptNames(const std::vector<std::string>& names) const
{
    for (const std::string& name : names) {
        if (auto problem = refuseResultName(name, options_)) {
            std::cerr << *problem << std::endl;
            return false;
        }
    }
    return true;
}

OutputFile* ResultSet::open(const std::string& name, bool append)
{
    std::optional<std::string> problem = refuseResultName(name, options_);
    auto file = std::make_unique<OutputFile>();
    if (!problem) problem = file->open(name, append);
    if (problem) {
        std::cerr << *problem << std::endl;
        return nullptr;
    }
    files_.push_back(std::move(file));
    return files_.back().get();
}

OutputFile* ResultSet::failed()
{
    for (auto& file : files_)
        if (!file->healthy()) return file.get();
    return nullptr;
}

bool ResultSet::commit()
{
    bool sound = true;
    for (auto& file : files_) {
        if (auto problem = file->close()) {
            std::cerr << *problem << std::endl;
            sound = false;
        }
    }
    for (auto& file : files_) {
        if (!sound) break;
        if (auto problem = file->moveIntoPlace()) {
            std::cerr << *problem << std::endl;
            sound = false;
        }
    }
    if (!sound) discard();
    return sound;
}

void ResultSet::discard()
{
    for (auto& file : files_) file->discard();
}

std::vector<std::string> ResultSet::names() const
{
    std::vector<std::string> names;
    for (const auto& file : files_) names.push_back(file->name());
    return names;
}

std::string writtenList(const std::vector<std::string>& names)
{
    if (names.empty()) return "no file written";
    std::string text = "wrote ";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
    return text;
}

} // namespace tavirlen
