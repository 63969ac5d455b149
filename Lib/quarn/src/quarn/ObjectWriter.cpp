// Writing objects: tag, factory reference, optional data length, data.
#include "quarn/Object.h"
#include "quarn/ObjectTrace.h"
#include "quarn/Registry.h"
#include "quarn/Stream.h"

namespace quarn::io {

namespace {

constexpr uint32_t unknown_length = 0xFFFFFFFF;

// Closes an object's trace however its writing ends.
struct CloseTrace {
    ~CloseTrace() { detail::trace(detail::trace_write, "</object>"); }
};

} // namespace

Stream& Stream::write_object(const Object* object, const char* factory_name, bool unshared)
{
    if (!registry_)
        create_default_registry();
    if (!registry_->write_tag(*this, object, factory_name, unshared)) {
        detail::trace(detail::trace_write, "<reference/>");
        return *this;
    }
    detail::trace_open(detail::trace_write, factory_name ? factory_name : "");
    CloseTrace close_trace;
    if (!(flags_ & data_lengths)) {
        object->write(*this);
        return *this;
    }
    // The length goes in front of the data, so it is written as unknown
    // and patched once the data stands, when the buffer can seek back.
    const std::streampos start = tell_out();
    if (!write_u32(unknown_length))
        return *this;
    object->write(*this);
    if (state_ & fail)
        return *this;
    const std::streampos end = tell_out();
    const std::streamoff length = end - start - 4;
    if (start == std::streampos(-1) || end == std::streampos(-1) || length < 0 || length >= unknown_length
        || seek_out(start) == std::streampos(-1)) {
        setstate(lossy);
        return *this;
    }
    if (!write_u32(static_cast<uint32_t>(length)))
        return *this;
    if (seek_out(end) == std::streampos(-1))
        setstate(fail);
    return *this;
}

Stream& Stream::write_refs(const void* block, uint32_t size, const char* factory_name, bool unshared)
{
    if (!registry_)
        create_default_registry();
    if (registry_->write_tag(*this, block, factory_name, unshared) && write_u32(size))
        write(block, size);
    return *this;
}

} // namespace quarn::io
