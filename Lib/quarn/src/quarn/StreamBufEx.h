// quarn::io::StreamBufEx: the stream buffers the library's streams run on.
#pragma once

#include "quarn/ErrorInfo.h"

#include <streambuf>

namespace quarn::io {

class StreamBufEx : public std::streambuf {
public:
    // The record of the underlying file's last failure, or null. Streams
    // put it into the text of their failures.
    virtual const ErrorInfo* last_error() const { return nullptr; }
    // What the buffer reads (a file name), or "". Streams name the buffer
    // with it in their failures.
    virtual const char* name() const { return ""; }
};

} // namespace quarn::io
