#include "pedigree/LineReader.h"

namespace tavirlen {

bool LineReader::next(std::string& line)
{
    if (pending_.empty()) {
        std::string raw;
        if (!std::getline(input_, raw)) return false;
        if (!started_) {
            started_ = true;
            if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        }
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::size_t start = 0;
        for (std::size_t cr; (cr = raw.find('\r', start)) != std::string::npos; start = cr + 1)
            pending_.push_back(raw.substr(start, cr - start));
        pending_.push_back(start == 0 ? std::move(raw) : raw.substr(start));
    }
    line = std::move(pending_.front());
    pending_.pop_front();
    ++lineNumber_;
    return true;
}

} // namespace tavirlen
