#include "FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

namespace fuzz {

std::ostream& nullStream()
{
    static NullBuffer buffer;
    static std::ostream stream(&buffer);
    return stream;
}

std::FILE* nullFile()
{
    static std::FILE* file = std::fopen("/dev/null", "w");
    return file;
}

} // namespace fuzz

// The library reports data problems on standard output; at thousands of
// inputs a second that would bury the fuzzer's own lines (on standard error).
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return 0;
}
