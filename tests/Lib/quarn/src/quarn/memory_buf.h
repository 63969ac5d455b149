// In-memory stream buffers for tests, fuzz targets and benchmarks of the
// stream layer (the library's own memory and file buffers are built on top
// of the streams, so the stream tests cannot use them).
//
//  - MemoryBuf: reads and writes a byte vector, seeks anywhere inside it.
//  - ForwardBuf: the same bytes, but it cannot seek (like a pipe): every
//    seek, even a tell, answers -1.
//
// Both can be told to accept only `write_limit` more bytes, to throw from
// the next read, and to carry a name and a last error.
#pragma once

#include "quarn/StreamBufEx.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace quarn_test {

class MemoryBuf : public quarn::io::StreamBufEx {
public:
    MemoryBuf() = default;
    explicit MemoryBuf(std::string bytes)
        : data_(bytes.begin(), bytes.end())
    {
    }
    MemoryBuf(const void* bytes, size_t n)
        : data_(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + n)
    {
    }

    std::string bytes() const { return std::string(data_.begin(), data_.end()); }
    void reserve(size_t n) { data_.reserve(n); }
    size_t size() const { return data_.size(); }
    size_t get_pos() const { return gpos_; }
    size_t put_pos() const { return ppos_; }

    // How many more bytes a write may store (unlimited by default).
    size_t write_limit = static_cast<size_t>(-1);
    // The next read throws std::runtime_error.
    bool throw_on_read = false;
    // Counts every call that reaches the buffer.
    int calls = 0;

    std::string buffer_name;
    const quarn::ErrorInfo* error = nullptr;
    const char* name() const override { return buffer_name.c_str(); }
    const quarn::ErrorInfo* last_error() const override { return error; }

protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override
    {
        ++calls;
        if (throw_on_read) {
            throw_on_read = false;
            throw std::runtime_error("read failed");
        }
        size_t left = gpos_ < data_.size() ? data_.size() - gpos_ : 0;
        size_t k = std::min(left, static_cast<size_t>(n));
        if (k)
            std::memcpy(s, data_.data() + gpos_, k);
        gpos_ += k;
        return static_cast<std::streamsize>(k);
    }
    int_type underflow() override
    {
        return gpos_ < data_.size() ? traits_type::to_int_type(data_[gpos_]) : traits_type::eof();
    }
    int_type uflow() override
    {
        return gpos_ < data_.size() ? traits_type::to_int_type(data_[gpos_++]) : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        ++calls;
        size_t k = std::min(static_cast<size_t>(n), write_limit);
        write_limit -= write_limit == static_cast<size_t>(-1) ? 0 : k;
        if (ppos_ == data_.size()) {
            data_.insert(data_.end(), s, s + k);
        } else {
            if (ppos_ + k > data_.size())
                data_.resize(ppos_ + k);
            if (k)
                std::memcpy(data_.data() + ppos_, s, k);
        }
        ppos_ += k;
        return static_cast<std::streamsize>(k);
    }
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override
    {
        ++calls;
        off_type base = dir == std::ios_base::beg ? 0
            : dir == std::ios_base::end           ? static_cast<off_type>(data_.size())
                                                  : static_cast<off_type>((which & std::ios_base::in) ? gpos_ : ppos_);
        off_type to = base + off;
        // Never past the end: a skip beyond the data is a failure, not a
        // position a later read could run from.
        if (to < 0 || to > static_cast<off_type>(data_.size()))
            return pos_type(off_type(-1));
        if (which & std::ios_base::in)
            gpos_ = static_cast<size_t>(to);
        if (which & std::ios_base::out)
            ppos_ = static_cast<size_t>(to);
        return pos_type(to);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    std::vector<char> data_;
    size_t gpos_ = 0;
    size_t ppos_ = 0;
};

class ForwardBuf : public MemoryBuf {
public:
    using MemoryBuf::MemoryBuf;

protected:
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override
    {
        ++calls;
        return pos_type(off_type(-1));
    }
    pos_type seekpos(pos_type, std::ios_base::openmode) override
    {
        ++calls;
        return pos_type(off_type(-1));
    }
};

// Little-endian bytes for expected stream contents.
inline std::string u32le(uint32_t v)
{
    const char b[4] = { char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF) };
    return std::string(b, 4);
}
inline std::string u16le(uint16_t v)
{
    const char b[2] = { char(v & 0xFF), char(v >> 8 & 0xFF) };
    return std::string(b, 2);
}

} // namespace quarn_test
