#pragma once

#include <charconv>
#include <string>

namespace tavirlen {

// Result lines are formatted in memory and written whole: a formatted stream
// insertion per field cost more than the phasing of a family.
inline void appendNumber(std::string& line, long long value)
{
    char digits[24];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

} // namespace tavirlen
