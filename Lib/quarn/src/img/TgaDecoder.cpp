#include "img/TgaDecoder.h"

#include "img/Failures.h"
#include "img/Formats.h"
#include "img/ImageRow.h"

#include "quarn/IStream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quarn::g {

namespace {

// The file header (Truevision TGA file format, version 2.0, "Image
// File Header"): 18 bytes, little-endian, unaligned, so it is taken apart
// byte by byte.
constexpr size_t header_size = 18;

struct TgaHeader {
    uint8_t id_length;
    uint8_t image_type;
    uint16_t map_first;
    uint16_t map_length;
    uint8_t map_entry_bits;
    uint16_t width;
    uint16_t height;
    uint8_t depth;
    uint8_t descriptor;

    explicit TgaHeader(const std::array<uint8_t, header_size>& b)
        : id_length(b[0])
        , image_type(b[2])
        , map_first(uint16_t(b[3] | b[4] << 8))
        , map_length(uint16_t(b[5] | b[6] << 8))
        , map_entry_bits(b[7])
        , width(uint16_t(b[12] | b[13] << 8))
        , height(uint16_t(b[14] | b[15] << 8))
        , depth(b[16])
        , descriptor(b[17])
    {
        // Colour map type (byte 1) and the origin (bytes 8 to 11) are not
        // used.
    }

    bool run_length() const { return image_type == 9 || image_type == 10; }
    // Image Descriptor bit 5: the first row in the file is the top one.
    // Bit 4 (right to left) is not honoured; pictures made that way are
    // rare and the engine never wrote one.
    bool top_down() const { return (descriptor & 0x20) != 0; }
};

bool known_image_type(uint8_t type)
{
    return type == 1 || type == 2 || type == 3 || type == 9 || type == 10;
}

// Bytes of one colour-map entry; 0 for entry sizes the format does not have.
size_t map_entry_bytes(uint8_t bits)
{
    switch (bits) {
    case 15:
    case 16:
        return 2;
    case 24:
        return 3;
    case 32:
        return 4;
    default:
        return 0;
    }
}

// A 16-bit TGA pixel (x bit 15, then 5 bits each of red, green, blue) as
// B, G, R. The low three bits stay 0: the shift is the format's own
// expansion, not the library's rounding one.
void expand_555(const uint8_t* pixel, uint8_t* bgr)
{
    const uint32_t v = uint32_t(pixel[0]) | uint32_t(pixel[1]) << 8;
    bgr[0] = uint8_t((v & 0x1F) << 3);
    bgr[1] = uint8_t(((v >> 5) & 0x1F) << 3);
    bgr[2] = uint8_t(((v >> 10) & 0x1F) << 3);
}

void check_read(const io::IStream& stream)
{
    // Reached only when the stream's exception mask let the failure pass.
    if (stream.state() & io::Stream::fail)
        throw_failure("TGA file is truncated");
}

// The decoded picture grows with the data actually read, so a header that
// promises a huge picture over a short file costs no more memory than the
// file holds.
class GrowingBuffer {
public:
    explicit GrowingBuffer(size_t total) : total_(total) { }

    // Room for n more bytes at the end; the caller writes them.
    uint8_t* append(size_t n)
    {
        const size_t end = used_ + n;
        if (end > capacity_) {
            constexpr size_t first = size_t(64) << 10;
            const size_t grown = std::max(end, std::min(total_, std::max(first, capacity_ * 2)));
            Bytes bigger = allocate_bytes(grown);
            if (used_)
                std::memcpy(bigger.get(), data_.get(), used_);
            data_ = std::move(bigger);
            capacity_ = grown;
        }
        uint8_t* at = data_.get() + used_;
        used_ = end;
        return at;
    }

    Bytes take() { return std::move(data_); }

private:
    Bytes data_;
    size_t used_ = 0;
    size_t capacity_ = 0;
    size_t total_;
};

void read_plain(io::IStream& stream, GrowingBuffer& out, size_t total)
{
    constexpr size_t chunk = size_t(1) << 20;
    for (size_t done = 0; done < total;) {
        const size_t n = std::min(chunk, total - done);
        stream.read(out.append(n), n);
        check_read(stream);
        done += n;
    }
}

// Run-length packets ("Image Data Field" of types 9 and 10): a header byte
// h, then for h >= 128 one pixel repeated h - 127 times, else h + 1 literal
// pixels. Packets may cross rows; one that runs past the picture's end is
// cut there.
void read_run_length(io::IStream& stream, GrowingBuffer& out, size_t pixels, size_t bytes)
{
    for (size_t done = 0; done < pixels;) {
        uint8_t h = 0;
        if (!stream.read_u8(h))
            check_read(stream);
        const size_t count = std::min(size_t(h & 0x7F) + 1, pixels - done);
        uint8_t* at = out.append(count * bytes);
        if (h & 0x80) {
            stream.read(at, bytes);
            check_read(stream);
            for (size_t i = 1; i < count; ++i)
                std::memcpy(at + i * bytes, at, bytes);
        } else {
            stream.read(at, count * bytes);
            check_read(stream);
        }
        done += count;
    }
}

// The palette of an 8-bit picture: the colour map's entries placed from its
// first index on (entries it does not give stay 0), or 256 opaque greys
// when the file has no map. Alpha is always opaque, as the engine's
// pictures were authored.
void build_palette(Palette& palette, const TgaHeader& header, const uint8_t* map)
{
    std::array<uint8_t, 256 * 4> quads {};
    if (header.map_length == 0) {
        for (uint32_t i = 0; i < 256; ++i) {
            quads[i * 4] = quads[i * 4 + 1] = quads[i * 4 + 2] = uint8_t(i);
            quads[i * 4 + 3] = 255;
        }
        palette.set_rgba(quads.data(), 256);
        return;
    }
    const size_t entry_bytes = map_entry_bytes(header.map_entry_bits);
    const uint32_t count = std::min<uint32_t>(256, uint32_t(header.map_first) + header.map_length);
    for (uint32_t index = header.map_first; index < count; ++index) {
        const uint8_t* entry = map + (index - header.map_first) * entry_bytes;
        uint8_t* quad = &quads[index * 4];
        if (entry_bytes == 2)
            expand_555(entry, quad);
        else
            std::memcpy(quad, entry, 3);
        quad[3] = 255;
    }
    palette.set_rgba(quads.data(), count);
}

} // namespace

void TgaDecoder::do_open(io::IStream& stream)
{
    do_close();

    // A header read that fails under a mask that lets it pass leaves zeros,
    // which the type check below refuses.
    std::array<uint8_t, header_size> bytes {};
    stream.read(bytes.data(), bytes.size());
    const TgaHeader header(bytes);
    if (!known_image_type(header.image_type))
        throw_failure("Unknown TGA Image Type");
    if (header.depth != 8 && header.depth != 16 && header.depth != 24 && header.depth != 32)
        throw_failure("Unsupported TGA pixel depth");
    if (header.width == 0 || header.height == 0)
        throw_failure("TGA picture has no pixels");

    // Image ID field: skipped.
    std::array<uint8_t, 255> id;
    if (header.id_length) {
        stream.read(id.data(), header.id_length);
        check_read(stream);
    }

    // Colour map field: it is there whenever the header gives it a length,
    // and it is skipped by its real entry size in pictures of any depth, so
    // that the pixels after it are found where they are.
    Bytes map;
    if (header.map_length) {
        const size_t entry_bytes = map_entry_bytes(header.map_entry_bits);
        if (entry_bytes == 0)
            throw_failure("Unsupported TGA colour map entry size");
        const size_t map_bytes = size_t(header.map_length) * entry_bytes;
        map = allocate_bytes(map_bytes);
        stream.read(map.get(), map_bytes);
        check_read(stream);
    }

    PelFmt format;
    if (header.depth == 8) {
        Palette palette;
        build_palette(palette, header, map.get());
        format = PelFmt(format_id::pal8, &palette);
    } else {
        format = PelFmt(header.depth == 32 ? format_id::rgba8888 : format_id::rgb888);
    }

    // At most 65535 x 65535 x 4 bytes: size_t holds it, the cap keeps it
    // sane. The cap is on the decoded picture, which for 16-bit pixels is
    // larger than the stored one (3 bytes a pixel against 2).
    const size_t bytes_per_pixel = header.depth / 8;
    const size_t decoded_bytes_per_pixel = header.depth == 16 ? 3 : bytes_per_pixel;
    const size_t pixels = size_t(header.width) * header.height;
    const size_t total = pixels * bytes_per_pixel;
    if (pixels * decoded_bytes_per_pixel > max_picture_bytes)
        throw_failure(too_large_text("TGA", header.width, header.height, decoded_bytes_per_pixel));

    GrowingBuffer decoded(total);
    if (header.run_length())
        read_run_length(stream, decoded, pixels, bytes_per_pixel);
    else
        read_plain(stream, decoded, total);
    Bytes buffer = decoded.take();

    if (header.depth == 16) {
        Bytes expanded = allocate_bytes(pixels * decoded_bytes_per_pixel);
        for (size_t i = 0; i < pixels; ++i)
            expand_555(buffer.get() + i * 2, expanded.get() + i * 3);
        buffer = std::move(expanded);
    }

    width_ = header.width;
    height_ = header.height;
    format_ = format;
    bytes_per_pixel_ = int32_t(decoded_bytes_per_pixel);
    pitch_ = int32_t(size_t(header.width) * decoded_bytes_per_pixel);
    buffer_ = std::move(buffer);
    top_down_ = header.top_down();
}

void TgaDecoder::do_close()
{
    buffer_.reset();
    width_ = height_ = pitch_ = bytes_per_pixel_ = 0;
    top_down_ = false;
    format_ = PelFmt();
}

void TgaDecoder::do_info(Info& out)
{
    out.width = width_;
    out.height = height_;
    out.format = format_;
}

void TgaDecoder::do_read(const Rect& source, Image& target, const Rect& target_rect, ResizeMode mode)
{
    // Picture row y is buffer row y when the file is top-down, else buffer
    // row height - 1 - y.
    const size_t bytes = size_t(bytes_per_pixel_);
    auto row = [&](int32_t y) {
        return buffer_.get() + size_t(top_down_ ? y : height_ - 1 - y) * size_t(pitch_);
    };

    if (same_layout(source, target, target_rect, format_)) {
        Rect s = source, d = target_rect;
        if (!clip_copy(target, s, d))
            return;
        Image::Lock lock(target, &d, lock_mode::decoder);
        if (!lock.pixels)
            return;
        const size_t row_bytes = size_t(s.width()) * bytes;
        for (int32_t r = 0; r < d.height(); ++r)
            std::memcpy(lock.row(r), row(s.y0 + r) + size_t(s.x0) * bytes, row_bytes);
        return;
    }

    // The wrapper only reads the buffer: a resize re-creates the wrapper
    // with its own pixels and leaves the buffer as it is.
    ImageRow picture(source.width(), source.height(), format_, row(source.y0) + size_t(source.x0) * bytes,
        top_down_ ? pitch_ : -pitch_);
    const int32_t width = target_rect.x1 - target_rect.x0;
    const int32_t height = target_rect.y1 - target_rect.y0;
    if (width != source.width() || height != source.height())
        picture.resize(width, height, mode);
    target.assign(target_rect.x0, target_rect.y0, picture);
}

} // namespace quarn::g
