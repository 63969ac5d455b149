// The part both decoder targets share: the first bytes of an input choose
// the stream's exception mask, the target image (format, size, palette)
// and the rectangles and resize mode of the reads; the rest is the file.
#pragma once

#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include "img/img.h"
#include "quarn/quarn.h"

#include <cstddef>
#include <cstdint>

namespace img_fuzz {

inline constexpr size_t control_bytes = 12;

// Pictures larger than this are opened and asked for their size but not
// read: decoding them would only measure memory.
inline constexpr int64_t max_read_pixels = int64_t(1) << 20;

struct Control {
    uint32_t exceptions;
    uint32_t target_format;
    bool target_palette;
    int32_t target_width, target_height;
    quarn::g::ResizeMode mode;
    const uint8_t* rect_bytes; // 6 bytes
};

inline Control control_of(const uint8_t* data)
{
    return Control {
        .exceptions = data[0] & 0x80 ? 0u : quarn::io::Stream::default_exceptions,
        .target_format = data[0] % 12u,
        .target_palette = (data[0] & 0x40) != 0,
        .target_width = 1 + data[1] % 48,
        .target_height = 1 + data[2] % 48,
        .mode = quarn::g::ResizeMode(data[3] % 6u),
        .rect_bytes = data + 4,
    };
}

// Reads the picture whole into the whole target, then a source rectangle
// (sometimes reaching outside the picture) into a target rectangle
// (sometimes reaching outside the target). Library failures are expected.
inline void read_into_targets(quarn::g::ImageDecoderI& decoder, const Control& c)
{
    using namespace quarn::g;
    ImageDecoderI::Info info;
    decoder.info(info);
    if (int64_t(info.width) * info.height > max_read_pixels)
        return;

    Palette palette;
    const uint8_t quads[8] = { 1, 2, 3, 255, 4, 5, 6, 0 };
    palette.set_rgba(quads, 2);
    ImageRow target;
    target.create(c.target_width, c.target_height,
        c.target_palette ? PelFmt(format_id::pal8, &palette) : PelFmt(c.target_format));

    try {
        decoder.read(target, c.mode);
    } catch (const quarn::Exception&) {
    }
    if (!decoder.is_open())
        return;

    const uint8_t* r = c.rect_bytes;
    const Rect source { r[0] % (info.width + 2) - 1, r[1] % (info.height + 2) - 1, r[2] % (info.width + 2),
        r[3] % (info.height + 2) };
    const Rect where { int8_t(r[4]) / 2, int8_t(r[5]) / 2, int8_t(r[4]) / 2 + source.x1 - source.x0 + r[4] % 5,
        int8_t(r[5]) / 2 + source.y1 - source.y0 + r[5] % 3 };
    try {
        decoder.read(&source, target, &where, c.mode);
    } catch (const quarn::Exception&) {
    }
}

// One fuzz input: control bytes, then the picture file. A picture the
// decoder refuses to open ends the run; one it opens is read into targets.
template <class Decoder>
int run_decoder(const uint8_t* data, size_t size)
{
    if (size < control_bytes)
        return 0;
    const Control control = control_of(data);
    quarn_test::MemoryBuf buf(data + control_bytes, size - control_bytes);
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
