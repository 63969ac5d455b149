// The image header in legacy object streams (little-endian u32 words):
// width, height, key flag, [key colour, key pel when keyed], then the pel
// format record (format code, palette kind, palette record for kind 1).
#include "engine/gfx/gfx_internal.h"

void imgCTy::Write(rwCTy* stream)
{
    WriteHeader(stream);
    WriteBody(stream);
}

void imgCTy::Read(rwCTy* stream)
{
    // A header that could not be read leaves nothing to read a body for.
    if (ReadHeader(stream) == 0)
        (void)ReadBody(stream);
}

void imgCTy::WriteHeader(rwCTy* stream)
{
    rwWriteU32(stream, static_cast<uint32_t>(width));
    rwWriteU32(stream, static_cast<uint32_t>(height));
    rwWriteU32(stream, keyFlag);
    if (keyFlag) {
        rwWriteU32(stream, keyColor);
        rwWriteU32(stream, keyPel);
    }
    pelFmt.Write(stream);
}

int imgCTy::ReadHeader(rwCTy* stream)
{
    // Empty until the whole header is in: a report inside a TRY frame does
    // not come back, and must not leave a size that nothing backs.
    width = 0;
    height = 0;
    uint32_t w, h, flag, colour = 0, pel = 0;
    if (const int rc = gfxReadU32(stream, &w))
        return rc;
    if (const int rc = gfxReadU32(stream, &h))
        return rc;
    if (const int rc = gfxReadU32(stream, &flag))
        return rc;
    if (flag) {
        if (const int rc = gfxReadU32(stream, &colour))
            return rc;
        if (const int rc = gfxReadU32(stream, &pel))
            return rc;
    }
    // Sizes are i32 in memory: the top bit set is no size.
    if (w > INT32_MAX || h > INT32_MAX) {
        gfxReportDataError();
        return ERR_DATA;
    }
    if (const int rc = pelFmt.Read(stream))
        return rc;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    keyFlag = flag ? 1 : 0;
    if (flag) {
        keyColor = colour;
        keyPel = pel;
    }
    return 0;
}

void imgCTy::WriteBody(rwCTy*) {}

int imgCTy::ReadBody(rwCTy*) { return 0; }

int imgCTy::ReadInPlace(rwCTy*) { return 0; }

int imgCTy::ReadBodyInPlace(rwCTy*) { return 0; }
