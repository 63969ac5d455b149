// The row image's stream record: the image header, four extra u32 words,
// then width x height x pelBytes bytes of pels, top row first, no padding.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstring>

namespace {

void write_zeros(rwCTy* stream, size_t size)
{
    static constexpr uint8_t zeros[4096] = {};
    while (size > 0) {
        const size_t n = std::min(size, sizeof zeros);
        rwWrite(stream, zeros, n);
        size -= n;
    }
}

} // namespace

void imgRowCTy::WriteHeader(rwCTy* stream)
{
    imgCTy::WriteHeader(stream);
    for (uint32_t word : extra)
        rwWriteU32(stream, word);
}

void imgRowCTy::WriteBody(rwCTy* stream)
{
    // An image whose block could not be had still writes a whole record,
    // so that a reader finds the next object where the header says.
    if (pels)
        rwWrite(stream, pels, BodySize());
    else
        write_zeros(stream, BodySize());
}

int imgRowCTy::ReadHeader(rwCTy* stream)
{
    Free();
    rowPitch = 0;
    if (const int rc = imgCTy::ReadHeader(stream))
        return rc;
    // Empty while the rest is read, as in the base header.
    const int32_t w = width;
    const int32_t h = height;
    width = 0;
    height = 0;
    uint8_t words[sizeof extra];
    if (const int rc = rwRead(stream, words, sizeof words); rc < 0)
        return rc;
    std::memcpy(extra, words, sizeof extra);
    width = w;
    height = h;
    rowPitch = static_cast<uint32_t>(w);
    return 0;
}

int imgRowCTy::ReadBody(rwCTy* stream)
{
    Free();
    const size_t size = BodySize();
    // The size comes from the data: nothing is allocated for pels the stream
    // does not hold.
    if (size > gfxStreamLeft(stream)) {
        width = 0;
        height = 0;
        rowPitch = 0;
        return gfxFailShortRead(stream, size);
    }
    pels = static_cast<uint8_t*>(memAlloc(size));
    if (!pels)
        return ERR_NO_MEMORY;
    ownsPels = 1;
    inPlace = 0;
    rowPitch = static_cast<uint32_t>(width);
    return rwRead(stream, pels, size) < 0 ? ERR_END_OF_DATA : 0;
}

int imgRowCTy::ReadBodyInPlace(rwCTy* stream)
{
    Free();
    const size_t size = BodySize();
    if (size > gfxStreamLeft(stream)) {
        width = 0;
        height = 0;
        rowPitch = 0;
        return gfxFailShortRead(stream, size);
    }
    // The stream's buffer holds the pels; the image must not outlive it.
    inPlace = 1;
    ownsPels = 1;
    pels = stream->data ? stream->data + stream->position : nullptr;
    rowPitch = static_cast<uint32_t>(width);
    return 0;
}

int imgRowCTy::ReadInPlace(rwCTy* stream)
{
    if (const int rc = ReadHeader(stream))
        return rc;
    if (const int rc = ReadBodyInPlace(stream))
        return rc;
    return 1;
}
