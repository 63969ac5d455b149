// The image interface: construction, the lock protocol, colour keys,
// palettes, the size limit and the class-name registrations of the image
// classes.
#include "engine/gfx/gfx_internal.h"

void imgRegisterClasses()
{
    rwObjRegisterClass("imgRowCTy", imgRowCreate);
    rwObjRegisterClass("imgAlpha", imgAlphaCreate);
    rwObjRegisterClass("imgRle8CTy", imgRle8Create);
}

bool imgBlockSize(int64_t w, int64_t h, uint32_t bytesPerPel, size_t* bytes)
{
    if (w < 0 || h < 0 || w > img_MAX_SIDE || h > img_MAX_SIDE)
        return false;
    // Both sides are at most 2^15, so the product of three fits 64 bits.
    const uint64_t total = uint64_t(w) * uint64_t(h) * bytesPerPel;
    if (total > img_MAX_BYTES)
        return false;
    *bytes = static_cast<size_t>(total);
    return true;
}

std::string imgBlockRefusal(int64_t w, int64_t h, uint32_t bytesPerPel)
{
    // The sides first: a picture past them is what a player can mend.
    const std::string side = std::to_string(img_MAX_SIDE);
    if (w > img_MAX_SIDE)
        return "the picture is " + std::to_string(w) + " pels wide, at most " + side;
    if (h > img_MAX_SIDE)
        return "the picture is " + std::to_string(h) + " pels high, at most " + side;
    return "the picture is " + std::to_string(w) + " x " + std::to_string(h) + " pels of " + std::to_string(bytesPerPel)
        + " bytes, more than " + std::to_string(img_MAX_BYTES) + " bytes";
}

imgCTy::imgCTy(const imgCTy& other)
    : rwObjCTy(other), kind(other.kind), pelFmt(other.pelFmt), width(other.width), height(other.height),
      keyFlag(other.keyFlag), keyColor(other.keyColor), keyPel(other.keyPel)
{
}

rectTy* imgCTy::GetLockRect(const rectTy* rect, rectTy* out, uint32_t)
{
    *out = rect ? *rect : rectTy { 0, 0, width, height };
    return out;
}

uint32_t imgCTy::SetColorKeyPel(uint32_t pel)
{
    keyPel = pel;
    keyFlag = 1;
    keyColor = pelFmt.PelToColor(pel, pel_FMT_X8R8G8B8);
    return keyColor;
}

uint32_t imgCTy::SetColorKey(uint32_t colour)
{
    keyColor = colour;
    keyFlag = 1;
    keyPel = pelFmt.ColorToPel(colour, pel_FMT_X8R8G8B8);
    return keyPel;
}

int32_t imgCTy::Lock(const rectTy* rect, uint32_t mode)
{
    if (!lockPtr) {
        GetLockRect(rect, &lockRect, mode);
        lockMode = mode;
    }
    return pitch;
}

void imgCTy::Unlock() { lockPtr = nullptr; }

void imgCTy::Combine(imgCTy* a, uint32_t, uint32_t, uint32_t, imgCTy* b, imgCTy* c)
{
    imgCTy* const images[4] = { this, a, b, c };
    for (imgCTy* img : images) {
        if (img)
            img->Lock(nullptr, img_LOCK_RW);
    }
    for (int i = 3; i >= 0; --i) {
        if (images[i])
            images[i]->Unlock();
    }
}

rectTy imgCTy::GetRect() { return rectTy { 0, 0, width, height }; }

void imgCTy::SetSize(int32_t w, int32_t h, const pelFmtCTy*)
{
    width = w;
    height = h;
}

uint32_t imgCTy::ColorToPel(uint32_t colour) const { return pelFmt.ColorToPel(colour, pel_FMT_X8R8G8B8); }

void imgCTy::FillRgb(uint32_t colour, const rectTy* rect) { Fill(ColorToPel(colour), rect); }

void imgCTy::SetPalette(const palCTy* pal)
{
    pelFmt.SetPalette(pal);
    if (keyFlag)
        keyPel = ColorToPel(keyColor);
}

void imgCTy::AttachPalette(palCTy* pal)
{
    pelFmt.AttachPalette(pal);
    if (keyFlag)
        keyPel = ColorToPel(keyColor);
}
