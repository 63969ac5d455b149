// Pel format records: palette ownership and the stream form.
#include "engine/gfx/gfx_internal.h"

#include <memory>
#include <new>

namespace {

// A new palette holding a copy of `source`; the shared placeholder stays
// itself (it stands for a palette the image set has not attached yet).
palCTy* copy_of(palCTy* source)
{
    if (!source || source == palSharedPlaceholder())
        return source;
    auto* copy = new (std::nothrow) palCTy;
    if (!copy) {
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return nullptr;
    }
    copy->Copy(source);
    return copy;
}

} // namespace

pelFmtCTy::pelFmtCTy(const pelFmtCTy& other) : format(other.format)
{
    palette = copy_of(other.palette);
    ownsPal = palette && palette != palSharedPlaceholder() ? 1 : 0;
}

pelFmtCTy& pelFmtCTy::operator=(const pelFmtCTy& other)
{
    if (&other == this)
        return *this;
    format = other.format;
    ClearPalette();
    palette = copy_of(other.palette);
    ownsPal = palette && palette != palSharedPlaceholder() ? 1 : 0;
    return *this;
}

pelFmtCTy::~pelFmtCTy() { ClearPalette(); }

void pelFmtCTy::ClearPalette()
{
    if (ownsPal)
        delete palette;
    palette = nullptr;
    ownsPal = 0;
}

void pelFmtCTy::SetPalette(const palCTy* pal)
{
    if (!pal) {
        ClearPalette();
        return;
    }
    if (ownsPal && palette) {
        palette->Copy(pal);
        return;
    }
    auto* own = new (std::nothrow) palCTy;
    if (!own) {
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return;
    }
    own->Copy(pal);
    palette = own;
    ownsPal = 1;
}

void pelFmtCTy::AttachPalette(palCTy* pal)
{
    ClearPalette();
    palette = pal;
}

void* pelFmtCTy::GetPalTbl(uint32_t tableFormat)
{
    if (!palette)
        return nullptr;
    palette->BuildTbl(tableFormat);
    return palette->tableFmt == tableFormat ? palette->table : nullptr;
}

void pelFmtCTy::Write(rwCTy* stream) const
{
    rwWriteU32(stream, format);
    if (!palette) {
        rwWriteU32(stream, pal_KIND_NONE);
    } else if (!ownsPal) {
        rwWriteU32(stream, pal_KIND_SHARED);
    } else {
        rwWriteU32(stream, pal_KIND_OWN);
        palette->Write(stream);
    }
}

int pelFmtCTy::Read(rwCTy* stream)
{
    uint32_t code;
    uint32_t kind;
    if (const int rc = gfxReadU32(stream, &code))
        return rc;
    if (code >= pel_FMT_COUNT) {
        gfxReportDataError();
        return ERR_DATA;
    }
    if (const int rc = gfxReadU32(stream, &kind))
        return rc;
    switch (kind) {
    case pal_KIND_NONE:
        ClearPalette();
        break;
    case pal_KIND_OWN: {
        auto own = std::unique_ptr<palCTy>(new (std::nothrow) palCTy);
        if (!own) {
            dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
            return ERR_NO_MEMORY;
        }
        if (const int rc = own->Read(stream))
            return rc;
        ClearPalette();
        palette = own.release();
        ownsPal = 1;
        break;
    }
    case pal_KIND_SHARED:
        ClearPalette();
        palette = palSharedPlaceholder();
        break;
    default:
        // The format is still taken: the record's pels are of that format
        // whatever became of the palette.
        format = code;
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "Unknow palette kind: %d", static_cast<int>(kind)));
        return 0;
    }
    format = code;
    return 0;
}
