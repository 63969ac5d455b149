// The alpha image: runs of transparent, translucent and opaque pels, one
// alpha byte per translucent pel and one packed colour per visible pel;
// decoded into 32-bit A8R8G8B8 pels while locked, encoded again at unlock.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

imgAlphaDrawsTy alpha_draws; // constant-initialised: empty until installed

uint32_t channel(uint32_t pel, int i) { return (pel >> (8 * i)) & 0xFF; }

// Packs the B, G, R of `pel` (and for the 4-byte format the whole pel).
void pack_colour(std::vector<uint8_t>& out, uint32_t format, uint32_t pel)
{
    const uint8_t bgr[3] = { uint8_t(pel), uint8_t(pel >> 8), uint8_t(pel >> 16) };
    switch (format) {
    case pel_FMT_R8G8B8:
        out.insert(out.end(), bgr, bgr + 3);
        break;
    case pel_FMT_X8R8G8B8:
        out.insert(out.end(), { bgr[0], bgr[1], bgr[2], uint8_t(pel >> 24) });
        break;
    case pel_FMT_R5G6B5:
    case pel_FMT_X1R5G5B5: {
        uint16_t packed = 0;
        if (format == pel_FMT_R5G6B5)
            pelSet565(&packed, bgr);
        else
            pelSet555(&packed, bgr);
        out.insert(out.end(), { uint8_t(packed), uint8_t(packed >> 8) });
        break;
    }
    default:
        break;
    }
}

// The colour at `p` as a colour value with alpha 255.
uint32_t unpack_colour(const uint8_t* p, uint32_t format)
{
    uint32_t colour = 0;
    switch (format) {
    case pel_FMT_R8G8B8:
    case pel_FMT_X8R8G8B8:
        return 0xFF000000u | uint32_t { p[2] } << 16 | uint32_t { p[1] } << 8 | p[0];
    case pel_FMT_R5G6B5:
        pel565ToColor(&colour, static_cast<uint16_t>(p[0] | p[1] << 8));
        return colour;
    case pel_FMT_X1R5G5B5:
        pel555ToColor(&colour, static_cast<uint16_t>(p[0] | p[1] << 8));
        return colour;
    default:
        return 0xFF000000u;
    }
}

template <class T>
T* copy_out(const std::vector<T>& v)
{
    if (v.empty())
        return nullptr;
    auto* block = static_cast<T*>(memAlloc(v.size() * sizeof(T)));
    if (block)
        std::memcpy(block, v.data(), v.size() * sizeof(T));
    return block;
}

} // namespace

bool imgAlphaColorFmtValid(uint32_t format)
{
    return format == pel_FMT_R8G8B8 || format == pel_FMT_X8R8G8B8 || format == pel_FMT_R5G6B5
        || format == pel_FMT_X1R5G5B5;
}

imgAlphaDrawsTy imgAlphaSetDraws(const imgAlphaDrawsTy& draws)
{
    const imgAlphaDrawsTy previous = alpha_draws;
    alpha_draws = draws;
    return previous;
}

rwObjCTy* imgAlphaCreate()
{
    auto* image = new (std::nothrow) imgAlpha;
    if (!image)
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
    return image;
}

imgAlpha::imgAlpha()
{
    kind = img_KIND_ALPHA;
    pelFmt.format = pel_FMT_A8R8G8B8;
    keyColor = 0xFF000000u; // B, G, R 0 and A 255
}

imgAlpha::~imgAlpha()
{
    Free();
    memFree(lockBuf);
}

void imgAlpha::Free()
{
    memFree(runs);
    memFree(alphas);
    memFree(colors);
    runs = nullptr;
    alphas = nullptr;
    colors = nullptr;
    runCount = 0;
    alphaCount = 0;
    colorCount = 0;
}

rectTy* imgAlpha::GetLockRect(const rectTy*, rectTy* out, uint32_t)
{
    *out = rectTy { 0, 0, width, height };
    return out;
}

rectTy imgAlpha::GetRect() { return box; }

imgCTy* imgAlpha::Clone() { return nullptr; }

void imgAlpha::SetSize(int32_t w, int32_t h, const pelFmtCTy* format)
{
    // Runs of another size no longer cover the picture.
    Free();
    box = rectTy { 0, 0, 0, 0 };
    size_t bytes = 0;
    if (!imgBlockSize(w, h, 4, &bytes)) {
        width = 0;
        height = 0;
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return;
    }
    imgCTy::SetSize(w, h, nullptr);
    if (format && format->format != pel_FMT_R8G8B8 && format->format != pel_FMT_A8R8G8B8)
        gfxReportNotImpl("imgAlpha::SetSize: Only pel_FMT_R8G8B8, pel_FMT_A8R8G8B8 available");
}

uint32_t imgAlpha::SetColorKey(uint32_t colour)
{
    if (keyFlag && keyColor == colour)
        return keyPel;
    keyFlag = 1;
    keyColor = colour;
    if (runCount) {
        // Decoding and encoding again turns pels of the key into transparent ones.
        Lock(nullptr, img_LOCK_RW);
        Unlock();
    }
    return keyPel;
}

int32_t imgAlpha::Lock(const rectTy* rect, uint32_t mode)
{
    if (lockBuf)
        return pitch; // already locked: the first lock stays
    imgCTy::Lock(rect, mode);
    size_t bytes = 0;
    if (!imgBlockSize(width, height, 4, &bytes) || bytes == 0)
        return pitch;
    lockBuf = static_cast<uint32_t*>(memAllocZ(bytes));
    if (!lockBuf)
        return pitch;
    pitch = width;
    lockPtr = rect ? lockBuf + (size_t(rect->y) * size_t(width) + size_t(rect->x)) : lockBuf;
    if (runCount && (mode == img_LOCK_RW || mode == img_LOCK_READ))
        Decode(lockBuf);
    return pitch;
}

void imgAlpha::Unlock()
{
    if (lockBuf && lockMode != img_LOCK_READ)
        Encode(lockBuf);
    memFree(lockBuf);
    lockBuf = nullptr;
    imgCTy::Unlock();
}

void imgAlpha::Decode(uint32_t* out) const
{
    const size_t total = size_t(width) * size_t(height);
    const uint32_t clear = keyColor & 0x00FFFFFF;
    const size_t colourBytes = pelSize(colorFmt);
    size_t pos = 0, nextAlpha = 0, nextColour = 0;
    // ReadBody and the encoder keep the runs summing to the picture and the
    // counts matching the runs; the bounds below only guard the walk.
    for (uint32_t r = 0; r < runCount && pos < total; ++r) {
        const uint32_t type = runs[r] & 3;
        const size_t end = std::min(total, pos + (runs[r] >> 2));
        for (; pos < end; ++pos) {
            if (type == alpha_RUN_TRANSPARENT || nextColour >= colorCount) {
                out[pos] = clear;
                continue;
            }
            uint32_t colour = unpack_colour(colors + nextColour++ * colourBytes, colorFmt);
            if (type == alpha_RUN_TRANSLUCENT && nextAlpha < alphaCount) {
                const uint32_t s = alphas[nextAlpha++];
                if (premultiplied) {
                    const uint32_t a = 255 - s; // never 0: ReadBody refuses 255
                    uint32_t unscaled = 0;
                    for (int i = 0; i < 3; ++i)
                        unscaled |= std::min<uint32_t>(channel(colour, i) * 256 / std::max<uint32_t>(a, 1), 255) << (8 * i);
                    colour = a << 24 | unscaled;
                } else {
                    colour = s << 24 | (colour & 0x00FFFFFF);
                }
            }
            out[pos] = colour;
        }
    }
}

void imgAlpha::Encode(const uint32_t* in)
{
    const size_t total = size_t(width) * size_t(height);
    const uint32_t key = keyColor & 0x00FFFFFF;
    auto type_of = [&](uint32_t pel) -> uint32_t {
        const uint32_t a = pel >> 24;
        if ((keyFlag && (pel & 0x00FFFFFF) == key) || a == 0)
            return alpha_RUN_TRANSPARENT;
        return a < 255 ? alpha_RUN_TRANSLUCENT : alpha_RUN_OPAQUE;
    };
    // The un-blend step takes back translucent pels that were blended over
    // the background: the colour of the first transparent pel (black when
    // there is none).
    uint32_t background = 0;
    if (unblend)
        for (size_t i = 0; i < total; ++i)
            if (type_of(in[i]) == alpha_RUN_TRANSPARENT) {
                background = in[i];
                break;
            }

    std::vector<uint16_t> newRuns;
    std::vector<uint8_t> newAlphas, newColours;
    int32_t x0 = width, y0 = height, x1 = -1, y1 = -1;
    uint32_t runType = total ? type_of(in[0]) : 0, runLength = 0;
    for (size_t i = 0; i < total; ++i) {
        const uint32_t pel = in[i];
        const uint32_t type = type_of(pel);
        if (type != runType || runLength == alpha_RUN_MAX) {
            newRuns.push_back(static_cast<uint16_t>(runLength << 2 | runType));
            runType = type;
            runLength = 0;
        }
        ++runLength;
        if (type == alpha_RUN_TRANSPARENT)
            continue;
        const int32_t x = int32_t(i % size_t(width)), y = int32_t(i / size_t(width));
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
        if (type == alpha_RUN_OPAQUE) {
            pack_colour(newColours, colorFmt, pel);
            continue;
        }
        const uint32_t a = pel >> 24;
        uint32_t stored = 0;
        for (int c = 0; c < 3; ++c) {
            int32_t v = int32_t(channel(pel, c));
            if (unblend)
                v = std::clamp((v * 255 - int32_t(channel(background, c)) * int32_t(255 - a)) / int32_t(a), 0, 255);
            if (premultiplied)
                v = v * int32_t(a) / 256;
            stored |= uint32_t(v) << (8 * c);
        }
        newAlphas.push_back(static_cast<uint8_t>(premultiplied ? 255 - a : a));
        pack_colour(newColours, colorFmt, stored);
    }
    if (total)
        newRuns.push_back(static_cast<uint16_t>(runLength << 2 | runType));

    Free();
    runs = copy_out(newRuns);
    alphas = copy_out(newAlphas);
    colors = copy_out(newColours);
    if ((!newRuns.empty() && !runs) || (!newAlphas.empty() && !alphas) || (!newColours.empty() && !colors)) {
        Free(); // memAlloc reported it; an image without runs is empty
    } else {
        runCount = static_cast<uint32_t>(newRuns.size());
        alphaCount = static_cast<uint32_t>(newAlphas.size());
        colorCount = static_cast<uint32_t>(newColours.size() / std::max<size_t>(pelSize(colorFmt), 1));
    }
    box = x1 < 0 ? rectTy { 0, 0, 1, 1 } : rectTy { x0, y0, x1 - x0 + 1, y1 - y0 + 1 };
}

void imgAlpha::SetColorFmt(const pelFmtCTy* format)
{
    const uint32_t to = format->format;
    if (!imgAlphaColorFmtValid(to)) {
        gfxReportNotImpl("imgAlpha::SetColorFmt: This is not impelmetned yet");
        return;
    }
    if (to == colorFmt || colorCount == 0) {
        colorFmt = to;
        return;
    }
    const size_t fromBytes = pelSize(colorFmt), toBytes = pelSize(to);
    auto* fresh = static_cast<uint8_t*>(memAllocZ(size_t { colorCount } * toBytes));
    if (!fresh)
        return;
    for (uint32_t i = 0; i < colorCount; ++i) {
        const uint8_t* src = colors + i * fromBytes;
        uint8_t* dst = fresh + i * toBytes;
        const auto from16 = static_cast<uint16_t>(fromBytes == 2 ? src[0] | src[1] << 8 : 0);
        uint16_t out16 = 0;
        if (toBytes >= 3) {
            // Into B, G, R bytes; a 4-byte colour's fourth byte stays 0.
            if (colorFmt == pel_FMT_R5G6B5)
                pel565ToBGR(dst, from16);
            else if (colorFmt == pel_FMT_X1R5G5B5)
                pel555ToBGR(dst, from16);
            else
                std::memcpy(dst, src, 3);
            continue;
        }
        if (to == pel_FMT_R5G6B5)
            colorFmt == pel_FMT_X1R5G5B5 ? pel555To565(&out16, from16) : pelSet565(&out16, src);
        else
            colorFmt == pel_FMT_R5G6B5 ? pel565To555(&out16, from16) : pelSet555(&out16, src);
        dst[0] = static_cast<uint8_t>(out16);
        dst[1] = static_cast<uint8_t>(out16 >> 8);
    }
    memFree(colors);
    colors = fresh;
    colorFmt = to;
}

// Until the alpha families are installed, an alpha image draws through the
// plain draw entry, which sees its locked A8R8G8B8 pels.
void imgAlpha::Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect)
{
    if (alpha_draws.draw)
        alpha_draws.draw(this, destination, x, y, rect);
    else
        imgCTy::Draw(destination, x, y, rect);
}

void imgAlpha::DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm)
{
    if (alpha_draws.drawEx)
        alpha_draws.drawEx(this, destination, x, y, rect, prm);
    else
        imgCTy::DrawEx(destination, x, y, rect, prm);
}

void imgAlpha::DrawAlpha(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, float opacity)
{
    if (alpha_draws.drawAlpha)
        alpha_draws.drawAlpha(this, destination, x, y, rect, opacity);
    else
        imgCTy::DrawAlpha(destination, x, y, rect, opacity);
}
