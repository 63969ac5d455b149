#include "quarn/IArcStream.h"

#include "quarn/ArcFormat.h"

namespace quarn::io {

IArcStream::IArcStream() = default;

IArcStream::IArcStream(const char* name, uint32_t mode, uint32_t exceptions) { open(name, mode, exceptions); }

IArcStream::~IArcStream() = default;

void IArcStream::open(const char* name, uint32_t, uint32_t exceptions)
{
    // The memory buffer of a previously unpacked stream keeps a pointer to
    // the buffer it replaced; it has to go before that buffer does.
    reset();
    ArcBuffer opened = open_arc_buffer(name);
    rdbuf(opened.buffer.get());
    arc_buffer_ = std::move(opened.buffer);
    arc_open_ = opened.open;
    flags_ = open_flags_.before_open(flags_);
    try {
        clear();
        this->exceptions(exceptions);
        if (!arc_open_)
            setstate(fail, arc_buffer_->last_error());
        else if (!(flags_ & raw_open))
            detect_header();
    } catch (...) {
        open_flags_.after_open(flags_);
        throw;
    }
    open_flags_.after_open(flags_);
}

} // namespace quarn::io
