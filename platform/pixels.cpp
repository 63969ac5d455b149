#include "platform/pixels.h"

#include <cstring>

namespace platform {

namespace {

// Widens an n-bit channel to 8 bits by repeating its top bits.
template <int Bits>
constexpr uint32_t widen(uint32_t v)
{
    if constexpr (Bits >= 8)
        return v;
    else
        return (v << (8 - Bits)) | (v >> (2 * Bits - 8));
}

struct Rgb565 {
    static constexpr int bytes = 2;
    static uint32_t load(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
    static void store(uint8_t* p, uint32_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
    }
    static uint32_t to_rgb(uint32_t v)
    {
        return widen<5>((v >> 11) & 31) << 16 | widen<6>((v >> 5) & 63) << 8 | widen<5>(v & 31);
    }
    static uint32_t from_rgb(uint32_t c) { return ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F); }
};

struct Xrgb1555 {
    static constexpr int bytes = 2;
    static uint32_t load(const uint8_t* p) { return Rgb565::load(p); }
    static void store(uint8_t* p, uint32_t v) { Rgb565::store(p, v); }
    static uint32_t to_rgb(uint32_t v)
    {
        return widen<5>((v >> 10) & 31) << 16 | widen<5>((v >> 5) & 31) << 8 | widen<5>(v & 31);
    }
    static uint32_t from_rgb(uint32_t c) { return ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F); }
};

struct Rgb888 {
    static constexpr int bytes = 3;
    static uint32_t load(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }
    static void store(uint8_t* p, uint32_t v)
    {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
    }
    static uint32_t to_rgb(uint32_t v) { return v & 0xFFFFFF; }
    static uint32_t from_rgb(uint32_t c) { return c & 0xFFFFFF; }
};

struct Xrgb8888 {
    static constexpr int bytes = 4;
    static uint32_t load(const uint8_t* p)
    {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static void store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
    static uint32_t to_rgb(uint32_t v) { return v & 0xFFFFFF; }
    static uint32_t from_rgb(uint32_t c) { return c & 0xFFFFFF; }
};

template <typename F>
decltype(auto) with_format(PixelFormat format, F&& f)
{
    switch (format) {
    case PixelFormat::xrgb1555:
        return f(Xrgb1555{});
    case PixelFormat::rgb888:
        return f(Rgb888{});
    case PixelFormat::xrgb8888:
        return f(Xrgb8888{});
    case PixelFormat::rgb565:
        break;
    }
    return f(Rgb565{});
}

template <typename Src, typename Dst>
void convert_rows(const PixelView& source, Rect from, const PixelSurface& dest, Point to)
{
    for (int row = 0; row < from.height; ++row) {
        const uint8_t* s = source.row(from.y + row) + from.x * Src::bytes;
        uint8_t* d = dest.row(to.y + row) + to.x * Dst::bytes;
        if constexpr (std::is_same_v<Src, Dst>) {
            std::memcpy(d, s, size_t(from.width) * Src::bytes);
        } else {
            for (int i = 0; i < from.width; ++i, s += Src::bytes, d += Dst::bytes)
                Dst::store(d, Dst::from_rgb(Src::to_rgb(Src::load(s))));
        }
    }
}

} // namespace

int bytes_per_pixel(PixelFormat format)
{
    return with_format(format, [](auto traits) { return decltype(traits)::bytes; });
}

int bits_per_pixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::rgb565:
        return 16;
    case PixelFormat::xrgb1555:
        return 15;
    case PixelFormat::rgb888:
        return 24;
    case PixelFormat::xrgb8888:
        return 32;
    }
    return 16;
}

bool valid(const PixelView& view)
{
    if (view.width < 0 || view.height < 0)
        return false;
    if (view.width == 0 || view.height == 0)
        return true;
    return view.pixels && view.pitch >= view.width * bytes_per_pixel(view.format);
}

uint32_t pack_pixel(PixelFormat format, uint32_t rgb)
{
    return with_format(format, [rgb](auto traits) { return decltype(traits)::from_rgb(rgb); });
}

uint32_t unpack_pixel(PixelFormat format, uint32_t pixel)
{
    return with_format(format, [pixel](auto traits) { return decltype(traits)::to_rgb(pixel); });
}

uint32_t read_pixel(const PixelView& view, int x, int y)
{
    return with_format(view.format, [&](auto traits) {
        using T = decltype(traits);
        return T::load(view.row(y) + x * T::bytes);
    });
}

void write_pixel(const PixelSurface& surface, int x, int y, uint32_t pixel)
{
    with_format(surface.format, [&](auto traits) {
        using T = decltype(traits);
        T::store(surface.row(y) + x * T::bytes, pixel);
    });
}

Rect convert_pixels(const PixelView& source, Rect from, const PixelSurface& dest, Point to)
{
    if (!valid(source) || !valid(dest))
        return {};
    // Clip the source rectangle to the source, moving the target with it,
    // then the target to the destination, moving the source with it.
    Rect src = intersect(from, source.bounds());
    to.x += src.x - from.x;
    to.y += src.y - from.y;
    const Rect dst = intersect({to.x, to.y, src.width, src.height}, dest.bounds());
    if (dst.empty())
        return {};
    src = {src.x + (dst.x - to.x), src.y + (dst.y - to.y), dst.width, dst.height};
    with_format(source.format, [&](auto s) {
        with_format(dest.format, [&](auto d) {
            convert_rows<decltype(s), decltype(d)>(source, src, dest, {dst.x, dst.y});
        });
    });
    return dst;
}

} // namespace platform
