#include "img/Image.h"

#include "img/Failures.h"
#include "img/Formats.h"
#include "img/ImageContext.h"

#include <algorithm>
#include <cstring>

namespace quarn::g {

ImageContext& Image::context() const
{
    return ImageContext::instance();
}

Image::Lock::~Lock()
{
    if (pixels)
        image->unlock(*this);
}

void Image::set_size(int32_t width, int32_t height)
{
    width_ = width;
    height_ = height;
}

void Image::create(int32_t width, int32_t height, const PelFmt& fmt)
{
    free_pixels();
    if (width < 0 || height < 0) {
        width_ = height_ = 0;
        throw_failure("image size out of range");
    }
    width_ = width;
    height_ = height;
    format_ = fmt;
    alloc_pixels();
    if (clip_on_)
        clip_rect_ = { 0, 0, width, height };
}

void Image::set_clip_rect(const Rect& rect)
{
    clip_on_ = true;
    clip_rect_ = rect;
}

void Image::clear_clip()
{
    clip_on_ = false;
}

void Image::set_color_key(uint32_t pixel)
{
    key_on_ = true;
    key_pixel_ = pixel;
    key_colour_ = format_.convert_to(pixel, format_id::rgbx8888);
}

void Image::clear_color_key()
{
    key_on_ = false;
}

void Image::set_color_key_rgb(uint32_t colour)
{
    set_color_key(format_.pel_from_rgb(Rgba8888(colour)));
    key_colour_ = colour;
}

uint32_t Image::get_pixel(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    const Rect one { x, y, x + 1, y + 1 };
    Lock lock(*this, &one, lock_mode::read);
    if (!lock.pixels)
        return 0;
    const uint8_t* p = lock.pixels;
    switch (format_.id()) {
    case format_id::rgb888:
    case format_id::rgbx8888:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    case format_id::rgba8888:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    case format_id::rgb565:
    case format_id::rgbx5551:
    case format_id::rgba5551:
    case format_id::rgbx4444:
    case format_id::rgba4444:
        return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case format_id::pal8:
        return p[0];
    default:
        return 0;
    }
}

void Image::get_rect(Rect& out) const
{
    out = { 0, 0, width_, height_ };
}

void Image::get_opaque_rect(Rect& out) const
{
    // Bits of the pixel that the comparison with the key pixel looks at.
    uint32_t mask = 0;
    switch (format_.id()) {
    case format_id::rgb888:
    case format_id::rgbx8888:
        mask = 0x00FFFFFF;
        break;
    case format_id::rgba8888:
    case format_id::raw32:
        mask = 0xFFFFFFFF;
        break;
    case format_id::rgb565:
    case format_id::rgba5551:
    case format_id::rgba4444:
    case format_id::raw16:
        mask = 0xFFFF;
        break;
    case format_id::rgbx5551:
        mask = 0x7FFF;
        break;
    case format_id::rgbx4444:
        mask = 0x0FFF;
        break;
    case format_id::pal8:
        mask = 0xFF;
        break;
    default:
        return;
    }
    out = {};
    if (width_ <= 0 || height_ <= 0)
        return;
    Lock lock(*this, nullptr, lock_mode::read);
    if (!lock.pixels)
        return;
    const size_t bytes = format_.bytes_per_pixel();
    // Rgb888 and Rgbx8888 compare three bytes; reading fewer bytes than the
    // pixel has never reaches past the row.
    const size_t compared = bytes == 4 && mask == 0x00FFFFFF ? 3 : bytes;
    const uint32_t key = key_pixel_ & mask;
    int32_t x0 = width_, y0 = height_, x1 = -1, y1 = -1;
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* p = lock.row(y);
        for (int32_t x = 0; x < width_; ++x, p += bytes) {
            uint32_t value = 0;
            std::memcpy(&value, p, compared);
            if ((value & mask) == key)
                continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    if (x1 >= 0)
        out = { x0, y0, x1 + 1, y1 + 1 };
}

} // namespace quarn::g
