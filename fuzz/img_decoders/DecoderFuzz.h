// The part both decoder targets share. The whole input is the picture file,
// as an outside tool wrote it, so real files seed the corpus as they are.
// The values that steer a run (the stream's exception mask, the target
// image's format, size and palette, the rectangles and the resize mode of
// the reads) come from the input's last bytes, which the decoders ignore
// after the picture's end: the fuzzer can still change them freely.
#pragma once

#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include "img/img.h"
#include "quarn/quarn.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace img_fuzz {

inline constexpr size_t control_bytes = 12;

// Pictures larger than this are read only through a small source
// rectangle: a whole read would first make a picture of the full size.
inline constexpr int64_t max_read_pixels = int64_t(1) << 20;

struct Control {
    uint32_t exceptions;
    uint32_t target_format;
    bool target_palette;
    int32_t target_width, target_height;
    quarn::g::ResizeMode mode;
    std::array<uint8_t, 6> rect_bytes;
};

// The last control_bytes of the input (zeros before a shorter input).
inline Control control_of(const uint8_t* data, size_t size)
{
    std::array<uint8_t, control_bytes> tail {};
    const size_t n = size < control_bytes ? size : control_bytes;
    if (n)
        std::memcpy(tail.data() + control_bytes - n, data + size - n, n);
    Control c {
        .exceptions = tail[0] & 0x80 ? 0u : quarn::io::Stream::default_exceptions,
        .target_format = tail[0] % 12u,
        .target_palette = (tail[0] & 0x40) != 0,
        .target_width = 1 + tail[1] % 48,
        .target_height = 1 + tail[2] % 48,
        .mode = quarn::g::ResizeMode(tail[3] % 6u),
        .rect_bytes = {},
    };
    std::memcpy(c.rect_bytes.data(), tail.data() + 4, c.rect_bytes.size());
    return c;
}

// Reads the picture whole into the whole target, then a source rectangle
// (sometimes reaching outside the picture) into a target rectangle
// (sometimes reaching outside the target). Library failures are expected.
inline void read_into_targets(quarn::g::ImageDecoderI& decoder, const Control& c)
{
    using namespace quarn::g;
    ImageDecoderI::Info info;
    decoder.info(info);
    const bool large = int64_t(info.width) * info.height > max_read_pixels;

    Palette palette;
    const uint8_t quads[8] = { 1, 2, 3, 255, 4, 5, 6, 0 };
    palette.set_rgba(quads, 2);
    ImageRow target;
    target.create(c.target_width, c.target_height,
        c.target_palette ? PelFmt(format_id::pal8, &palette) : PelFmt(c.target_format));

    if (!large) {
        try {
            decoder.read(target, c.mode);
        } catch (const quarn::Exception&) {
        }
        if (!decoder.is_open())
            return;
    }

    const uint8_t* r = c.rect_bytes.data();
    // Large pictures: a rectangle of at most 255 x 255 from the top left.
    const int32_t span_x = large ? 256 : info.width + 2;
    const int32_t span_y = large ? 256 : info.height + 2;
    const Rect source { r[0] % span_x - 1, r[1] % span_y - 1, r[2] % span_x, r[3] % span_y };
    const Rect where { int8_t(r[4]) / 2, int8_t(r[5]) / 2, int8_t(r[4]) / 2 + source.x1 - source.x0 + r[4] % 5,
        int8_t(r[5]) / 2 + source.y1 - source.y0 + r[5] % 3 };
    try {
        decoder.read(&source, target, &where, c.mode);
    } catch (const quarn::Exception&) {
    }
}

// One fuzz input: the picture file. A picture the decoder refuses to open
// ends the run; one it opens is read into targets.
template <class Decoder>
int run_decoder(const uint8_t* data, size_t size)
{
    const Control control = control_of(data, size);
    quarn_test::MemoryBuf buf(data, size);
    quarn::io::IStream in(&buf);
    in.exceptions(control.exceptions);
    Decoder decoder;
    try {
        decoder.open(in);
    } catch (const quarn::Exception&) {
        return 0;
    }
    read_into_targets(decoder, control);
    return 0;
}

} // namespace img_fuzz
