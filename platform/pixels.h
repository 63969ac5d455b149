// Pixel buffers as the engine keeps them in memory, described so that the
// platform can present them, write text into them and save them as BMP.
#pragma once

#include "platform/geometry.h"

#include <cstddef>
#include <cstdint>

namespace platform {

// The layouts the engine's surfaces use. Every pixel is stored little-endian.
enum class PixelFormat : uint8_t {
    rgb565,   // 16 bits: rrrrrggg gggbbbbb
    xrgb1555, // 16 bits ("15-bit"): xrrrrrgg gggbbbbb, top bit ignored
    rgb888,   // 24 bits: bytes B, G, R (the DIB order)
    xrgb8888, // 32 bits: 0x00RRGGBB, top byte ignored
};

int bytes_per_pixel(PixelFormat format);
int bits_per_pixel(PixelFormat format); // 16, 15, 24, 32

// A pixel buffer owned by someone else. `pitch` is the distance between the
// starts of two rows in bytes and may exceed width * bytes per pixel.
struct PixelView {
    const void* pixels = nullptr;
    int pitch = 0;
    PixelFormat format = PixelFormat::rgb565;
    int width = 0;
    int height = 0;

    Rect bounds() const { return {0, 0, width, height}; }
    const uint8_t* row(int y) const { return static_cast<const uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch; }
};

// The same, writable.
struct PixelSurface {
    void* pixels = nullptr;
    int pitch = 0;
    PixelFormat format = PixelFormat::rgb565;
    int width = 0;
    int height = 0;

    Rect bounds() const { return {0, 0, width, height}; }
    uint8_t* row(int y) const { return static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch; }
    operator PixelView() const { return {pixels, pitch, format, width, height}; }
};

// False for a null buffer, a negative size, or a pitch too small for a row.
bool valid(const PixelView& view);

// Colours cross the interface as 0xRRGGBB. Packing drops the low bits of each
// channel; unpacking widens by repeating the top bits, so white stays white.
uint32_t pack_pixel(PixelFormat format, uint32_t rgb);
uint32_t unpack_pixel(PixelFormat format, uint32_t pixel);

uint32_t read_pixel(const PixelView& view, int x, int y);            // raw pixel value
void write_pixel(const PixelSurface& surface, int x, int y, uint32_t pixel);

// Copies `source` (clipped to the view) into `dest` at `to`, converting to
// the destination's format; the part that falls outside `dest` is dropped.
// Returns the destination rectangle actually written (empty when none).
Rect convert_pixels(const PixelView& source, Rect from, const PixelSurface& dest, Point to);

} // namespace platform
