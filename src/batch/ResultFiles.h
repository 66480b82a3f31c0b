#pragma once

#include "batch/OutputFile.h"
#include "batch/RunOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavirlen {

// The input name with its last three characters replaced by `ending`; a name
// shorter than three characters gets "." and the ending appended.
std::string resultFileName(const std::string& inputName, const std::string& ending);

// The name of a result file of this run: PREFIX.ending with --out PREFIX,
// else named after the input as above.
std::string resultFileName(const RunOptions& options, const std::string& ending);

// Names made by appending a suffix (mode n's "-m5.txt", the simulators'):
// PREFIX + suffix with --out, else `base` + suffix.
std::string suffixedResultName(const RunOptions& options, const std::string& base, const std::string& suffix);

// True when the first lines of the file hold one of this tool's own result
// layouts (or the file is empty): such a file may be replaced.
bool holdsOwnResult(const std::string& path);

// Why `name` must not be written by this run, if it must not: it is the input
// itself (under any name or link), or it exists and was not written by this
// tool (unless --force).
std::optional<std::string> refuseResultName(const std::string& name, const RunOptions& options);

// Why a file cannot be read as input: missing, unreadable or not a regular
// file (a directory would read as empty and give empty results).
std::optional<std::string> inputProblem(const std::string& inputName, const char* what = "input");

// True when both names lead to one existing file.
bool sameExistingFile(const std::string& a, const std::string& b);

// The result files of one run. Each is written under a temporary name; they
// replace their result names together, and only when every one of them was
// written whole.
class ResultSet {
public:
    explicit ResultSet(const RunOptions& options) : options_(options) {}

    // Checks every name before anything is created, so a refused run leaves
    // the folder as it was. False, with the message printed, when one is refused.
    bool acceptNames(const std::vector<std::string>& names) const;
    // Opens one file (after the same check). On failure: message on standard
    // error, nullptr.
    OutputFile* open(const std::string& name, bool append = false);
    // The first file whose writes failed, if any.
    OutputFile* failed();
    // Closes every file and moves them into place; on any failure every
    // temporary file is removed instead. False (messages printed) then.
    bool commit();
    // Removes every temporary file.
    void discard();
    // The result names, in the order opened.
    std::vector<std::string> names() const;

private:
    RunOptions options_;
    std::vector<std::unique_ptr<OutputFile>> files_;
};

// "wrote A, B, C" for the end-of-run line.
std::string writtenList(const std::vector<std::string>& names);

} // namespace tavirlen
