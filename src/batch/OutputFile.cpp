#include "batch/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tavirlen {

FileStreamBuffer::int_type FileStreamBuffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (!file_ || std::fputc(c, file_) == EOF) return traits_type::eof();
    return c;
}

std::streamsize FileStreamBuffer::xsputn(const char* text, std::streamsize count)
{
    if (!file_) return 0;
    return static_cast<std::streamsize>(std::fwrite(text, 1, static_cast<std::size_t>(count), file_));
}

OutputFile::~OutputFile()
{
    discard();
}

namespace {

bool copyInto(const std::string& from, std::FILE* to)
{
    std::FILE* source = std::fopen(from.c_str(), "rb");
    if (!source) return errno == ENOENT;
    char chunk[1 << 16];
    bool sound = true;
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, source)) > 0;)
        if (std::fwrite(chunk, 1, n, to) != n) sound = false;
    if (std::ferror(source)) sound = false;
    std::fclose(source);
    return sound;
}

} // namespace

std::optional<std::string> OutputFile::open(const std::string& name, bool append)
{
    discard();
    name_ = name;
    closed_ = false;
    placed_ = false;
    error_ = 0;
    const std::string temporary = temporaryName(name);
    // A stale file (or link) from a killed run is removed, never written through.
    ::unlink(temporary.c_str());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 || !(file_ = ::fdopen(fd, "w"))) {
        const int reason = errno;
        if (fd >= 0) ::close(fd);
        return "Cannot create result file: " + name + " (" + std::strerror(reason) + ")";
    }
    buffer_.attach(file_);
    stream_.clear();
    if (append && !copyInto(name, file_)) {
        const int reason = errno != 0 ? errno : EIO;
        discard();
        return "Cannot create result file: " + name + " (" + std::strerror(reason) + ")";
    }
    return std::nullopt;
}

bool OutputFile::healthy() const
{
    return error_ == 0 && (!file_ || !std::ferror(file_)) && !stream_.bad();
}

std::string OutputFile::writeFailure(int error) const
{
    return "Cannot write result file " + name_ + ": " + std::strerror(error != 0 ? error : EIO);
}

std::string OutputFile::failure() const
{
    return writeFailure(error_ != 0 ? error_ : errno);
}

std::optional<std::string> OutputFile::close()
{
    if (!file_) return closed_ && error_ != 0 ? std::optional<std::string>(failure()) : std::nullopt;
    bool sound = healthy();
    errno = 0;
    if (std::fflush(file_) != 0) sound = false;
    int saved = errno;
    if (std::fclose(file_) != 0 && sound) {
        sound = false;
        saved = errno;
    }
    file_ = nullptr;
    buffer_.attach(nullptr);
    closed_ = true;
    if (!sound) {
        error_ = saved != 0 ? saved : EIO;
        return failure();
    }
    return std::nullopt;
}

std::optional<std::string> OutputFile::moveIntoPlace()
{
    if (!closed_ || error_ != 0) return failure();
    if (std::rename(temporaryName(name_).c_str(), name_.c_str()) != 0) {
        error_ = errno;
        return failure();
    }
    placed_ = true;
    return std::nullopt;
}

std::optional<std::string> OutputFile::commit()
{
    if (auto problem = close()) {
        discard();
        return problem;
    }
    if (auto problem = moveIntoPlace()) {
        discard();
        return problem;
    }
    return std::nullopt;
}

void OutputFile::discard()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        buffer_.attach(nullptr);
    }
    if (!name_.empty() && !placed_) ::unlink(temporaryName(name_).c_str());
    closed_ = false;
}

} // namespace tavirlen
