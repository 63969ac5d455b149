// Shared by the sprite and font tests: images with known pels, a pel
// reader, and an image kind that draws mirrored (row images do not).
#pragma once

#include "gfx_test_support.h"

#include "engine/blit/blit.h"

#include <cstring>
#include <functional>
#include <memory>

class SprTest : public GfxTest {
protected:
    void SetUp() override
    {
        GfxTest::SetUp();
        gfxInit();
    }
};

inline uint32_t pel_at(imgCTy& img, int32_t x, int32_t y)
{
    const uint32_t pel = img.PelAtXY(x, y);
    img.Unlock();
    return pel;
}

// A w x h image of `format` whose pel (x, y) is f(x, y).
inline std::unique_ptr<imgRowCTy> make_image(uint32_t format, int32_t w, int32_t h,
                                             const std::function<uint32_t(int32_t, int32_t)>& f)
{
    auto img = std::make_unique<imgRowCTy>();
    const pelFmtCTy fmt(format);
    img->SetSize(w, h, &fmt);
    const uint32_t size = pelSize(format);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = f(x, y);
            std::memcpy(img->pels + (size_t(y) * w + x) * size, &v, size);
        }
    return img;
}

// Pels equal, every one of them.
inline bool same_pels(const imgRowCTy& a, const imgRowCTy& b)
{
    return a.width == b.width && a.height == b.height && a.pelFmt.format == b.pelFmt.format
        && std::memcmp(a.pels, b.pels, a.BodySize()) == 0;
}

// A row image that draws mirrored: column c of the image lands at
// x + width - c, so the mirrored rectangle [1, width] covers it whole.
class MirrorImage : public imgRowCTy {
public:
    void DrawMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) override
    {
        DrawExMirrorH(destination, x, y, rect, imgDrawPrmCTy {});
    }
    void DrawExMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                       const imgDrawPrmCTy& prm) override
    {
        for (int32_t dx = rect->x; dx < rect->x + rect->w; ++dx) {
            const rectTy column { width - dx, rect->y, 1, rect->h };
            DrawEx(destination, x + dx - column.x, y, &column, prm);
        }
    }
};
