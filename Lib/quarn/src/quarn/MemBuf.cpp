#include "quarn/MemBuf.h"

#include "quarn/Allocator.h"

#include <algorithm>
#include <cstring>

namespace quarn::io {

MemBuf::~MemBuf() { release(); }

void MemBuf::release()
{
    Allocator::free(block_);
    block_ = nullptr;
    capacity_ = 0;
    high_ = 0;
    setg(nullptr, nullptr, nullptr);
    setp(nullptr, nullptr);
}

void MemBuf::set(char* block, size_t length, size_t capacity)
{
    if (block != block_)
        release();
    block_ = block;
    capacity_ = block ? capacity : 0;
    high_ = block ? std::min(length, capacity_) : 0;
    setg(block_, block_, block_ + high_);
    setp(block_ + high_, block_ + capacity_);
}

size_t MemBuf::size() const
{
    size_t put = pptr() ? static_cast<size_t>(pptr() - block_) : 0;
    return std::max(high_, put);
}

MemBuf::int_type MemBuf::underflow()
{
    size_t end = size();
    if (!gptr() || static_cast<size_t>(gptr() - block_) >= end)
        return traits_type::eof();
    setg(eback(), gptr(), block_ + end);
    return traits_type::to_int_type(*gptr());
}

MemBuf::int_type MemBuf::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::eof();
    if (!pptr() || pptr() == epptr()) {
        size_t content = size();
        size_t get = gptr() ? static_cast<size_t>(gptr() - block_) : 0;
        size_t put = pptr() ? static_cast<size_t>(pptr() - block_) : 0;
        size_t grown = std::max<size_t>(4096, 2 * capacity_);
        auto* next = static_cast<char*>(Allocator::current()->try_allocate(grown));
        if (!next) {
            release();
            return traits_type::eof();
        }
        if (content)
            std::memcpy(next, block_, content);
        Allocator::free(block_);
        block_ = next;
        capacity_ = grown;
        high_ = content;
        setg(block_, block_ + get, block_ + content);
        setp(block_ + put, block_ + capacity_);
    }
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

MemBuf::pos_type MemBuf::seekpos(pos_type pos, std::ios_base::openmode which)
{
    const off_type to = off_type(pos);
    const size_t end = size();
    // Beyond the content a later read would run into bytes never written
    // (or past the block), so such positions are refused.
    if (to < 0 || static_cast<size_t>(to) > end || !(which & (std::ios_base::in | std::ios_base::out)))
        return pos_type(off_type(-1));
    if (!block_)
        return pos_type(off_type(0));
    high_ = end;
    if (which & std::ios_base::in)
        setg(block_, block_ + to, block_ + end);
    if (which & std::ios_base::out)
        setp(block_ + to, block_ + capacity_);
    return pos_type(to);
}

MemBuf::pos_type MemBuf::seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which)
{
    off_type base;
    if (dir == std::ios_base::beg)
        base = 0;
    else if (dir == std::ios_base::cur && (which & std::ios_base::in))
        base = gptr() ? gptr() - block_ : 0;
    else if (dir == std::ios_base::cur && (which & std::ios_base::out))
        base = pptr() ? pptr() - block_ : 0;
    else if (dir == std::ios_base::end)
        base = static_cast<off_type>(size());
    else
        return pos_type(off_type(-1));
    return seekpos(pos_type(base + off), which);
}

} // namespace quarn::io
