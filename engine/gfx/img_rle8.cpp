// The RLE8 image's storage: construction, copies, the lock that decodes
// the rows into a buffer and the unlock that encodes them again, and the
// draw entries that the RLE8 drawing code supplies.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

imgRle8DrawsTy installed_draws;

// True when the draw is supplied and has a destination; otherwise reports
// `text`. A palettised destination is the supplied draw's to refuse, inside
// its lock bracket.
bool drawable(imgCTy* destination, bool supplied, const char* text)
{
    if (supplied && destination)
        return true;
    gfxReportNotImpl(text);
    return false;
}

} // namespace

imgRle8DrawsTy imgRle8SetDraws(const imgRle8DrawsTy& draws)
{
    const imgRle8DrawsTy before = installed_draws;
    installed_draws = draws;
    return before;
}

rwObjCTy* imgRle8Create()
{
    auto* image = new (std::nothrow) imgRle8CTy;
    if (!image)
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
    return image;
}

imgRle8CTy::imgRle8CTy()
{
    kind = img_KIND_RLE8;
    pelFmt.format = pel_FMT_P8;
}

imgRle8CTy::imgRle8CTy(const imgRle8CTy& other) : imgCTy(other), box(other.box)
{
    offsetsInHeader = 1;
    if (other.rowCount <= 0 || !other.rows)
        return;
    std::vector<uint32_t> lengths(static_cast<size_t>(other.rowCount));
    size_t total = 0;
    for (int32_t r = 0; r < other.rowCount; ++r)
        total += lengths[static_cast<size_t>(r)] = rle8RowLength(&other, r);
    if (!rle8MakeRows(this, other.rowCount, total))
        return;
    size_t at = 0;
    for (int32_t r = 0; r < rowCount; ++r) {
        const uint32_t length = lengths[static_cast<size_t>(r)];
        if (length == 0)
            continue;
        rows[r] = rowBlock + at;
        std::memcpy(rows[r], other.rows[r], length);
        at += length;
    }
}

imgRle8CTy::~imgRle8CTy()
{
    Free();
    memFree(decodeBuf);
}

bool rle8MakeRows(imgRle8CTy* image, int32_t count, size_t blockSize)
{
    image->Free();
    if (count <= 0)
        return true;
    image->rows = static_cast<uint8_t**>(memAllocZ(sizeof(uint8_t*) * static_cast<size_t>(count)));
    if (!image->rows)
        return false;
    if (blockSize > 0) {
        image->rowBlock = static_cast<uint8_t*>(memAlloc(blockSize));
        if (!image->rowBlock) {
            image->Free();
            return false;
        }
    }
    image->rowCount = count;
    return true;
}

void imgRle8CTy::Free()
{
    // In place, the rows lie in a stream's buffer and rowBlock is null.
    memFree(rowBlock);
    rowBlock = nullptr;
    memFree(rows);
    rows = nullptr;
    rowCount = 0;
    inPlace = 0;
    memFree(headerOffsets);
    headerOffsets = nullptr;
}

imgCTy* imgRle8CTy::Clone()
{
    auto* copy = new (std::nothrow) imgRle8CTy(*this);
    if (!copy)
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
    return copy;
}

rectTy imgRle8CTy::GetRect() { return box; }

rectTy* imgRle8CTy::GetLockRect(const rectTy*, rectTy* out, uint32_t)
{
    *out = { 0, 0, width, height };
    return out;
}

void imgRle8CTy::SetSize(int32_t w, int32_t h, const pelFmtCTy* format)
{
    if (format && format->format != pel_FMT_P8)
        gfxReportNotImpl("Unsupported pel's format");
    Free();
    if (w < 0 || h < 0) {
        width = 0;
        height = 0;
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return;
    }
    // Every lock decodes the whole picture at one byte a pel: the size is
    // held to the cap of the other image kinds.
    size_t bytes = 0;
    if (!imgBlockSize(w, h, 1, &bytes)) {
        width = 0;
        height = 0;
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return;
    }
    if (h > 0) {
        rows = static_cast<uint8_t**>(memAllocZ(sizeof(uint8_t*) * static_cast<size_t>(h)));
        rowCount = rows ? h : 0;
    }
    if (format && format->palette)
        SetPalette(format->palette);
    imgCTy::SetSize(w, h, nullptr);
}

int32_t imgRle8CTy::Lock(const rectTy* rect, uint32_t mode)
{
    // A second lock keeps the first one's buffer.
    if (decodeBuf)
        return pitch;
    imgCTy::Lock(rect, mode);
    size_t size = 0;
    if (!imgBlockSize(width, height, 1, &size)) {
        lockPtr = nullptr;
        return pitch;
    }
    decodeBuf = static_cast<uint8_t*>(memAlloc(size));
    if (!decodeBuf) {
        lockPtr = nullptr;
        return pitch;
    }
    pitch = width;
    const ptrdiff_t corner = rect ? static_cast<ptrdiff_t>(rect->y) * width + rect->x : 0;
    lockPtr = decodeBuf + corner;
    // Pels no row describes are the key. Without a key the rows cover the
    // whole image once written, but a record, a row without codes or a
    // SetSize can leave pels undescribed: they read as 0, not as whatever
    // the memory held.
    std::memset(decodeBuf, keyFlag ? static_cast<uint8_t>(keyPel) : 0, size);
    // Rows are decoded only where the box lies inside the image and the row
    // array reaches: between SetSize and the next writing unlock the box
    // belongs to the former size.
    const bool boxInside = box.x >= 0 && box.y >= 0 && box.w >= 0 && box.h >= 0
        && int64_t { box.x } + box.w <= width && int64_t { box.y } + box.h <= height;
    if (!boxInside || !rows)
        return pitch;
    for (int32_t r = 0; r < box.h && r < rowCount; ++r) {
        if (rows[r])
            rle8DecodeRow(rows[r], 0, box.w, decodeBuf + static_cast<ptrdiff_t>(box.y + r) * width + box.x);
    }
    return pitch;
}

void imgRle8CTy::Unlock()
{
    imgCTy::Unlock();
    if (!decodeBuf)
        return;
    if (lockMode != img_LOCK_READ) {
        // Rows that lay in a stream's buffer are not released; the new ones
        // are the image's own.
        Free();
        if (keyFlag) {
            box = rle8FindOpaqueBox(decodeBuf, width, width, height, static_cast<uint8_t>(keyPel));
        } else {
            box = { 0, 0, width, height };
            keyPel = rle8_NO_KEY;
        }
        // Every row's codes go into one buffer, then into the one block:
        // a tall picture costs two allocations, not one per row.
        std::vector<uint8_t> codes;
        std::vector<size_t> starts(static_cast<size_t>(std::max(box.h, 0)) + 1);
        for (int32_t r = 0; r < box.h; ++r) {
            starts[static_cast<size_t>(r)] = codes.size();
            (void)rle8AppendRow(codes, decodeBuf + static_cast<ptrdiff_t>(box.y + r) * width + box.x, box.w, keyPel);
        }
        starts.back() = codes.size();
        if (rle8MakeRows(this, box.h, codes.size())) {
            if (!codes.empty())
                std::memcpy(rowBlock, codes.data(), codes.size());
            for (int32_t r = 0; r < rowCount; ++r) {
                const size_t i = static_cast<size_t>(r);
                rows[r] = starts[i + 1] > starts[i] ? rowBlock + starts[i] : nullptr;
            }
        }
    }
    memFree(decodeBuf);
    decodeBuf = nullptr;
}

void imgRle8CTy::Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect)
{
    if (drawable(destination, installed_draws.draw, "imgRle8CTy::Draw: This is not impelmetned yet"))
        installed_draws.draw(this, destination, x, y, rect);
}

void imgRle8CTy::DrawMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect)
{
    if (drawable(destination, installed_draws.drawMirrorH, "imgRle8CTy::DrawMirrorH: This is not impelmetned yet"))
        installed_draws.drawMirrorH(this, destination, x, y, rect);
}

void imgRle8CTy::DrawExMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                               const imgDrawPrmCTy& prm)
{
    if (drawable(destination, installed_draws.drawExMirrorH,
                 "imgRle8CTy::DrawExMirrorH: This is not impelmetned yet"))
        installed_draws.drawExMirrorH(this, destination, x, y, rect, prm);
}

void imgRle8CTy::DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm)
{
    if (drawable(destination, installed_draws.drawEx, "imgRle8CTy::DrawEx: This is not impelmetned yet"))
        installed_draws.drawEx(this, destination, x, y, rect, prm);
}

void imgRle8CTy::DrawAlpha(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, float opacity)
{
    if (drawable(destination, installed_draws.drawAlpha, "imgRle8CTy::Draw: This is not impelmetned yet"))
        installed_draws.drawAlpha(this, destination, x, y, rect, opacity);
}
