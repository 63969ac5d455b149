// quarn::io::IFStream: a file opened by name as an input stream.
//
//     quarn::io::IFStream in("DATA/track.obst");   // throws when it can't
//     quarn::io::Object* o = in.read_object();
//
// Opening reads the stream's header (IStream::detect_header) unless the
// flags hold Stream::raw_open. The file is always read in binary.
#pragma once

#include "quarn/FileBuf.h"
#include "quarn/IStream.h"
#include "quarn/OpenFlags.h"

namespace quarn::io {

// Holds the file buffer of a file stream; a base of the stream so that the
// buffer goes before the stream part does.
class FStreamMixin {
protected:
    FileBuf file_buf_;
    detail::OpenFlags open_flags_;
};

class IFStream : public IStream, protected FStreamMixin {
public:
    // Not open: reads fail until open() succeeds.
    IFStream();
    IFStream(const char* name, uint32_t mode = open_mode::in, uint32_t exceptions = default_exceptions);
    ~IFStream() override;

    // Closes what is open (and puts back a buffer that unpacked data stood
    // in for), clears the state, stores `exceptions` and opens `name` with
    // `mode` | in | binary. A file that does not open leaves `fail` and,
    // when masked, throws with the system's reason and the name as detail.
    void open(const char* name, uint32_t mode = open_mode::in, uint32_t exceptions = default_exceptions);
    bool is_open() const { return file_buf_.is_open(); }
    FileBuf& file_buf() { return file_buf_; }
};

} // namespace quarn::io
