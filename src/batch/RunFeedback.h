#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tavirlen {

// What a run tells the person waiting for it, on standard error: a progress
// line once a run lasts more than about two seconds (updated in place on a
// terminal, otherwise one line every few seconds) and one line at the end.
class RunFeedback {
public:
    RunFeedback(bool quiet, std::uintmax_t inputBytes);

    // Whether familyDone would print now: callers can then leave the read
    // position unasked (it costs a system call) for the families between.
    bool lineDue() const;
    // Called after each family; prints only when a line is due.
    void familyDone(long long families, std::uintmax_t bytesRead);
    // The closing line, with the seconds since the start appended.
    void finish(const std::string& text);
    double elapsedSeconds() const;

private:
    using Clock = std::chrono::steady_clock;
    bool quiet_;
    bool terminal_;
    bool inPlace_ = false;
    std::uintmax_t inputBytes_;
    Clock::time_point start_;
    Clock::time_point lastLine_;
};

} // namespace tavirlen
