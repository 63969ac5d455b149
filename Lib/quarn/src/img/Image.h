// The abstract picture: a size, a pixel format, an optional colour key and an
// optional clip rectangle. Pixel memory is reached only through a scoped
// lock, Image::Lock.
#pragma once

#include "img/Memory.h"
#include "img/PelFmt.h"
#include "img/Rect.h"
#include "img/ResizeMode.h"

#include <cstdint>
#include <memory>

namespace quarn::g {

class BOp;
class ImageContext;
class Op;

// Lock modes passed by this library to Image::lock.
namespace lock_mode {
inline constexpr uint32_t target = 0; // an operation writes the pixels
inline constexpr uint32_t read = 1; // the caller only reads
inline constexpr uint32_t decoder = 3; // a decoder writes decoded rows
} // namespace lock_mode

class Image {
public:
    class Lock;

    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    virtual ~Image() = default;

    static void* operator new(size_t size) { return allocate(size); }
    static void operator delete(void* block) noexcept { release(block); }

    // A new image of the same kind, size, format and pixels (every pixel,
    // colour-keyed ones included), without colour key and clipping.
    [[nodiscard]] virtual std::unique_ptr<Image> clone() const = 0;
    // Allocates pixel memory for the current size and format.
    virtual void alloc_pixels() = 0;
    // Releases pixel memory; the colour key is switched off.
    virtual void free_pixels() = 0;
    // Fills in the lock for the rectangle (null: the whole image). The
    // rectangle is not bounded here; operations clip before they lock.
    virtual void lock(Lock& lock, const Rect* rect, uint32_t mode) const = 0;
    virtual void unlock(Lock& lock) const = 0;

    // Key pixel in the image's own format (for palette images an index); the
    // key colour becomes the pixel as Rgbx8888.
    virtual void set_color_key(uint32_t pixel);
    // Key pixel and key colour stay.
    virtual void clear_color_key();
    // The pixel at (x, y) as a pixel value: Rgb888 and Rgbx8888 as
    // 0x00RRGGBB, Rgba8888 whole, 16-bit formats the 16-bit value, Pal8 the
    // index; other formats, and points outside the image, give 0.
    [[nodiscard]] virtual uint32_t get_pixel(int32_t x, int32_t y) const;
    virtual void get_rect(Rect& out) const;
    // The smallest rectangle holding every pixel that differs from the key
    // pixel (compared whether or not the key is on); (0, 0, 0, 0) when there
    // is none. For formats without a comparison out is left as it was.
    virtual void get_opaque_rect(Rect& out) const;
    // The library's single operation factory.
    virtual ImageContext& context() const;

    // Frees the pixels, takes the size and a copy of the format (owning its
    // palette) and allocates new, unwritten pixels. With clipping on, the
    // clip rectangle becomes the whole image. Throws for a negative size or
    // one whose memory cannot be addressed.
    void create(int32_t width, int32_t height, const PelFmt& fmt);
    // Stores the pixel value (of the image's own format, not converted) into
    // every pixel of the rectangle (null: the whole image).
    void fill(uint32_t pixel, const Rect* rect = nullptr);
    // Copies the source rectangle (null: the whole source) so that its
    // top-left lands at (x, y), converting pixels and skipping the source's
    // colour-keyed pixels. Only the part inside both images is copied.
    void assign(int32_t x, int32_t y, const Image& source, const Rect* source_rect = nullptr);
    // Sets the key from an Rgbx8888 colour (for palette images the nearest
    // entry's index); the key colour is kept exactly as given.
    void set_color_key_rgb(uint32_t colour);
    // Resamples the picture in place to the given size (nothing happens at
    // the same size). Sizes must lie in 1 to 32767, else the image is left
    // as it was and an exception is thrown. The image keeps its format,
    // palette and colour key.
    void resize(int32_t width, int32_t height, ResizeMode mode);
    // Makes this image a resampled copy of the source at the given size;
    // the source may be this image itself.
    void resize_from(const Image& source, int32_t width, int32_t height, ResizeMode mode);

    // Runs an operation on this image: the rectangle defaults to the whole
    // image and is clipped to the image (and its clip rectangle when clipping
    // is on); nothing runs when it is empty. Then the operation is run for
    // the slot of the image's format.
    void apply(Op& op);
    // Runs a two-image operation: the source rectangle (null: the whole
    // source) lands at the corner of the target rectangle, and the pair is
    // clipped so that neither image is read or written outside its bounds.
    void apply_binary(const Rect& target_rect, const Image& source, const Rect* source_rect, BOp& op);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    const PelFmt& format() const { return format_; }
    bool has_color_key() const { return key_on_; }
    uint32_t key_pixel() const { return key_pixel_; }
    uint32_t key_colour() const { return key_colour_; }
    bool clipping() const { return clip_on_; }
    const Rect& clip_rect() const { return clip_rect_; }
    void set_clip_rect(const Rect& rect);
    void clear_clip();

protected:
    void disable_color_key() { key_on_ = false; }
    void set_size(int32_t width, int32_t height);
    void set_format(const PelFmt& fmt) { format_ = fmt; }

private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    PelFmt format_;
    bool key_on_ = false;
    uint32_t key_colour_ = 0;
    uint32_t key_pixel_ = 0;
    bool clip_on_ = false;
    Rect clip_rect_;
};

// A locked rectangle of an image. Build it with its image, call the image's
// lock (or use the locking constructor); the destructor unlocks when the lock
// produced pixels.
class Image::Lock {
public:
    explicit Lock(const Image& image) : image(&image) { }
    Lock(const Image& image, const Rect* rect, uint32_t mode) : image(&image) { image.lock(*this, rect, mode); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    virtual ~Lock();

    // The address of row y of the locked rectangle (y counted from its top).
    uint8_t* row(int32_t y) const { return pixels + ptrdiff_t(y) * pitch; }

    const Image* image;
    Rect rect;
    uint32_t mode = 0;
    uint8_t* pixels = nullptr; // first pixel of the rectangle; null while nothing is locked
    int32_t pitch = 0;
};

} // namespace quarn::g
