// The text sprite: a line of text in a bitmap font, aligned on its position.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstdarg>

namespace {

// The sprite's width: the text's and one spacing more, computed in 64 bits
// so that no font's spacing overflows it. Held to the 32-bit range made
// symmetric: the anchor may be the width, and it is negated.
int32_t sprite_width(const fntCTy* font, const char* text)
{
    const int64_t width = int64_t { fntTextWidth(font, text) } + font->rec.spacing;
    return int32_t(std::clamp<int64_t>(width, -INT32_MAX, INT32_MAX));
}

} // namespace

sprDfStrCTy::~sprDfStrCTy()
{
    for (fntCTy* font : fonts)
        fntRelease(font);
}

uint32_t sprDfStrCTy::AddFont(const char* name)
{
    fontNames.emplace_back(name ? name : "");
    // The name is a format for fntGet: its own '%' must stay as it is.
    fonts.push_back(name ? fntGet("%s", name) : nullptr);
    return uint32_t(fonts.size() - 1);
}

void sprDfStrCTy::Printf(const char* format, ...)
{
    char buffer[fnt_TEXT_SIZE];
    va_list va;
    va_start(va, format);
    strVFormat(buffer, sizeof buffer, format ? format : "", va);
    va_end(va);
    MarkDirty();
    text = buffer;
    hasText = true;
    Layout();
    MarkDirty();
}

void sprDfStrCTy::SetAlign(uint32_t a)
{
    MarkDirty();
    align = a;
    Layout();
    MarkDirty();
}

void sprDfStrCTy::Layout()
{
    const fntCTy* font = Font();
    if (!hasText || !font) {
        textW = 0;
        return;
    }
    textW = sprite_width(font, text.c_str());
    textH = font->rec.height;
    anchorX = align == spr_ALIGN_LEFT ? 0 : align == spr_ALIGN_CENTER ? textW / 2 : textW;
}

rectTy sprDfStrCTy::GetRect() { return rectTy { x - anchorX, y - anchorY, textW, textH }; }

void sprDfStrCTy::Draw()
{
    const fntCTy* font = Font();
    if (!hasText || !font || !dst || !dstClip)
        return;
    const rectTy whole { -anchorX, -anchorY, sprite_width(font, text.c_str()), font->rec.height };
    rectTy r;
    if (!sprRectIntersect(&r, dstClip, &whole))
        return;
    // Into text coordinates: 0 is the text's left edge.
    r.x += anchorX;
    r.y += anchorY;
    fntDrawText(font, text.c_str(), dstX - anchorX, dstY - anchorY, &r, dst);
}
