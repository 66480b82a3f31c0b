#include "batch/OutputRouting.h"

namespace tavirlen {

namespace {
thread_local std::string* routed[2] = {nullptr, nullptr};
}

OutputRouting::OutputRouting() : output_(std::cout.rdbuf(), 0), errors_(std::cerr.rdbuf(), 1)
{
    std::cout.rdbuf(&output_);
    std::cerr.rdbuf(&errors_);
}

OutputRouting::~OutputRouting()
{
    std::cout.rdbuf(output_.original());
    std::cerr.rdbuf(errors_.original());
    route(nullptr, nullptr);
}

void OutputRouting::route(std::string* output, std::string* errors)
{
    routed[0] = output;
    routed[1] = errors;
}

std::string* OutputRouting::Buffer::target() const
{
    return routed[which_];
}

OutputRouting::Buffer::int_type OutputRouting::Buffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (std::string* text = target()) {
        text->push_back(traits_type::to_char_type(c));
        return c;
    }
    return original_->sputc(traits_type::to_char_type(c));
}

std::streamsize OutputRouting::Buffer::xsputn(const char* text, std::streamsize count)
{
    if (std::string* routedText = target()) {
        routedText->append(text, static_cast<std::size_t>(count));
        return count;
    }
    return original_->sputn(text, count);
}

int OutputRouting::Buffer::sync()
{
    return target() ? 0 : original_->pubsync();
}

} // namespace tavirlen
