#pragma once

#include <deque>
#include <istream>
#include <string>

namespace tavirlen {

// Reads text lines the way files from any system end them: "\n", "\r\n" or
// a lone "\r" (old Mac files would otherwise read as one line). A UTF-8
// byte-order mark before the first line is skipped, so it cannot stick to the
// first field.
class LineReader {
public:
    explicit LineReader(std::istream& input) : input_(input) {}

    // The next line without its end; false at the end of the input.
    bool next(std::string& line);
    // The number of the line last returned, from 1.
    long long lineNumber() const { return lineNumber_; }

private:
    std::istream& input_;
    std::deque<std::string> pending_;
    long long lineNumber_ = 0;
    bool started_ = false;
};

} // namespace tavirlen
