// Image::resize and the choice of resampling routine.
#include "img/Resize.h"

#include "img/AreaResample.h"
#include "img/Failures.h"
#include "img/Formats.h"
#include "img/ImageRow.h"
#include "img/ScaleNearest.h"

#include <cstring>
#include <memory>

namespace quarn::g {

namespace {

bool size_in_range(int32_t size) { return size >= 1 && size <= resize_max_size; }

void zero_rows(const Image::Lock& lock, int32_t width, int32_t height, size_t bytes)
{
    for (int32_t y = 0; y < height; ++y)
        std::memset(lock.row(y), 0, size_t(width) * bytes);
}

void dispatch(int32_t width, int32_t height, ResizeMode mode, const Image::Lock& target, const Image::Lock& source_lock,
    const uint32_t* key, const PelFmt& fmt, const Image& source)
{
    if (!target.pixels || !source_lock.pixels)
        return;
    const uint32_t id = fmt.id();
    const int32_t sw = source.width(), sh = source.height();
    auto nearest = [&](auto routine) {
        routine(target.pixels, target.pitch, width, height, source_lock.pixels, source_lock.pitch, sw, sh);
    };

    if (id == format_id::pal8) {
        nearest(&scale_nearest<1>);
        return;
    }
    if (id >= format_id::rgb888 && id <= format_id::rgba4444) {
        if (mode == ResizeNearest) {
            switch (bytes_per_pixel(id)) {
            case 2:
                nearest(&scale_nearest<2>);
                return;
            case 3:
                nearest(&scale_nearest<3>);
                return;
            default:
                nearest(&scale_nearest<4>);
                return;
            }
        }
        if (AreaRoutine routine = area_routine(id, mode, key != nullptr)) {
            uint32_t key_value = key ? *key : 0;
            // Wrapping in both axes takes an Rgba8888 key as opaque: its
            // alpha byte becomes 0xFF, so only opaque source pixels of the
            // key's colour count as key, and fully keyed footprints get the
            // opaque key.
            if (key && mode == ResizeAreaWrapXY && id == format_id::rgba8888)
                key_value |= 0xFF000000;
            routine(
                target.pixels, target.pitch, width, height, source_lock.pixels, source_lock.pitch, sw, sh, key_value);
            return;
        }
    }
    // Nothing to resample with: the new pixels are zeroed rather than left
    // as whatever the allocation held.
    zero_rows(target, width, height, bytes_per_pixel(id));
}

// Makes `target` a copy of `source` of the same size, format and colour
// key. Whole rows are copied: this serves every format (palette and raw
// images too, which have no fill and no assign of their own) and gives the
// same pixels as filling with the key and assigning around it.
void copy_image(Image& target, const Image& source)
{
    target.create(source.width(), source.height(), source.format());
    const size_t row_bytes = size_t(source.width()) * source.format().bytes_per_pixel();
    if (row_bytes && source.height() > 0) {
        Image::Lock to(target, nullptr, lock_mode::target);
        Image::Lock from(source, nullptr, lock_mode::read);
        if (to.pixels && from.pixels)
            for (int32_t y = 0; y < source.height(); ++y)
                std::memcpy(to.row(y), from.row(y), row_bytes);
    }
    if (source.has_color_key())
        target.set_color_key(source.key_pixel());
}

} // namespace

void resample_key(int32_t width, int32_t height, ResizeMode mode, const Image::Lock& target,
    const Image::Lock& source_lock, uint32_t key, const PelFmt& fmt, const Image& source)
{
    dispatch(width, height, mode, target, source_lock, &key, fmt, source);
}

void resample(int32_t width, int32_t height, ResizeMode mode, const Image::Lock& target, const Image::Lock& source_lock,
    uint32_t key, const PelFmt& fmt, const Image& source)
{
    (void)key;
    dispatch(width, height, mode, target, source_lock, nullptr, fmt, source);
}

void Image::resize(int32_t width, int32_t height, ResizeMode mode)
{
    if (width == width_ && height == height_)
        return;
    resize_from(*this, width, height, mode);
}

void Image::resize_from(const Image& source, int32_t width, int32_t height, ResizeMode mode)
{
    if (source.width() == width && source.height() == height) {
        if (&source != this)
            copy_image(*this, source);
        return;
    }
    // The steps divide by the target size and shift the source size into
    // 16.16 fixed point; refuse what they cannot take before anything
    // changes.
    if (!size_in_range(width) || !size_in_range(height) || !size_in_range(source.width())
        || !size_in_range(source.height()))
        throw_failure("resize size out of range");

    // Resizing in place reads a copy: re-creating this image frees the
    // pixels that are to be read.
    std::unique_ptr<ImageRow> copy;
    const Image* from = &source;
    if (&source == this) {
        copy = std::make_unique<ImageRow>();
        copy_image(*copy, *this);
        from = copy.get();
    }

    create(width, height, from->format());
    {
        Lock target(*this, nullptr, lock_mode::decoder);
        Lock source_lock(*from, nullptr, lock_mode::read);
        if (from->has_color_key())
            resample_key(width, height, mode, target, source_lock, from->key_pixel(), format(), *from);
        else
            resample(width, height, mode, target, source_lock, from->key_pixel(), format(), *from);
    }
    // The key routines write the key pixel where a footprint held only key
    // pixels, and nearest neighbour copies key pixels as they are: keep the
    // key, so that those pixels stay transparent as after a same-size copy.
    if (from->has_color_key())
        set_color_key(from->key_pixel());
}

} // namespace quarn::g
