// Shared pieces of the decoder tests: an input stream over bytes in memory
// and the text of the exception a call throws.
#pragma once

#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include "img/img.h"
#include "quarn/Allocator.h"
#include "quarn/Exception.h"
#include "quarn/IStream.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace img_test {

struct MemoryStream {
    explicit MemoryStream(const std::string& bytes, uint32_t exceptions = quarn::io::Stream::default_exceptions)
        : buf(bytes)
        , in(&buf)
    {
        in.exceptions(exceptions);
    }
    quarn_test::MemoryBuf buf;
    quarn::io::IStream in;
};

// The message of the quarn::Exception that `call` throws, or "(no exception)".
template<class Call>
std::string thrown_text(Call&& call)
{
    try {
        call();
    } catch (const quarn::Exception& e) {
        return e.what();
    }
    return "(no exception)";
}

// The rows of an image's pixels as bytes, top row first.
inline std::vector<uint8_t> image_bytes(const quarn::g::Image& image)
{
    std::vector<uint8_t> out;
    quarn::g::Image::Lock lock(image, nullptr, quarn::g::lock_mode::read);
    const size_t row = size_t(image.width()) * image.format().bytes_per_pixel();
    for (int32_t y = 0; y < image.height(); ++y)
        out.insert(out.end(), lock.row(y), lock.row(y) + row);
    return out;
}

// Remembers the largest single allocation made while it is current.
class PeakAllocator : public quarn::Allocator {
public:
    PeakAllocator() { quarn::Allocator::current(this); }
    void* try_allocate(size_t size) override
    {
        largest = std::max(largest, size);
        return Allocator::try_allocate(size);
    }
    size_t largest = 0;
};

} // namespace img_test
