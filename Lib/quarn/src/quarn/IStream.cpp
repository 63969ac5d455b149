#include "quarn/IStream.h"

#include "quarn/Registry.h"

#include <cstring>

namespace quarn::io {

IStream::IStream() = default;

// Stream is a virtual base: only the most derived class's initialiser of it
// counts, so the buffer is set here, whoever derives from IStream.
IStream::IStream(StreamBufEx* buffer, Registry* registry) { init(buffer, registry); }

IStream::~IStream()
{
    // The base must not reach the owned registry after it is gone.
    if (registry_ == owned_registry_.get())
        registry_ = nullptr;
}

IStream& IStream::read(void* data, size_t n)
{
    auto wanted = static_cast<std::streamsize>(n);
    std::streamsize got = 0;
    if (buffer_) {
        try {
            got = buffer_->sgetn(static_cast<char*>(data), wanted);
        } catch (...) {
            state_ |= bad | fail;
            throw;
        }
    }
    if (got != wanted)
        setstate(eof | fail);
    return *this;
}

size_t IStream::read_some(void* data, size_t n)
{
    if (!sentry())
        return 0;
    auto wanted = static_cast<std::streamsize>(n);
    std::streamsize got = 0;
    try {
        got = buffer_->sgetn(static_cast<char*>(data), wanted);
    } catch (...) {
        state_ |= bad | fail;
        throw;
    }
    if (got < 0)
        got = 0;
    if (got != wanted)
        setstate(got == 0 ? eof | fail : eof);
    return static_cast<size_t>(got);
}

bool IStream::read_u8(uint8_t& value) { return sentry() && !(read(&value, 1).state_ & fail); }

bool IStream::read_u16(uint16_t& value)
{
    unsigned char b[2];
    if (!sentry() || (read(b, 2).state_ & fail))
        return false;
    value = static_cast<uint16_t>(b[0] | b[1] << 8);
    return true;
}

bool IStream::read_u32(uint32_t& value)
{
    unsigned char b[4];
    if (!sentry() || (read(b, 4).state_ & fail))
        return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool IStream::read_i32(int32_t& value)
{
    uint32_t bits;
    if (!read_u32(bits))
        return false;
    value = static_cast<int32_t>(bits);
    return true;
}

bool IStream::read_f32(float& value)
{
    uint32_t bits;
    if (!read_u32(bits))
        return false;
    std::memcpy(&value, &bits, 4);
    return true;
}

std::streampos IStream::tell()
{
    if (!buffer_ || (state_ & fail))
        return std::streampos(-1);
    return buffer_->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
}

std::streampos IStream::seek(std::streampos pos)
{
    if (!buffer_ || (state_ & fail) || pos == std::streampos(-1))
        return std::streampos(-1);
    return buffer_->pubseekpos(pos, std::ios_base::in);
}

void IStream::reset()
{
    clear_registry();
    if (unpack_buffer_) {
        // The opened buffer comes back with its name, so failures after a
        // reopen still name the file.
        rdbuf(saved_buffer_ex_);
        if (!saved_buffer_ex_)
            buffer_ = saved_buffer_;
        saved_buffer_ = nullptr;
        saved_buffer_ex_ = nullptr;
        unpack_buffer_.reset();
    }
    payload_offset_ = 0;
}

void IStream::set_owned_registry(std::unique_ptr<Registry> registry)
{
    if (registry.get() == owned_registry_.get())
        return;
    Registry* next = registry.get();
    // Detach the old one before it goes, so set_registry never deletes it.
    if (registry_ == owned_registry_.get())
        registry_ = nullptr;
    set_registry(next);
    owned_registry_ = std::move(registry);
}

void IStream::stand_in(std::unique_ptr<std::streambuf> buffer, const char* type_name)
{
    if (!unpack_buffer_) {
        saved_buffer_ = buffer_;
        saved_buffer_ex_ = buffer_ex_;
    }
    rdbuf_plain(buffer.get(), type_name);
    unpack_buffer_ = std::move(buffer);
}

} // namespace quarn::io
