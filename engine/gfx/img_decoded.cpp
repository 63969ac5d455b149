// TGA and JPEG pictures through the image library's decoders: decoded into
// a library image, then copied into this image in the decoded format.
#include "engine/gfx/gfx_internal.h"

#include "img/img.h"
#include "quarn/IArcStream.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

// Sizes and fills `image` from a decoded picture. An 8-bit picture keeps the
// decoder's colour table, so that it can be drawn onto screens without one.
int copy_decoded(imgCTy* image, const quarn::g::ImageRow& picture)
{
    const uint32_t format = picture.format().id();
    const uint32_t bpp = pelSize(format);
    size_t total = 0;
    if (format == 0 || bpp == 0 || !imgBlockSize(picture.width(), picture.height(), bpp, &total))
        return gfxReportDataError();

    palCTy palette;
    pelFmtCTy fmt(format);
    if (const quarn::g::Palette* decoded = picture.format().palette(); decoded && format == pel_FMT_P8) {
        const uint32_t n = std::min<uint32_t>(decoded->count(), 256);
        uint32_t colours[256];
        for (uint32_t i = 0; i < n; ++i)
            colours[i] = decoded->get(i, pel_FMT_X8R8G8B8);
        palette.Set(colours, n);
        fmt.palette = &palette; // SetSize takes its own copy
    }
    image->SetSize(picture.width(), picture.height(), &fmt);
    image->Lock(nullptr, img_LOCK_RW);
    auto* pels = static_cast<uint8_t*>(image->lockPtr);
    if (!pels || image->width != picture.width() || image->height != picture.height()) {
        image->Unlock();
        return ERR_NO_MEMORY; // reported by SetSize
    }
    const quarn::g::Image::Lock source(picture, nullptr, 1);
    const size_t rowBytes = size_t(picture.width()) * bpp;
    for (int32_t y = 0; y < picture.height(); ++y)
        std::memcpy(pels + size_t(y) * size_t(image->pitch) * bpp, source.row(y), rowBytes);
    image->Unlock();
    return 0;
}

// Decodes the stream with `decoder`; a failure of the decoder or of the
// stream becomes an ERR_DATA report naming `name`.
int decode(imgCTy* image, quarn::g::ImageDecoderI& decoder, quarn::io::IStream& stream, const char* name)
{
    quarn::g::ImageRow picture;
    char reason[256] = "";
    try {
        decoder.load(stream, picture);
    } catch (const std::exception& e) {
        strCopy(reason, sizeof reason, e.what());
    }
    // Reported outside the handler: a report may unwind to a TRY frame.
    if (reason[0] || picture.width() <= 0 || picture.height() <= 0)
        return gfxReportDecoderError(name, reason[0] ? reason : "empty picture");
    return copy_decoded(image, picture);
}

int decode_file(imgCTy* image, quarn::g::ImageDecoderI& decoder, const char* name)
{
    quarn::io::IArcStream stream;
    stream.set_flags(quarn::io::Stream::raw_open);
    stream.open(name, quarn::open_mode::in, 0);
    if (!stream.is_open())
        return gfxReportFile(ERR_OPEN, name);
    stream.exceptions(quarn::io::Stream::bad | quarn::io::Stream::fail);
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
