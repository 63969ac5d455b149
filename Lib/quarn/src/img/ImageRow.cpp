#include "img/ImageRow.h"

#include "img/Failures.h"
#include "img/Formats.h"

#include <cstring>
#include <limits>

namespace quarn::g {

ImageRow::ImageRow(int32_t width, int32_t height, const PelFmt& fmt, uint8_t* pixels, int32_t pitch)
{
    if (width < 0 || height < 0)
        throw_failure("image size out of range");
    set_format(fmt);
    set_size(width, height);
    pixels_ = pixels;
    pitch_ = pitch;
    owns_pixels_ = false;
}

ImageRow::~ImageRow()
{
    free_pixels();
}

std::unique_ptr<Image> ImageRow::clone() const
{
    auto copy = std::make_unique<ImageRow>();
    copy->create(width(), height(), format());
    // A raw copy of every row: an assign would skip colour-keyed pixels and
    // leave nothing at all in raw formats, so parts of the clone would stay
    // unwritten.
    const size_t row_bytes = size_t(width()) * format().bytes_per_pixel();
    for (int32_t y = 0; row_bytes && y < height(); ++y) {
        uint8_t* row = copy->pixels_ + ptrdiff_t(y) * copy->pitch_;
        // An image wrapped over no memory has nothing to copy: its clone is
        // black rather than uninitialised.
        if (pixels_)
            std::memcpy(row, pixels_ + ptrdiff_t(y) * pitch_, row_bytes);
        else
            std::memset(row, 0, row_bytes);
    }
    return copy;
}

void ImageRow::alloc_pixels()
{
    const size_t bytes = format().bytes_per_pixel();
    if (bytes == 0)
        throw_failure("unknown pixel format");
    if (size_t(width()) > size_t(std::numeric_limits<int32_t>::max()) / bytes)
        throw_failure("image size out of range");
    const size_t pitch = size_t(width()) * bytes;
    void* memory = allocate(checked_multiply(pitch, size_t(height())));
    pixels_ = static_cast<uint8_t*>(memory);
    pitch_ = int32_t(pitch);
    owns_pixels_ = true;
}

void ImageRow::free_pixels()
{
    if (owns_pixels_)
        release(pixels_);
    pixels_ = nullptr;
    owns_pixels_ = false;
    disable_color_key();
}

void ImageRow::lock(Lock& lock, const Rect* rect, uint32_t mode) const
{
    lock.rect = rect ? *rect : Rect { 0, 0, width(), height() };
    lock.mode = mode;
    lock.pitch = pitch_;
    lock.pixels = pixels_
        ? pixels_ + ptrdiff_t(lock.rect.y0) * pitch_ + ptrdiff_t(lock.rect.x0) * ptrdiff_t(format().bytes_per_pixel())
        : nullptr;
}

void ImageRow::unlock(Lock& lock) const
{
    (void)lock;
}

} // namespace quarn::g
