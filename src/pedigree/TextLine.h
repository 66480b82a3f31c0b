#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <ostream>
#include <string>
#include <system_error>

namespace tavirlen {

// Result lines are formatted in memory and written whole: a formatted stream
// insertion per field cost more than the phasing of a family.
inline void appendNumber(std::string& line, long long value)
{
    char digits[24];
    line.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// As a stream in its default notation writes a floating-point number at the
// given precision (printf's "%.*g").
inline void appendGeneral(std::string& line, double value, int precision)
{
    char digits[64];
    auto written = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, precision);
    if (written.ec == std::errc()) {
        line.append(digits, written.ptr);
        return;
    }
    // Only a precision far above a stream's default needs more room: the
    // digits, a sign, a point and an exponent, or four leading zeros.
    std::string wide(static_cast<std::size_t>(std::max(precision, 6)) + 32, '\0');
    written = std::to_chars(wide.data(), wide.data() + wide.size(), value, std::chars_format::general, precision);
    line.append(wide.data(), written.ptr);
}

// Writes what `text` holds and empties it, once it holds at least `atLeast`
// bytes: long tables are formatted in memory and written a block at a time.
constexpr std::size_t textBlock = std::size_t{1} << 16;
inline void writeText(std::ostream& out, std::string& text, std::size_t atLeast = 0)
{
    if (text.size() < atLeast) return;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    text.clear();
}

// Builds a line in a buffer sized beforehand for the longest the line can
// be: the .out line of a member at thousands of loci otherwise costs a check
// of the string's capacity per character and a library call per number.
class LineBuilder {
public:
    static constexpr std::size_t longestNumber = 20; // "-9223372036854775808"

    LineBuilder(std::string& buffer, std::size_t longest) : buffer_(buffer)
    {
        if (buffer_.size() < longest) buffer_.resize(longest);
        at_ = buffer_.data();
        end_ = at_ + longest;
    }
    void put(char c) { *at_++ = c; }
    void put(const std::string& text) { at_ = std::copy(text.begin(), text.end(), at_); }
    // Alleles and sources are mostly one digit (or -1): those are written
    // without the general conversion, which the writers call for every one.
    void number(long long value)
    {
        if (value >= 0 && value < 10) {
            *at_++ = static_cast<char>('0' + value);
        } else if (value == -1) {
            *at_++ = '-';
            *at_++ = '1';
        } else {
            at_ = std::to_chars(at_, end_, value).ptr;
        }
    }
    const char* data() const { return buffer_.data(); }
    std::size_t size() const { return static_cast<std::size_t>(at_ - buffer_.data()); }

private:
    std::string& buffer_;
    char* at_;
    char* end_;
};

} // namespace tavirlen
