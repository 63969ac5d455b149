// TGA and JPEG pictures through the image library's decoders, decoded
// straight into this image in the decoded format.
#include "engine/gfx/gfx_internal.h"

#include "img/img.h"
#include "quarn/IArcStream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

namespace {

// Sizes `image` for a picture of the decoder's size and format. An 8-bit
// picture keeps the decoder's colour table, so that it can be drawn onto
// screens without one. Returns 0, or the reported code.
int size_for(imgCTy* image, const quarn::g::ImageDecoderI::Info& info)
{
    const uint32_t format = info.format.id();
    const uint32_t bpp = pelSize(format);
    size_t total = 0;
    if (format == 0 || bpp == 0)
        return gfxReportDataError("the decoder gives a pel format this layer does not hold");
    if (!imgBlockSize(info.width, info.height, bpp, &total))
        return gfxReportDataError(imgBlockRefusal(info.width, info.height, bpp).c_str());

    palCTy palette;
    pelFmtCTy fmt(format);
    if (const quarn::g::Palette* decoded = info.format.palette(); decoded && format == pel_FMT_P8) {
        const uint32_t n = std::min<uint32_t>(decoded->count(), 256);
        uint32_t colours[256];
        for (uint32_t i = 0; i < n; ++i)
            colours[i] = decoded->get(i, pel_FMT_X8R8G8B8);
        palette.Set(colours, n);
        fmt.palette = &palette; // SetSize takes its own copy
    }
    image->SetSize(info.width, info.height, &fmt);
    if (image->width != info.width || image->height != info.height)
        return ERR_NO_MEMORY; // reported by SetSize
    // An image kind that keeps a format of its own (an alpha image holds
    // 32-bit pels) cannot take the decoder's rows as they are.
    if (pelSize(image->pelFmt.format) != bpp) {
        image->Free();
        image->width = 0;
        image->height = 0;
        const std::string why = std::to_string(bpp * 8) + "-bit pels cannot fill an image of "
            + std::to_string(pelSize(image->pelFmt.format) * 8) + "-bit pels";
        return gfxReportDataError(why.c_str());
    }
    return 0;
}

// Decodes the stream with `decoder` straight into the image's pels (the
// decoder's format is the image's, so its rows land in place without a
// second copy of the picture); a failure of the decoder or of the stream
// becomes an ERR_DATA report naming `name` and leaves the image empty.
int decode(imgCTy* image, quarn::g::ImageDecoderI& decoder, quarn::io::IStream& stream, const char* name)
{
    char reason[256] = "";
    quarn::g::ImageDecoderI::Info info;
    try {
        decoder.open(stream);
        decoder.info(info);
    } catch (const std::exception& e) {
        strCopy(reason, sizeof reason, e.what());
    }
    // Reported outside the handler: a report may unwind to a TRY frame.
    if (reason[0] || info.width <= 0 || info.height <= 0) {
        decoder.close();
        return gfxReportDecoderError(name, reason[0] ? reason : "empty picture");
    }
    if (const int rc = size_for(image, info)) {
        decoder.close();
        return rc;
    }
    image->Lock(nullptr, img_LOCK_WRITE);
    if (auto* pels = static_cast<uint8_t*>(image->lockPtr)) {
        const uint32_t bpp = pelSize(info.format.id());
        quarn::g::ImageRow target(info.width, info.height, info.format, pels, image->pitch * static_cast<int32_t>(bpp));
        try {
            decoder.read(target, quarn::g::ResizeAreaClamp);
        } catch (const std::exception& e) {
            strCopy(reason, sizeof reason, e.what());
        }
    }
    image->Unlock();
    decoder.close();
    if (reason[0]) {
        image->Free();
        image->width = 0;
        image->height = 0;
        return gfxReportDecoderError(name, reason);
    }
    return 0;
}

int decode_file(imgCTy* image, quarn::g::ImageDecoderI& decoder, const char* name)
{
    quarn::io::IArcStream stream;
    stream.set_flags(quarn::io::Stream::raw_open);
    stream.open(name, quarn::open_mode::in, 0);
    if (!stream.is_open())
        return gfxReportOpenFailure(name, stream);
    stream.exceptions(quarn::io::Stream::bad | quarn::io::Stream::fail);
    const errReadingFile reading(name);
    return decode(image, decoder, stream, name);
}

} // namespace

int imgCTy::LoadJpg(const char* name)
{
    quarn::g::JpgDecoder decoder;
    return decode_file(this, decoder, name);
}

int imgCTy::LoadTga(const char* name)
{
    quarn::g::TgaDecoder decoder;
    return decode_file(this, decoder, name);
}

int imgCTy::ReadTga(quarn::io::IStream& stream)
{
    quarn::g::TgaDecoder decoder;
    return decode(this, decoder, stream, "TGA stream");
}
