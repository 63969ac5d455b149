#include "quarn/IFStream.h"

namespace quarn::io {

IFStream::IFStream() { init(&file_buf_, nullptr); }

IFStream::IFStream(const char* name, uint32_t mode, uint32_t exceptions)
{
    init(&file_buf_, nullptr);
    open(name, mode, exceptions);
}

IFStream::~IFStream() = default;

void IFStream::open(const char* name, uint32_t mode, uint32_t exceptions)
{
    if (file_buf_.is_open()) {
        file_buf_.close();
        reset();
    }
    flags_ = open_flags_.before_open(flags_);
    try {
        clear();
        exceptions_ = exceptions;
        if (!file_buf_.open(name, mode | open_mode::in | open_mode::binary)) {
            ErrorInfo info(name, file_buf_.last_error());
            setstate(fail, &info);
        } else {
            // Failures of later reads name the file.
            file_buf_.set_name(name);
            if (!(flags_ & raw_open))
                detect_header();
        }
    } catch (...) {
        open_flags_.after_open(flags_);
        throw;
    }
    open_flags_.after_open(flags_);
}

} // namespace quarn::io
