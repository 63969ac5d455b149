#include "quarn/Stream.h"

#include "quarn/Exception.h"
#include "quarn/IoFailure.h"
#include "quarn/Registry.h"

#include <cstring>

namespace quarn::io {

Stream::Stream() { init(nullptr, nullptr); }

Stream::Stream(StreamBufEx* buffer, Registry* registry) { init(buffer, registry); }

Stream::~Stream()
{
    if (owns_registry_)
        delete registry_;
}

void Stream::init(StreamBufEx* buffer, Registry* registry)
{
    buffer_ = buffer;
    buffer_ex_ = buffer;
    buffer_type_ = nullptr;
    if (owns_registry_)
        delete registry_;
    registry_ = registry;
    owns_registry_ = false;
    state_ = buffer ? 0 : bad;
    exceptions_ = default_exceptions;
    flags_ = data_lengths;
}

std::streambuf* Stream::rdbuf(StreamBufEx* buffer)
{
    std::streambuf* before = buffer_;
    buffer_ = buffer;
    buffer_ex_ = buffer;
    buffer_type_ = nullptr;
    return before;
}

void Stream::rdbuf_plain(std::streambuf* buffer, const char* type_name)
{
    buffer_ = buffer;
    buffer_ex_ = nullptr;
    buffer_type_ = type_name;
}

void Stream::set_registry(Registry* registry)
{
    if (registry == registry_)
        return;
    if (owns_registry_)
        delete registry_;
    owns_registry_ = false;
    registry_ = registry;
}

void Stream::clear_registry()
{
    if (registry_)
        registry_->clear();
}

void Stream::exceptions(uint32_t mask)
{
    exceptions_ = mask;
    state_ |= no_buffer_bits_();
    raise_if_masked_();
}

bool Stream::sentry()
{
    if ((state_ & ~lossy) == 0 && buffer_)
        return true;
    state_ |= fail | no_buffer_bits_();
    raise_if_masked_();
    return false;
}

void Stream::setstate(uint32_t bits, const ErrorInfo* info)
{
    state_ |= bits | no_buffer_bits_();
    raise_if_masked_(info);
}

void Stream::clear()
{
    state_ = no_buffer_bits_();
    raise_if_masked_();
}

bool Stream::write_bytes(const void* data, size_t n)
{
    if (n == 0)
        return true;
    if (buffer_) {
        auto wanted = static_cast<std::streamsize>(n);
        if (buffer_->sputn(static_cast<const char*>(data), wanted) == wanted)
            return true;
    }
    setstate(eof | fail);
    return false;
}

Stream& Stream::write(const void* data, size_t n)
{
    if (sentry())
        write_bytes(data, n);
    return *this;
}

bool Stream::write_u8(uint8_t value) { return sentry() && write_bytes(&value, 1); }

bool Stream::write_u16(uint16_t value)
{
    const unsigned char bytes[2] = { static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8) };
    return sentry() && write_bytes(bytes, 2);
}

bool Stream::write_u32(uint32_t value)
{
    const unsigned char bytes[4] = { static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24) };
    return sentry() && write_bytes(bytes, 4);
}

bool Stream::write_f32(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return write_u32(bits);
}

std::streampos Stream::tell_out()
{
    if (!buffer_ || (state_ & fail))
        return std::streampos(-1);
    return buffer_->pubseekoff(0, std::ios_base::cur, std::ios_base::out);
}

std::streampos Stream::seek_out(std::streampos pos)
{
    if (!buffer_ || (state_ & fail) || pos == std::streampos(-1))
        return std::streampos(-1);
    return buffer_->pubseekpos(pos, std::ios_base::out);
}

void Stream::throw_failure_(const ErrorInfo* info) const
{
    TextualErrorInfo default_record("i/o error");
    ErrorInfo wrapper(nullptr, info ? info : &default_record);
    if (!wrapper.inner->detail || !*wrapper.inner->detail) {
        if (buffer_ex_)
            wrapper.detail = buffer_ex_->name();
        else if (buffer_)
            wrapper.detail = buffer_type_;
    }
    report_and_throw({ "\\Lib\\quarn\\src\\quarn\\stream", 61, "quarn::io::Stream::throw_failure_" }, Failure(wrapper));
}

} // namespace quarn::io
