// Reading BMP pictures: Load by name, ReadBmp from a stream, both through
// one parser over the file's bytes, so that every offset and size in the
// headers is checked against the bytes that are really there.
#include "engine/gfx/gfx_internal.h"

#include "quarn/IArcStream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return uint32_t { p[0] } | uint32_t { p[1] } << 8 | uint32_t { p[2] } << 16 | uint32_t { p[3] } << 24; }

constexpr size_t file_header_size = 14;
constexpr uint32_t info_header_size = 40; // BITMAPINFOHEADER
constexpr uint32_t largest_info_header = 124; // BITMAPV5HEADER

// What the headers say, checked.
struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0; // always positive here
    bool topDown = false;
    uint32_t bitCount = 0;
    uint32_t format = 0;
    uint32_t colours = 0;      // colour-table entries to read
    size_t tableOffset = 0;    // of the colour table
    size_t pelOffset = 0;      // of the first stored row
    size_t rowSize = 0;        // bytes of a stored row, padded to 4
};

// The pel format of bit-field masks (16 and 32 bits): the layouts this layer
// has a format for, else 0. Zero and overlapping masks match none of them.
uint32_t format_of_masks(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    if (bits == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F)
        return pel_FMT_R5G6B5;
    if (bits == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F)
        return pel_FMT_X1R5G5B5;
    if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF)
        return a == 0xFF000000u ? pel_FMT_A8R8G8B8 : pel_FMT_X8R8G8B8;
    return 0;
}

// Why a file is refused, for the player who has to mend it: the picture's
// kind or the fault, with the numbers the file gave.
using Why = std::string;

Why compression_refused(uint32_t compression)
{
    switch (compression) {
    case 1: return "RLE8 BMPs are not supported";
    case 2: return "RLE4 BMPs are not supported";
    case 4: return "BMPs holding a JPEG picture are not supported";
    case 5: return "BMPs holding a PNG picture are not supported";
    default: return "BMP compression " + std::to_string(compression) + " is not supported";
    }
}

// BMP file layout (the format's file header and information header):
//   0  "BM", u32 file size, u32 reserved, u32 offset of the pels (bfOffBits)
//   14 u32 size of the information header (biSize), i32 width, i32 height
//      (negative: rows stored top-down), u16 planes, u16 bits per pel,
//      u32 compression, u32 image size, two i32 resolutions, u32 colours
//      used, u32 colours important; from 52 bytes on, the header itself
//      holds the red, green, blue (and from 56 the alpha) masks
//   then the three masks when the header is 40 bytes and compression is
//   bit fields, the colour table (B, G, R, reserved per entry) and the rows,
//   each padded to 4 bytes.
// Returns "" or why the file is refused.
Why parse_layout(const uint8_t* data, size_t size, BmpLayout& out)
{
    if (size == 0)
        return "the file is empty";
    if (size < 2 || u16(data) != 0x4D42)
        return "not a BMP picture: it does not begin with 'BM'";
    if (size < file_header_size + 4)
        return "the file ends inside its headers";
    const uint32_t offBits = u32(data + 10);
    const uint32_t infoSize = u32(data + 14);
    // 12 and 64 are the OS/2 headers, whose fields lie elsewhere.
    if (infoSize == 12 || infoSize == 64)
        return "OS/2 BMPs are not supported";
    if (infoSize < info_header_size || infoSize > largest_info_header)
        return "a header of " + std::to_string(infoSize) + " bytes is none of the BMP headers";
    const size_t headersEnd = file_header_size + infoSize;
    if (size < headersEnd)
        return "the file ends inside its headers";
    const uint8_t* info = data + file_header_size;
    const int64_t width = static_cast<int32_t>(u32(info + 4));
    int64_t height = static_cast<int32_t>(u32(info + 8));
    const uint32_t bitCount = u16(info + 14);
    const uint32_t compression = u32(info + 16);
    uint32_t coloursUsed = u32(info + 32);
    out.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (width <= 0)
        return "the picture is " + std::to_string(width) + " pels wide";
    if (height == 0)
        return "the picture is 0 pels high";

    size_t tableOffset = headersEnd;
    out.format = 0;
    if (compression == BMP_BI_BITFIELDS) {
        if (bitCount != 16 && bitCount != 32)
            return "bit fields at " + std::to_string(bitCount) + " bits a pel are not supported";
        const uint8_t* masks = info + info_header_size;
        if (infoSize == info_header_size) {
            // The masks follow the 40-byte header.
            if (size < headersEnd + 12)
                return "the file ends inside its headers";
            masks = data + headersEnd;
            tableOffset += 12;
        }
        const uint32_t alpha = infoSize >= 56 ? u32(info + 52) : 0;
        out.format = format_of_masks(bitCount, u32(masks), u32(masks + 4), u32(masks + 8), alpha);
        if (!out.format)
            return "its colour masks at " + std::to_string(bitCount) + " bits are not supported";
    } else if (compression == BMP_BI_RGB) {
        switch (bitCount) {
        case 8: out.format = pel_FMT_P8; break;
        case 16: out.format = pel_FMT_X1R5G5B5; break;
        case 24: out.format = pel_FMT_R8G8B8; break;
        case 32: out.format = pel_FMT_A8R8G8B8; break; // the fourth byte is alpha
        default:
            return std::to_string(bitCount) + "-bit BMPs are not supported";
        }
    } else {
        return compression_refused(compression); // run-length and embedded JPEG/PNG pictures
    }

    if (bitCount == 8) {
        if (coloursUsed == 0)
            coloursUsed = 256;
        if (coloursUsed > 256)
            return "its colour table has " + std::to_string(coloursUsed) + " colours, at most 256";
    } else if (coloursUsed != 0) {
        return "a colour table beside " + std::to_string(bitCount) + "-bit colours";
    }

    // The pels start at bfOffBits when it points into the file after the
    // headers; a colour table then holds what fits before it (files with a
    // short table and colours used 0 are common). Otherwise they follow
    // the table at once.
    size_t pelOffset = tableOffset + size_t { coloursUsed } * 4;
    if (offBits >= tableOffset && offBits < size) {
        pelOffset = offBits;
        coloursUsed = std::min<uint32_t>(coloursUsed, static_cast<uint32_t>((offBits - tableOffset) / 4));
    }
    if (bitCount == 8 && coloursUsed == 0)
        return "its colour table is empty";

    size_t pelBytesTotal = 0;
    if (!imgBlockSize(width, height, pelSize(out.format), &pelBytesTotal))
        return imgBlockRefusal(width, height, pelSize(out.format));
    const size_t rowSize = (size_t(width) * bitCount + 31) / 32 * 4;
    // Every row but the last must be there whole; the last one needs only
    // its pels, not its padding.
    const size_t needed = rowSize * size_t(height - 1) + size_t(width) * (bitCount / 8);
    if (pelOffset > size || size - pelOffset < needed)
        return "the file is cut short: its pels need " + std::to_string(needed) + " bytes, "
            + std::to_string(pelOffset > size ? 0 : size - pelOffset) + " are there";

    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.bitCount = bitCount;
    out.colours = coloursUsed;
    out.tableOffset = tableOffset;
    out.pelOffset = pelOffset;
    out.rowSize = rowSize;
    return {};
}

// The bytes of a file read whole.
struct FileBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

// Reads what is left of the stream, up to `limit` bytes, into one block
// that grows fourfold while the data keeps coming, so memory follows what
// the file really holds. The block is not cleared first and is read into
// in large pieces, which go past the stream's own buffer: a picture costs
// about one copy of its bytes, not a copy per growth step.
FileBytes read_rest(quarn::io::IStream& stream, size_t limit)
{
    constexpr size_t first = 256 * 1024;
    FileBytes out;
    size_t capacity = 0;
    while (stream.good()) {
        if (out.size == capacity) {
            if (capacity >= limit)
                break;
            const size_t grown = std::min(limit, capacity ? capacity * 4 : first);
            auto bigger = std::make_unique_for_overwrite<uint8_t[]>(grown);
            if (out.size)
                std::memcpy(bigger.get(), out.data.get(), out.size);
            out.data = std::move(bigger);
            capacity = grown;
        }
        const size_t room = capacity - out.size;
        const size_t got = stream.read_some(out.data.get() + out.size, room);
        out.size += got;
        if (got < room)
            break;
    }
    return out;
}

} // namespace

int imgReadBmpBytes(imgCTy* image, const uint8_t* data, size_t size)
{
    BmpLayout layout;
    if (const Why why = parse_layout(data, size, layout); !why.empty())
        return gfxReportDataError(why.c_str());

    palCTy palette;
    pelFmtCTy format(layout.format);
    if (layout.format == pel_FMT_P8) {
        uint32_t colours[256];
        for (uint32_t i = 0; i < layout.colours; ++i)
            colours[i] = u32(data + layout.tableOffset + 4 * size_t { i });
        palette.Set(colours, layout.colours);
        format.palette = &palette; // copied by SetSize, not owned here
    }
    image->SetSize(layout.width, layout.height, &format);
    image->Lock(nullptr, img_LOCK_RW);
    auto* pels = static_cast<uint8_t*>(image->lockPtr);
    if (!pels || image->width != layout.width || image->height != layout.height) {
        // SetSize reported why (no memory); nothing to fill.
        image->Unlock();
        return ERR_NO_MEMORY;
    }
    const size_t bpp = pelSize(layout.format);
    if (pelSize(image->pelFmt.format) != bpp) {
        // An image kind that keeps a format of its own (an alpha image takes
        // only 32-bit pictures) gets no rows of another size.
        image->Unlock();
        image->Free();
        image->width = 0;
        image->height = 0;
        const std::string why = std::to_string(layout.bitCount) + "-bit pels cannot fill an image of "
            + std::to_string(pelSize(image->pelFmt.format) * 8) + "-bit pels";
        return gfxReportDataError(why.c_str());
    }
    const size_t copy = size_t(layout.width) * bpp;
    const size_t pitchBytes = size_t(image->pitch) * bpp;
    for (int32_t i = 0; i < layout.height; ++i) {
        const int32_t y = layout.topDown ? i : layout.height - 1 - i;
        std::memcpy(pels + size_t(y) * pitchBytes, data + layout.pelOffset + size_t(i) * layout.rowSize, copy);
    }
    image->Unlock();
    return 0;
}

int imgCTy::ReadBmp(quarn::io::IStream& stream)
{
    // The largest file a picture within the size limit needs, with room for
    // headers, a colour table and row padding.
    constexpr size_t limit = img_MAX_BYTES + 4 * img_MAX_SIDE + (1 << 16);
    // The stream's end is where the file ends, not a failure: read without
    // the caller's exception mask and leave the stream clear afterwards.
    const uint32_t mask = stream.exceptions();
    stream.exceptions(0);
    const FileBytes bytes = read_rest(stream, limit);
    stream.clear();
    stream.exceptions(mask);
    return imgReadBmpBytes(this, bytes.data.get(), bytes.size);
}

int imgCTy::Load(const char* name)
{
    quarn::io::IArcStream stream;
    stream.set_flags(quarn::io::Stream::raw_open);
    stream.open(name, quarn::open_mode::in, 0);
    if (!stream.is_open())
        return gfxReportOpenFailure(name, stream);
    const errReadingFile reading(name);
    return ReadBmp(stream);
}
