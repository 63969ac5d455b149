// libjpeg's side of the JPEG decoder: the decompress record with its error
// manager, and the source manager over a quarn::io stream. Internal to the
// image library.
//
// No C++ exception may cross libjpeg's C frames. Every failure inside
// libjpeg (its error exit, a warning, a stream failure caught by the source
// manager) leaves through jpg_leave, a longjmp to the `jump` buffer that the
// decoder set right before it called libjpeg; the decoder then destroys the
// record and throws.
#pragma once

#include "img/JpgDecoder.h"
#include "img/Memory.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <exception>

#include <jpeglib.h>

namespace quarn::io {
class IStream;
}

namespace quarn::g {

struct JpgState {
    static void* operator new(size_t size) { return allocate(size); }
    static void operator delete(void* block) noexcept { release(block); }

    jpeg_decompress_struct record {};
    jpeg_error_mgr errors {};
    std::jmp_buf jump {};
    // libjpeg's formatted text of the failure and the hook that caught it.
    char message[JMSG_LENGTH_MAX] {};
    const char* hook = nullptr;
    // A stream failure caught inside the source manager, thrown again once
    // libjpeg's frames are left.
    std::exception_ptr pending;
    bool created = false;
};

// Leaves libjpeg for the decoder's jump buffer. The record's client_data is
// its JpgState.
[[noreturn]] void jpg_leave(j_common_ptr cinfo);

// The source manager's input buffer.
inline constexpr size_t jpg_source_buffer_size = 4096;

// Installs the stream source manager on the record (allocated from
// libjpeg's permanent pool the first time): no bytes buffered yet.
void jpg_stream_src(j_decompress_ptr cinfo, io::IStream* stream);
// Forgets the bytes buffered from the stream, before it is rewound.
void jpg_stream_drop(j_decompress_ptr cinfo);

} // namespace quarn::g
