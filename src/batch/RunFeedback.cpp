#include "batch/RunFeedback.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace tavirlen {

namespace {

constexpr double quietStart = 2.0;      // seconds before the first progress line
constexpr double terminalInterval = 0.25;
constexpr double logInterval = 5.0;

double secondsBetween(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

} // namespace

RunFeedback::RunFeedback(bool quiet, std::uintmax_t inputBytes)
    : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1), inputBytes_(inputBytes), start_(Clock::now()),
      lastLine_(start_)
{
}

double RunFeedback::elapsedSeconds() const
{
    return secondsBetween(start_, Clock::now());
}

bool RunFeedback::lineDue() const
{
    if (quiet_) return false;
    Clock::time_point now = Clock::now();
    if (secondsBetween(start_, now) < quietStart) return false;
    return !(inPlace_ || !terminal_) || secondsBetween(lastLine_, now) >= (terminal_ ? terminalInterval : logInterval);
}

void RunFeedback::familyDone(long long families, const std::function<std::uintmax_t()>& bytesRead)
{
    if (!lineDue()) return;
    lastLine_ = Clock::now();
    std::ostringstream line;
    line << "tavirlen: " << families << (families == 1 ? " family" : " families") << " done";
    if (inputBytes_ > 0 && bytesRead) {
        double share = 100.0 * static_cast<double>(bytesRead()) / static_cast<double>(inputBytes_);
        line << ", " << static_cast<int>(share > 100.0 ? 100.0 : share) << "% of the input read";
    }
    if (terminal_) {
        std::cerr << "\r" << line.str() << "\033[K" << std::flush;
        inPlace_ = true;
    } else {
        std::cerr << line.str() << std::endl;
    }
}

void RunFeedback::finish(const std::string& text)
{
    if (quiet_) return;
    if (inPlace_) std::cerr << "\r\033[K";
    std::ostringstream seconds;
    seconds.precision(3);
    seconds << elapsedSeconds();
    std::cerr << "tavirlen: " << text << "; " << seconds.str() << " s" << std::endl;
    inPlace_ = false;
}

} // namespace tavirlen
