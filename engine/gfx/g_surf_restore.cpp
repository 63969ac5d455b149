// Display surfaces: restoring lost surfaces and refilling them from their
// restore source, making them anew in another memory, and the direct
// writes of bitmaps and sprite-set frames that the refills use.
#include "engine/gfx/display_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace dsp = platform::display;

namespace {

// Restore may draw, and a draw may find the surface lost again; the flag
// turns that second loss into a quiet failure instead of a recursion.
class RestoringGuard {
public:
    explicit RestoringGuard(uint32_t& flag) : flag_(flag) { flag_ = 1; }
    ~RestoringGuard() { flag_ = 0; }
    RestoringGuard(const RestoringGuard&) = delete;
    RestoringGuard& operator=(const RestoringGuard&) = delete;

private:
    uint32_t& flag_;
};

// A refill draws from the restore source, and a draw ends by unlocking its
// source. When the source is locked already (a draw of it onto this
// surface is under way, and locking this surface found it lost), its lock
// is taken again once the refill is done, so that the draw goes on.
class SourceLockKeeper {
public:
    explicit SourceLockKeeper(imgCTy* source)
        : source_(source && source->lockPtr ? source : nullptr),
          rect_(source ? source->lockRect : rectTy {}),
          mode_(source ? source->lockMode : 0)
    {
    }
    ~SourceLockKeeper()
    {
        if (source_ && !source_->lockPtr)
            (void)source_->Lock(&rect_, mode_);
    }
    SourceLockKeeper(const SourceLockKeeper&) = delete;
    SourceLockKeeper& operator=(const SourceLockKeeper&) = delete;

private:
    imgCTy* source_;
    rectTy rect_;
    uint32_t mode_;
};

uint8_t* pel_at(const gSurfDxdCTy& s, int32_t x, int32_t y, uint32_t bytes)
{
    return static_cast<uint8_t*>(s.lockPtr) + (ptrdiff_t {y} * s.pitch + x) * ptrdiff_t(bytes);
}

void store_pel(uint8_t* at, uint32_t pel, uint32_t bytes) { std::memcpy(at, &pel, bytes); }

} // namespace

int gSurfDxdCTy::Restore()
{
    if (!surface)
        return 0;
    if (!surface->is_lost())
        return 1;
    if (restoring)
        return 0;
    RestoringGuard guard(restoring);

    for (int attempt = 0;; ++attempt) {
        if (attempt >= g_RETRY_LIMIT)
            return 0;
        const dsp::Result r = surface->restore();
        if (r == dsp::ok)
            break;
        if (r == dsp::implicit_surface) {
            // A chain's back buffer comes back with its primary.
            gSurfDxdCTy* owner = gMode.device ? gMode.device->primary : nullptr;
            return owner && owner != this ? owner->Restore() : 0;
        }
        if (r == dsp::wrong_mode || r == dsp::out_of_video_memory) {
            if (isPrimary || !Recreate())
                return 0;
            break;
        }
        gReportResult(r);
    }

    const bool wasLocked = lockPtr != nullptr;
    const rectTy lockedRect = lockRect;
    const uint32_t lockedMode = lockMode;
    if (wasLocked) {
        imgCTy::Unlock();
        (void)surface->unlock();
    }
    ReadPelFmt();
    if (keyFlag) {
        (void)surface->fill(nullptr, keyPel);
        SetColorKeyPel(keyPel);
    }

    const SourceLockKeeper keeper(
        restoreKind == g_RESTORE_IMAGE || restoreKind == g_RESTORE_SCALED ? restoreSrc : nullptr);
    switch (restoreKind) {
    case g_RESTORE_BMP:
        if (bmpInfoTy* bmp = bmpLoad(restoreFile, restoreBmpArgs[0], restoreBmpArgs[1], restoreBmpArgs[2],
                                     restoreBmpArgs[3])) {
            DrawBitmap(bmp, 0, 0);
            memFree(bmp);
        }
        break;
    case g_RESTORE_FRAME:
        if (sprFileCTy* file = sprFileOpen(restoreFile)) {
            sprFrameTy frame;
            if (sprFileGetFrame(file, restoreFrame, &frame) == 0)
                DrawFrame(&frame, -frame.hotX, -frame.hotY);
            sprFileClose(file);
        }
        break;
    case g_RESTORE_IMAGE:
        if (restoreSrc) {
            if (restoreSrc->keyFlag)
                Fill(SetColorKey(restoreSrc->keyColor), nullptr);
            restoreSrc->DrawEx(this, restoreX, restoreY, restoreHasRect ? &restoreRect : nullptr, imgDrawPrmCTy {});
        }
        break;
    case g_RESTORE_SCALED:
        if (restoreSrc) {
            if (restoreSrc->keyFlag)
                Fill(SetColorKey(restoreSrc->keyColor), nullptr);
            const rectTy source = restoreSrc->GetRect();
            if (source.w < 1 || source.h < 1)
                break;
            const bool plain = restoreScaleX == 1.0f && restoreScaleY == 1.0f;
            // This surface's rectangle, kept inside the (scaled) source so
            // that no draw reads past the source's pels.
            const int32_t sw = plain ? source.w : static_cast<int32_t>(float(source.w) * restoreScaleX);
            const int32_t sh = plain ? source.h : static_cast<int32_t>(float(source.h) * restoreScaleY);
            const rectTy r {originX, originY, std::min(width, sw), std::min(height, sh)};
            if (r.w < 1 || r.h < 1)
                break;
            if (plain) {
                if (restoreMirror)
                    restoreSrc->DrawMirrorH(this, 0, 0, &r);
                else
                    restoreSrc->Draw(this, 0, 0, &r);
            } else {
                const imgDrawPrmCTy prm {
                    .op = img_OP_SCALED, .scaled = 1, .scaleX = restoreScaleX, .scaleY = restoreScaleY};
                if (restoreMirror)
                    restoreSrc->DrawExMirrorH(this, 0, 0, &r, prm);
                else
                    restoreSrc->DrawEx(this, 0, 0, &r, prm);
            }
        }
        break;
    default:
        break;
    }

    if (wasLocked)
        Lock(&lockedRect, lockedMode);
    return 1;
}

int gSurfDxdCTy::Recreate()
{
    if (!surface || !gDisplay || !ownsSurface)
        return 0;
    dsp::SurfaceDesc desc = surface->desc();
    delete surface;
    surface = nullptr;

    std::unique_ptr<dsp::Surface> made;
    dsp::Result r = dsp::ok;
    for (int attempt = 0; attempt < g_RETRY_LIMIT; ++attempt) {
        r = gDisplay->create_surface(desc, made);
        if (r != dsp::out_of_video_memory)
            break;
        // Step down: card memory, then memory the card reaches over the
        // bus, then system memory; a failure there is final.
        uint32_t& caps = desc.caps;
        if (caps & dsp::caps::system_memory)
            break;
        if (caps & dsp::caps::local_video)
            caps = (caps & ~dsp::caps::local_video) | dsp::caps::nonlocal_video;
        else
            caps = (caps & ~(dsp::caps::nonlocal_video | dsp::caps::video_memory)) | dsp::caps::system_memory;
    }
    if (r != dsp::ok) {
        gReportResult(r);
        return 0;
    }
    if (!made) {
        gReportResult(dsp::unsupported);
        return 0;
    }
    Adopt(made.release(), true);
    return 1;
}

void gSurfDxdCTy::SetRestoreBmp(const char* name, int32_t x, int32_t y, int32_t w, int32_t h)
{
    memFree(restoreFile);
    restoreFile = name ? memStrDup(name) : nullptr;
    restoreBmpArgs[0] = x;
    restoreBmpArgs[1] = y;
    restoreBmpArgs[2] = w;
    restoreBmpArgs[3] = h;
    restoreKind = g_RESTORE_BMP;
}

void gSurfDxdCTy::SetRestoreFrame(const char* name, uint32_t index)
{
    memFree(restoreFile);
    restoreFile = name ? memStrDup(name) : nullptr;
    restoreFrame = index;
    restoreKind = g_RESTORE_FRAME;
}

void gSurfDxdCTy::SetRestoreImage(imgCTy* source, const rectTy* rect, int32_t x, int32_t y)
{
    memFree(restoreFile);
    restoreFile = nullptr;
    restoreSrc = source;
    restoreHasRect = rect ? 1 : 0;
    restoreRect = rect ? *rect : rectTy {0, 0, 0, 0};
    restoreX = x;
    restoreY = y;
    restoreKind = g_RESTORE_IMAGE;
}

void gSurfDxdCTy::SetRestoreScaled(imgCTy* source, float scaleX, float scaleY, uint32_t mirror)
{
    memFree(restoreFile);
    restoreFile = nullptr;
    restoreSrc = source;
    restoreScaleX = scaleX;
    restoreScaleY = scaleY;
    restoreMirror = mirror;
    restoreKind = g_RESTORE_SCALED;
}

void gSurfDxdCTy::DrawBitmap(const bmpInfoTy* bmp, int32_t x, int32_t y)
{
    if (!bmp || !surface || bmp->biWidth <= 0 || bmp->biHeight == 0)
        return;
    const int32_t w = bmp->biWidth;
    const int32_t h = std::abs(bmp->biHeight);
    const bool bottomUp = bmp->biHeight > 0;
    const uint8_t* bits = bmpBits(bmp);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(bmpStride(bmp));
    auto row_of = [&](int32_t r) { return bits + (bottomUp ? ptrdiff_t {h - 1 - r} : ptrdiff_t {r}) * stride; };

    if (bmp->biBitCount == 24) {
        platform::display::Dc* dc = GetDC();
        if (!dc)
            return;
        if (bottomUp) {
            dc->set_dibits24(x, y, w, h, bits);
        } else {
            for (int32_t r = 0; r < h; ++r)
                dc->set_dibits24(x, y + r, w, 1, row_of(r));
        }
        ReleaseDC(dc);
        return;
    }
    if (bmp->biBitCount != 8)
        return;

    // Colours of the table as screen pels; indexes past the table are
    // black.
    const auto* table = reinterpret_cast<const uint8_t*>(bmp) + bmp->biSize;
    const uint32_t count = std::min<uint32_t>(bmpPalColors(bmp), 256);
    const uint32_t bytes = pelSize(pelFmt.format);
    uint32_t pels[256] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t b = table[i * 4], g = table[i * 4 + 1], r = table[i * 4 + 2];
        pels[i] = bytes == 2 ? gRgbToScr(r | g << 8 | b << 16) : ColorToPel(0xFF000000u | r << 16 | g << 8 | b);
    }
    Lock(nullptr, img_LOCK_RW);
    if (!lockPtr)
        return;
    for (int32_t r = 0; r < h; ++r) {
        const int32_t dy = y + r;
        if (dy < 0 || dy >= height)
            continue;
        const uint8_t* src = row_of(r);
        for (int32_t c = 0; c < w; ++c) {
            const int32_t dx = x + c;
            if (dx < 0 || dx >= width)
                continue;
            store_pel(pel_at(*this, dx, dy, bytes), bytes == 1 ? src[c] : pels[src[c]], bytes);
        }
    }
    Unlock();
}

void gSurfDxdCTy::DrawFrame(const sprFrameTy* frame, int32_t x, int32_t y)
{
    if (!frame || !surface)
        return;
    const uint32_t bytes = pelSize(pelFmt.format);
    if (bytes != 1 && bytes != 2)
        return;
    Lock(nullptr, img_LOCK_RW);
    if (!lockPtr)
        return;
    for (int32_t r = 0; r < frame->height; ++r) {
        const int32_t dy = y + r;
        if (dy < 0 || dy >= height)
            continue;
        auto put = [&](int32_t p, uint8_t index) {
            const int32_t dx = x + p;
            if (p < frame->width && dx >= 0 && dx < width)
                store_pel(pel_at(*this, dx, dy, bytes), bytes == 1 ? index : frame->palette[index], bytes);
        };
        // The file's rows were checked to cover the width inside the file.
        const uint8_t* code = sprFrameRow(frame, r);
        for (int32_t p = 0; p < frame->width;) {
            const uint8_t b = *code++;
            const int32_t n = b & 63;
            if (b < 0x80) {
                p += b;
            } else if (b < 0xC0) {
                for (int32_t k = 0; k < n; ++k)
                    put(p + k, code[k]);
                code += n;
                p += n;
            } else {
                const uint8_t value = *code++;
                for (int32_t k = 0; k < n; ++k)
                    put(p + k, value);
                p += n;
            }
        }
    }
    Unlock();
}
