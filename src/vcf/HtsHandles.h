#pragma once

#include <htslib/vcf.h>

#include <cstdlib>
#include <memory>

namespace tavirlen::hts {

// Owners of the htslib objects the VCF reader and writer open, so that every
// early return releases them.
struct FileCloser {
    void operator()(htsFile* file) const { hts_close(file); }
};
struct HeaderFreer {
    void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
};
struct RecordFreer {
    void operator()(bcf1_t* record) const { bcf_destroy(record); }
};
using File = std::unique_ptr<htsFile, FileCloser>;
using Header = std::unique_ptr<bcf_hdr_t, HeaderFreer>;
using Record = std::unique_ptr<bcf1_t, RecordFreer>;

// A buffer that htslib's bcf_get_format_* functions grow with realloc.
struct Buffer {
    int32_t* values = nullptr;
    int capacity = 0;
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { std::free(values); }
};

} // namespace tavirlen::hts
