#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace tavirlen {

// What a run tells the person waiting for it, on standard error: a progress
// line once a run lasts more than about two seconds (updated in place on a
// terminal, otherwise one line every few seconds) and one line at the end.
class RunFeedback {
public:
    RunFeedback(bool quiet, std::uintmax_t inputBytes);

    // Called after each family; prints only when a line is due, and only
    // then asks how far the input has been read (that can cost a system call).
    void familyDone(long long families, const std::function<std::uintmax_t()>& bytesRead);
    // The closing line, with the seconds since the start appended.
    void finish(const std::string& text);
    double elapsedSeconds() const;

private:
    bool lineDue() const;

    using Clock = std::chrono::steady_clock;
    bool quiet_;
    bool terminal_;
    bool inPlace_ = false;
    std::uintmax_t inputBytes_;
    Clock::time_point start_;
    Clock::time_point lastLine_;
};

} // namespace tavirlen
