#include "img/ImageDecoder.h"

#include "img/Failures.h"

#include "quarn/AbstractFile.h"
#include "quarn/IArcStream.h"

#include <limits>

namespace quarn::g {

void ImageDecoderI::open(io::IStream& stream)
{
    // A second do_open over live state would leak it (a decompress record,
    // a picture buffer); starting from closed keeps each open independent.
    if (opened_)
        close();
    do_open(stream);
    opened_ = true;
}

void ImageDecoderI::close()
{
    if (opened_)
        do_close();
    opened_ = false;
}

void ImageDecoderI::info(Info& out)
{
    if (!opened_) {
        out = Info();
        return;
    }
    do_info(out);
}

void ImageDecoderI::read(const Rect* source, Image& target, const Rect* target_rect, ResizeMode mode)
{
    // A closed decoder has no picture (or, for JPEG, a destroyed record):
    // reading it would use freed state.
    if (!opened_)
        throw_failure("image decoder is not open");
    Info picture;
    do_info(picture);
    const Rect s = source ? *source : Rect { 0, 0, picture.width, picture.height };
    const Rect d = target_rect ? *target_rect : Rect { 0, 0, target.width(), target.height() };
    if (s.empty() || d.empty())
        return;
    // The decoders index their rows with the source rectangle unchecked.
    if (s.x0 < 0 || s.y0 < 0 || s.x1 > picture.width || s.y1 > picture.height)
        throw_failure("source rectangle outside the picture");
    constexpr int64_t max = std::numeric_limits<int32_t>::max();
    if (int64_t(d.x1) - d.x0 > max || int64_t(d.y1) - d.y0 > max)
        throw_failure("target rectangle out of range");
    do_read(s, target, d, mode);
}

std::string ImageDecoderI::too_large_text(const char* format, uint64_t width, uint64_t height, size_t bytes_per_pel)
{
    return std::string("the ") + format + " picture is " + std::to_string(width) + " x " + std::to_string(height)
        + " pels of " + std::to_string(bytes_per_pel) + " bytes, more than " + std::to_string(max_picture_bytes)
        + " bytes";
}

void ImageDecoderI::load(io::IStream& stream, Image& image)
{
    open(stream);
    try {
        Info picture;
        do_info(picture);
        image.create(picture.width, picture.height, picture.format);
        read(nullptr, image, nullptr, ResizeAreaClamp);
    } catch (...) {
        close();
        throw;
    }
    close();
}

void ImageDecoderI::load_file(const char* name, Image& image)
{
    io::IArcStream stream;
    stream.set_flags(stream.flags() | io::Stream::raw_open);
    stream.open(name, open_mode::in, io::Stream::bad | io::Stream::fail);
    load(stream, image);
}

bool ImageDecoderI::clip_copy(const Image& target, Rect& source, Rect& target_rect)
{
    Rect fitted = target_rect.intersected(Rect { 0, 0, target.width(), target.height() });
    if (target.clipping())
        fitted.intersect(target.clip_rect());
    if (fitted.empty())
        return false;
    source.x0 += fitted.x0 - target_rect.x0;
    source.y0 += fitted.y0 - target_rect.y0;
    source.x1 = source.x0 + fitted.width();
    source.y1 = source.y0 + fitted.height();
    target_rect = fitted;
    return true;
}

bool ImageDecoderI::same_layout(const Rect& source, const Image& target, const Rect& target_rect, const PelFmt& format)
{
    return int64_t(target_rect.x1) - target_rect.x0 == int64_t(source.x1) - source.x0
        && int64_t(target_rect.y1) - target_rect.y0 == int64_t(source.y1) - source.y0
        && target.format().id() == format.id();
}

} // namespace quarn::g
