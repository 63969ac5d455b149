// quarn::g::TgaDecoder: Truevision TGA pictures of image types 1, 2, 3
// (uncompressed colour-mapped, true-colour, grey) and 9, 10 (their
// run-length forms) at 8, 16, 24 or 32 bits per pixel.
//
// The whole picture is decoded at open into a buffer whose rows are kept in
// file order. The descriptor's origin bit says which way they run: the
// first row in the file is the picture's top row when it is set, its
// bottom row (the format's default) when not. 8-bit
// pictures become Pal8 with the file's colour map (256 greys without one),
// 16-bit ones Rgb888 (each 5-bit channel shifted left by 3), 24-bit ones
// Rgb888 and 32-bit ones Rgba8888.
#pragma once

#include "img/ImageDecoder.h"
#include "img/Memory.h"

namespace quarn::g {

class TgaDecoder : public ImageDecoderI {
public:
    TgaDecoder() = default;
    ~TgaDecoder() override = default;

protected:
    void do_open(io::IStream& stream) override;
    void do_close() override;
    void do_info(Info& out) override;
    void do_read(const Rect& source, Image& target, const Rect& target_rect, ResizeMode mode) override;

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    PelFmt format_;
    int32_t pitch_ = 0;
    int32_t bytes_per_pixel_ = 0;
    bool top_down_ = false;
    Bytes buffer_;
};

} // namespace quarn::g
