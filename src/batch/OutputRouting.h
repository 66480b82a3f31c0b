#pragma once

#include <iostream>
#include <streambuf>
#include <string>

namespace tavirlen {

// While it lives, what any thread prints on standard output or standard error
// through std::cout and std::cerr goes to the text that thread has chosen
// (the family it works on), or, when it has chosen none, to the stream as
// before. Families processed side by side thus print in input order: each
// family's text is written out when its turn comes.
class OutputRouting {
public:
    OutputRouting();
    ~OutputRouting();
    OutputRouting(const OutputRouting&) = delete;
    OutputRouting& operator=(const OutputRouting&) = delete;

    // Chooses where the calling thread's output goes (nullptr: the streams).
    static void route(std::string* output, std::string* errors);

private:
    class Buffer : public std::streambuf {
    public:
        Buffer(std::streambuf* original, int which) : original_(original), which_(which) {}
        std::streambuf* original() const { return original_; }

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;
        int sync() override;

    private:
        std::string* target() const;
        std::streambuf* original_;
        int which_;
    };
    Buffer output_;
    Buffer errors_;
};

} // namespace tavirlen
