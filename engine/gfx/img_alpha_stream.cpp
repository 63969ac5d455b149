// The alpha image's stream record and its TGA loading.
//
// Body record after the image header (little-endian): u32 un-blend flag,
// u32 premultiplied flag, u32 colour format, u32 run count R, R u16 run
// words, u32 alpha count A, A alpha bytes, u32 colour count N, N packed
// colours, then the bounding box as four i32 (x, y, w, h).
#include "engine/gfx/gfx_internal.h"

#include "img/img.h"
#include "quarn/IFStream.h"

#include <cstring>
#include <exception>
#include <vector>

namespace {

void write_i32(rwCTy* stream, int32_t value) { rwWriteU32(stream, static_cast<uint32_t>(value)); }

// Reads `size` bytes into a new block, after checking that the stream holds
// them, so that a count from the file never allocates more than the file.
int read_block(rwCTy* stream, size_t size, uint8_t** out)
{
    *out = nullptr;
    if (size == 0)
        return 0;
    if (size > gfxStreamLeft(stream))
        return gfxFailShortRead(stream, size);
    *out = static_cast<uint8_t*>(memAlloc(size));
    if (!*out)
        return ERR_NO_MEMORY;
    return rwRead(stream, *out, size);
}

} // namespace

void imgAlpha::WriteBody(rwCTy* stream)
{
    rwWriteU32(stream, unblend);
    rwWriteU32(stream, premultiplied);
    rwWriteU32(stream, colorFmt);
    rwWriteU32(stream, runCount);
    for (uint32_t i = 0; i < runCount; ++i) {
        const uint8_t word[2] = { uint8_t(runs[i]), uint8_t(runs[i] >> 8) };
        rwWrite(stream, word, 2);
    }
    rwWriteU32(stream, alphaCount);
    if (alphaCount)
        rwWrite(stream, alphas, alphaCount);
    rwWriteU32(stream, colorCount);
    if (colorCount)
        rwWrite(stream, colors, size_t { colorCount } * pelSize(colorFmt));
    write_i32(stream, box.x);
    write_i32(stream, box.y);
    write_i32(stream, box.w);
    write_i32(stream, box.h);
}

int imgAlpha::ReadHeader(rwCTy* stream)
{
    Free();
    box = rectTy { 0, 0, 0, 0 };
    if (const int rc = imgCTy::ReadHeader(stream))
        return rc;
    // The pels are always handed out as A8R8G8B8, whatever the header says.
    pelFmt.ClearPalette();
    pelFmt.format = pel_FMT_A8R8G8B8;
    size_t bytes = 0;
    if (!imgBlockSize(width, height, 4, &bytes)) {
        width = 0;
        height = 0;
        return gfxReportDataError();
    }
    return 0;
}

int imgAlpha::ReadBody(rwCTy* stream)
{
    const int rc = ReadBodyChecked(stream);
    if (rc < 0) {
        // Runs that do not match the picture must never be decoded.
        Free();
        box = rectTy { 0, 0, 0, 0 };
        width = 0;
        height = 0;
    }
    return rc;
}

int imgAlpha::ReadBodyChecked(rwCTy* stream)
{
    uint32_t words[4];
    for (uint32_t& w : words)
        if (const int rc = gfxReadU32(stream, &w))
            return rc;
    Free();
    unblend = words[0] ? 1 : 0;
    premultiplied = words[1] ? 1 : 0;
    if (!imgAlphaColorFmtValid(words[2]))
        return gfxReportDataError();
    colorFmt = words[2];
    uint8_t* block = nullptr;
    if (const int rc = read_block(stream, size_t { words[3] } * 2, &block))
        return memFree(block), rc;
    // Run words are little-endian u16 in the file; the block is reused in place.
    runs = reinterpret_cast<uint16_t*>(block);
    runCount = words[3];
    for (uint32_t i = 0; i < runCount; ++i)
        runs[i] = static_cast<uint16_t>(block[2 * i] | block[2 * i + 1] << 8);

    uint32_t count = 0;
    if (const int rc = gfxReadU32(stream, &count))
        return rc;
    if (const int rc = read_block(stream, count, &alphas))
        return rc;
    alphaCount = count;
    if (const int rc = gfxReadU32(stream, &count))
        return rc;
    if (const int rc = read_block(stream, size_t { count } * pelSize(colorFmt), &colors))
        return rc;
    colorCount = count;
    int32_t b[4];
    for (int32_t& v : b) {
        uint32_t u = 0;
        if (const int rc = gfxReadU32(stream, &u))
            return rc;
        v = static_cast<int32_t>(u);
    }
    box = rectTy { b[0], b[1], b[2], b[3] };

    // The runs must cover the picture exactly with known types, and the
    // counts must be those the runs ask for.
    uint64_t pels = 0, translucent = 0, visible = 0;
    for (uint32_t i = 0; i < runCount; ++i) {
        const uint32_t length = runs[i] >> 2, type = runs[i] & 3;
        if (length == 0 || type > alpha_RUN_OPAQUE)
            return gfxReportDataError();
        pels += length;
        translucent += type == alpha_RUN_TRANSLUCENT ? length : 0;
        visible += type == alpha_RUN_TRANSPARENT ? 0 : length;
    }
    if (pels != uint64_t(width) * uint64_t(height) || translucent != alphaCount || visible != colorCount)
        return gfxReportDataError();
    // A premultiplied alpha byte of 255 would be a pel of alpha 0 that the
    // decoder divides by.
    if (premultiplied)
        for (uint32_t i = 0; i < alphaCount; ++i)
            if (alphas[i] == 255)
                return gfxReportDataError();
    // The box is what draws by default: it must lie inside the picture.
    if (box.x < 0 || box.y < 0 || box.w < 0 || box.h < 0 || int64_t(box.x) + box.w > width
        || int64_t(box.y) + box.h > height)
        return gfxReportDataError();
    return 0;
}

int imgAlpha::ReadTga(quarn::io::IStream& stream)
{
    quarn::g::TgaDecoder decoder;
    quarn::g::ImageDecoderI::Info info;
    char reason[256] = "";
    std::vector<uint8_t> pels;
    try {
        decoder.open(stream);
        decoder.info(info);
        size_t bytes = 0;
        if (info.width > 0 && info.height > 0 && imgBlockSize(info.width, info.height, 4, &bytes)) {
            pels.resize(bytes);
            // The decoder converts every TGA kind into these 32-bit pels.
            quarn::g::ImageRow target(info.width, info.height, quarn::g::PelFmt(pel_FMT_A8R8G8B8), pels.data(),
                                      info.width * 4);
            decoder.read(target, quarn::g::ResizeMode(1));
        }
        decoder.close();
    } catch (const std::exception& e) {
        strCopy(reason, sizeof reason, e.what());
    }
    // Reported outside the handler: a report may unwind to a TRY frame.
    if (reason[0])
        return gfxReportDecoderError("TGA stream", reason);
    if (pels.empty())
        return gfxReportDataError();
    SetSize(info.width, info.height, nullptr);
    if (width != info.width || height != info.height)
        return ERR_NO_MEMORY;
    Encode(reinterpret_cast<const uint32_t*>(pels.data()));
    return 0;
}

int imgAlpha::LoadTga(const char* name)
{
    quarn::io::IFStream stream;
    stream.set_flags(quarn::io::Stream::raw_open);
    stream.open(name, quarn::open_mode::in | quarn::open_mode::binary, 0);
    if (!stream.is_open())
        return gfxReportOpenFailure(name, stream);
    stream.exceptions(quarn::io::Stream::bad | quarn::io::Stream::fail);
    const errReadingFile reading(name);
    return ReadTga(stream);
}
