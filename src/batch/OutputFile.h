#pragma once

#include <cstdio>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>

namespace tavirlen {

// Forwards a stream's characters straight to a C file, so that formatted
// printing and stream insertion on one file keep their order.
class FileStreamBuffer : public std::streambuf {
public:
    void attach(std::FILE* file) { file_ = file; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    std::FILE* file_ = nullptr;
};

// A result file. It is written under a temporary name beside its final name
// and moved into place only by commit(): a run that fails or is killed never
// leaves a partial file under a result name, and an earlier result stays
// whole until the new one is complete. A temporary file left by a killed run
// is replaced by the next run.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file; with `append` it starts as a copy of the
    // existing file. Returns the message for standard error on failure.
    std::optional<std::string> open(const std::string& name, bool append = false);

    const std::string& name() const { return name_; }
    std::FILE* file() { return file_; }
    std::ostream& stream() { return stream_; }
    // False once a write has failed.
    bool healthy() const;
    std::string failure() const;

    // Flushes and closes; the message when a write failed. The file stays
    // under its temporary name until moveIntoPlace().
    std::optional<std::string> close();
    std::optional<std::string> moveIntoPlace();
    // Both steps; the message when either failed (the result name is then left as it was).
    std::optional<std::string> commit();
    // Removes the temporary file, leaving the result name as it was.
    void discard();

    static std::string temporaryName(const std::string& name) { return name + ".tavirlen-partial"; }

private:
    std::string writeFailure(int error) const;

    std::string name_;
    std::FILE* file_ = nullptr;
    bool closed_ = false;
    bool placed_ = false;
    int error_ = 0;
    FileStreamBuffer buffer_;
    std::ostream stream_{&buffer_};
};

} // namespace tavirlen
