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
    std::size_t cr = line.find('\r');
    if (cr != std::string::npos) {
        for (std::size_t start = cr + 1;; start = cr + 1) {
            cr = line.find('\r', start);
            pending_.push_back(line.substr(start, cr == std::string::npos ? std::string::npos : cr - start));
            if (cr == std::string::npos) break;
        }
        line.resize(line.find('\r'));
    }
    ++lineNumber_;
    return true;
}

} // namespace tavirlen
