// Assign and fill between images of any format, size, pitch direction,
// colour key, palette, clip rectangle and placement the input describes,
// with rectangles that may reach anywhere: nothing may be read or written
// outside the images. Unsupported pairs throw "NOT IMPLEMENTED", which is
// fine.
#include "img/img.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace {

using namespace quarn::g;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint32_t u8() { return at < size ? data[at++] : 0; }
    int32_t i32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= u8() << (8 * i);
        return int32_t(v);
    }
};

// An image over exactly the memory its rows need, so that the address
// sanitizer sees any access outside.
struct Picture {
    Picture(Input& in, Palette* palette)
    {
        const uint32_t id = in.u8() % 12;
        width = int32_t(in.u8() % 17);
        height = int32_t(in.u8() % 17);
        const bool bottom_up = in.u8() & 1;
        const PelFmt fmt = palette && (in.u8() & 1) ? PelFmt(id, palette) : PelFmt(id);
        const int32_t pitch = width * int32_t(bytes_per_pixel(id));
        memory.resize(size_t(pitch) * size_t(height));
        for (size_t i = 0; i < memory.size(); ++i)
            memory[i] = uint8_t(i * 131 + id);
        uint8_t* top = memory.empty() ? nullptr : memory.data() + (bottom_up ? ptrdiff_t(height - 1) * pitch : 0);
        image = std::make_unique<ImageRow>(width, height, fmt, top, bottom_up ? -pitch : pitch);
        const uint32_t flags = in.u8();
        if (flags & 1)
            image->set_color_key(uint32_t(in.i32()));
        if (flags & 2)
            image->set_clip_rect({ in.i32(), in.i32(), in.i32(), in.i32() });
    }
    int32_t width, height;
    std::vector<uint8_t> memory;
    std::unique_ptr<ImageRow> image;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in { data, size };
    std::vector<uint8_t> quads(size_t(in.u8()) * 4, 0x5A);
    Palette palette;
    palette.set_rgba(quads.data(), uint32_t(quads.size() / 4));
    Picture target(in, &palette);
    Picture source(in, &palette);
    try {
        const uint32_t what = in.u8();
        const Rect rect { in.i32(), in.i32(), in.i32(), in.i32() };
        if (what & 1)
            target.image->fill(uint32_t(in.i32()), (what & 2) ? &rect : nullptr);
        else
            target.image->assign(in.i32(), in.i32(), *source.image, (what & 2) ? &rect : nullptr);
        if (what & 4)
            target.image->assign(in.i32() % 8, in.i32() % 8, *target.image, &rect);
    } catch (const std::exception&) {
    }
    return 0;
}
