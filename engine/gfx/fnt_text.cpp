// Measuring and drawing text in a bitmap font.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>

namespace {

bool fits_i32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

} // namespace

int32_t fntCharWidth(const fntCTy* font, uint8_t c)
{
    if (c == ' ')
        return font->rec.spaceWidth;
    if (c == '\t')
        return 1;
    const rectTy& b = font->rec.boxes[c];
    // Held inside the atlas: the glyph's extra column may lie past its edge.
    const int32_t atlasW = font->atlas ? font->atlas->width : 0;
    return std::min(b.w + 1, atlasW - b.x - 1);
}

int32_t fntGlyphHeight(const fntCTy* font, uint8_t c) { return font->rec.boxes[c].h; }

int32_t fntTextWidth(const fntCTy* font, const char* text)
{
    if (!font || !text || !*text)
        return 0;
    int64_t width = 0;
    for (const char* p = text; *p; ++p)
        width += fntCharWidth(font, uint8_t(*p)) + int64_t { font->rec.spacing };
    return int32_t(std::clamp<int64_t>(width - font->rec.spacing, INT32_MIN, INT32_MAX));
}

void fntDrawText(const fntCTy* font, const char* text, int32_t x, int32_t y, const rectTy* clip, imgCTy* dst)
{
    fntDrawTextEx(font, text, x, y, clip, dst, imgDrawPrmCTy { .op = img_OP_BLEND });
}

void fntDrawTextEx(const fntCTy* font, const char* text, int32_t x, int32_t y, const rectTy* clip, imgCTy* dst,
                   const imgDrawPrmCTy& prm)
{
    if (!font || !font->atlas || !text || !clip || !dst)
        return;
    const int32_t spacing = font->rec.spacing;
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    // Pen positions in 64 bits: a long text of wide advances must not wrap.
    int64_t pen = 0;
    // Characters wholly left of the clip are passed over unseen.
    for (; *p && fntCharWidth(font, *p) + pen < clip->x; ++p)
        pen += fntCharWidth(font, *p) + spacing;
    const int64_t clipRight = int64_t { clip->x } + clip->w;
    for (; *p && pen < clipRight; ++p) {
        const int32_t advance = fntCharWidth(font, *p);
        const rectTy& b = font->rec.boxes[*p];
        const int64_t at = x + pen - b.x;
        if (*p != ' ' && *p != '\t' && fits_i32(pen) && fits_i32(at) && fits_i32(int64_t { y } - b.y)) {
            const rectTy glyph { int32_t(pen), 0, advance, b.h };
            rectTy r;
            // The visible part lands at (x + r.x, y + r.y).
            if (sprRectIntersect(&r, &glyph, clip)) {
                const rectTy source { b.x + (r.x - glyph.x), b.y + r.y, r.w, r.h };
                font->atlas->DrawEx(dst, int32_t(at), y - b.y, &source, prm);
            }
        }
        pen += advance + spacing;
    }
}
