#include "pedigree/LineReader.h"

namespace tavirlen {

bool LineReader::next(std::string& line)
{
    if (!pending_.empty()) {
        line = std::move(pending_.front());
        pending_.pop_front();
        ++lineNumber_;
        return true;
    }
    // Read into the caller's string, whose room serves line after line; only
    // a line that holds lone carriage returns is split, the pieces after the
    // first kept for the next calls.
    if (!std::getline(input_, line)) return false;
    if (!started_) {
        started_ = true;
        if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find('\r');
    if (first != std::string::npos) {
        std::size_t start = first + 1;
        for (std::size_t cr; (cr = line.find('\r', start)) != std::string::npos; start = cr + 1)
            pending_.push_back(line.substr(start, cr - start));
        pending_.push_back(line.substr(start));
        line.resize(first);
    }
    ++lineNumber_;
    return true;
}

} // namespace tavirlen
