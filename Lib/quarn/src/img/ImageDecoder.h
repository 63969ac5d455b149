// quarn::g::ImageDecoderI: the picture-decoder interface. A decoder is opened
// on an input stream, reports the picture's size and pixel format, reads any
// rectangle of the picture into any rectangle of any Image (converting and
// scaling as needed), and is closed.
//
//     quarn::g::TgaDecoder tga;
//     quarn::g::ImageRow picture;
//     tga.load_file("DATA/font.tga", picture);     // open, create, read, close
//
//     tga.open(stream);                            // or step by step
//     quarn::g::ImageDecoderI::Info info;
//     tga.info(info);
//     tga.read(nullptr, target, &where, quarn::g::ResizeAreaClamp);
//     tga.close();
#pragma once

#include "img/Image.h"
#include "img/PelFmt.h"
#include "img/Rect.h"
#include "img/ResizeMode.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn::io {
class IStream;
}

namespace quarn::g {

class ImageDecoderI {
public:
    struct Info {
        int32_t width = 0;
        int32_t height = 0;
        PelFmt format;
    };

    // Largest decoded picture, in bytes, that a file may ask for. Every
    // decoder checks it before allocating for the picture, so a small file
    // with a huge header is refused instead of costing gigabytes.
    static constexpr size_t max_picture_bytes = size_t(1) << 30;

    ImageDecoderI() = default;
    ImageDecoderI(const ImageDecoderI&) = delete;
    ImageDecoderI& operator=(const ImageDecoderI&) = delete;
    virtual ~ImageDecoderI() = default;

    // Decodes the picture's header (a TGA decoder the whole picture) from the
    // stream, which must stay alive while the decoder is open. An open
    // decoder is closed first. Bad data throws a quarn::Exception (stream
    // failures a quarn::io::Failure under the stream's exception mask) and
    // leaves the decoder closed.
    void open(io::IStream& stream);
    void close();
    bool is_open() const { return opened_; }

    // The picture's width, height and pixel format (with its palette); an
    // empty picture when the decoder is not open.
    void info(Info& out);

    // Copies the source rectangle of the picture (null: the whole picture)
    // into the target rectangle of the target (null: the whole target),
    // scaling with `mode` when their sizes differ and converting into the
    // target's format. The source rectangle must lie inside the picture;
    // the target rectangle is clipped to the target (and its clip
    // rectangle), so only pixels inside it are written. An empty rectangle
    // reads nothing. Throws when the decoder is not open.
    void read(const Rect* source, Image& target, const Rect* target_rect, ResizeMode mode);
    void read(Image& target, ResizeMode mode) { read(nullptr, target, nullptr, mode); }

    // The whole cycle on an open stream: open, `create` the image at the
    // picture's size and format, read it whole, close (also when reading
    // throws).
    void load(io::IStream& stream, Image& image);
    // load on a file or archive member opened by name as a raw stream (no
    // header detection; failures of bad and fail throw).
    void load_file(const char* name, Image& image);

protected:
    virtual void do_open(io::IStream& stream) = 0;
    virtual void do_close() = 0;
    virtual void do_info(Info& out) = 0;
    // Called with a source rectangle inside the picture and a target
    // rectangle whose size fits 32 bits, both non-empty.
    virtual void do_read(const Rect& source, Image& target, const Rect& target_rect, ResizeMode mode) = 0;

    // The refusal of a picture past max_picture_bytes, with its size and
    // the limit, in the words the engine's own size refusals use: "the
    // JPEG picture is 30000 x 30000 pels of 3 bytes, more than 1073741824
    // bytes". `bytes_per_pel` counts the decoded pels.
    [[nodiscard]] static std::string too_large_text(
        const char* format, uint64_t width, uint64_t height, size_t bytes_per_pel);

    // For a decoder whose state died with a failure: it counts as closed.
    void mark_closed() { opened_ = false; }

    // The copy without scaling or conversion: fits the target rectangle into
    // the target (its bounds and clip rectangle) and moves the source
    // rectangle with it. False when nothing is left.
    [[nodiscard]] static bool clip_copy(const Image& target, Rect& source, Rect& target_rect);
    // Whether a read of `source` into `target_rect` of `target` can copy the
    // decoder's rows as they are: same size and the target in `format`.
    [[nodiscard]] static bool same_layout(
        const Rect& source, const Image& target, const Rect& target_rect, const PelFmt& format);

private:
    bool opened_ = false;
};

} // namespace quarn::g
