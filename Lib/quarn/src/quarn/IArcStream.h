// quarn::io::IArcStream: a name opened as an input stream, from a file or
// from a member of an archive standing in for a folder (ArcFormat.h).
//
//     quarn::io::ZipFormat zip;                           // once, at start-up
//     quarn::io::IArcStream in("DATA/cars/car1.tga");     // throws when missing
//     char bytes[18];
//     in.read(bytes, sizeof bytes);
//
// Opening reads the stream's header (IStream::detect_header) unless the
// flags hold Stream::raw_open; pictures are read that way:
//
//     quarn::io::IArcStream pic;
//     pic.set_flags(quarn::io::Stream::raw_open);
//     pic.open("DATA/bkg.jpg");
#pragma once

#include "quarn/AbstractFile.h"
#include "quarn/IStream.h"
#include "quarn/OpenFlags.h"

#include <memory>

namespace quarn::io {

// Holds the buffer of the current open; a base of the stream so that the
// buffer goes before the stream part does.
class ArcStreamMixin {
protected:
    std::unique_ptr<StreamBufEx> arc_buffer_;
    bool arc_open_ = false;
    detail::OpenFlags open_flags_;
};

class IArcStream : public IStream, protected ArcStreamMixin {
public:
    // No buffer: `bad` until opened.
    IArcStream();
    IArcStream(const char* name, uint32_t mode = open_mode::in, uint32_t exceptions = default_exceptions);
    ~IArcStream() override;

    // Opens `name` as a file or archive member (`mode` is not used), clears
    // the state and stores `exceptions`. When nothing opens, the stream has
    // `fail` and, when masked, throws with the file's reason and the name
    // as detail.
    void open(const char* name, uint32_t mode = open_mode::in, uint32_t exceptions = default_exceptions);
    bool is_open() const { return arc_open_; }
};

} // namespace quarn::io
