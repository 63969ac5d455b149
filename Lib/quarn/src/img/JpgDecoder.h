// quarn::g::JpgDecoder: JPEG pictures through libjpeg (API 62), fed from a
// quarn::io input stream by the decoder's own source manager.
//
// Colour pictures come out as Rgb888 (bytes B, G, R); grey ones are
// converted to colour by libjpeg. Every libjpeg error and every warning (a
// truncated file among them) ends the decode with a quarn::Exception
// carrying libjpeg's text, and leaves the decoder closed; a failure of the
// stream itself comes out as the stream's quarn::io::Failure.
//
// Each read decodes the whole picture. The first read continues from the
// header that open read; every later one rewinds the stream to position 0
// and reads the header again, so the stream must be able to seek back. ZIP
// archive members cannot: a second read of a decoder opened on one throws
// "NOT IMPLEMENTED" (open it again on a new stream instead).
#pragma once

#include "img/ImageDecoder.h"

#include <memory>

namespace quarn::g {

// libjpeg's records and the jump buffer of its error exit, kept out of this
// header so that its users need no libjpeg headers.
struct JpgState;
struct JpgStateDeleter {
    void operator()(JpgState* state) const noexcept;
};

class JpgDecoder : public ImageDecoderI {
public:
    JpgDecoder();
    ~JpgDecoder() override;

protected:
    void do_open(io::IStream& stream) override;
    void do_close() override;
    void do_info(Info& out) override;
    void do_read(const Rect& source, Image& target, const Rect& target_rect, ResizeMode mode) override;

private:
    void apply_settings_();
    void rewind_();
    // After libjpeg's error exit or a stream failure inside libjpeg: the
    // record is destroyed, the decoder counts as closed, and the failure is
    // thrown.
    [[noreturn]] void fail_();
    void forget_picture_();

    io::IStream* stream_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    PelFmt format_;
    int32_t row_bytes_ = 0;
    int32_t components_ = 0;
    bool header_ready_ = false;
    std::unique_ptr<JpgState, JpgStateDeleter> state_;
    // libjpeg's J_COLOR_SPACE, J_DCT_METHOD and J_DITHER_MODE values: RGB,
    // fast integer DCT, no dithering. Nothing changes them.
    uint32_t out_color_space_ = 2;
    uint32_t dct_method_ = 1;
    uint32_t dither_mode_ = 0;
};

} // namespace quarn::g
