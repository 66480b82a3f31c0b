#pragma once

// Shared by the fuzz targets: the bytes as a stream, sinks for what the
// library writes, and a check whose failure counts as a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace fuzz {

inline std::istringstream streamOf(const std::uint8_t* data, std::size_t size)
{
    return std::istringstream(std::string(reinterpret_cast<const char*>(data), size));
}

// Accepts every character and keeps none, so the writers run in full.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

std::ostream& nullStream();
std::FILE* nullFile();

// An invariant of the code under test failed: abort so that libFuzzer saves the input.
inline void require(bool holds)
{
    if (!holds) __builtin_trap();
}

} // namespace fuzz
