// quarn::io::MemBuf: a stream buffer over one memory block it owns. Legacy
// streams read their unpacked data from one (see IStream::detect_header).
//
// The get area runs from the block's start up to the content written so
// far; the put area appends after it and grows the block when full. Reads
// and seeks never pass the end of the content.
#pragma once

#include "quarn/TypeName.h"

#include <cstddef>
#include <streambuf>

namespace quarn::io {

class MemBuf : public std::streambuf {
public:
    MemBuf() = default;
    MemBuf(const MemBuf&) = delete;
    MemBuf& operator=(const MemBuf&) = delete;
    ~MemBuf() override;

    // Takes `block` (from quarn::Allocator, freed through it) holding
    // `length` bytes of content in `capacity` bytes. Reading starts at the
    // block's start, writing at block + length. A block owned before is
    // freed.
    void set(char* block, size_t length, size_t capacity);

    const char* data() const { return block_; }
    // The bytes of content: everything set or written so far.
    size_t size() const;
    size_t capacity() const { return capacity_; }

protected:
    int_type underflow() override;
    int_type overflow(int_type c) override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

private:
    void release();

    char* block_ = nullptr;
    size_t capacity_ = 0;
    // The content's end as far as it is known without the put cursor; a
    // put cursor moved back by a seek must not shorten the content.
    size_t high_ = 0;
};

} // namespace quarn::io

QUARN_TYPE_NAME(quarn::io::MemBuf, "class quarn::io::MemBuf");
