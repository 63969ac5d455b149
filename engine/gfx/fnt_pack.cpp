// The font description record and the packing of glyphs into an atlas.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>

namespace {

uint32_t read_u32(const uint8_t* p)
{
    return uint32_t { p[0] } | uint32_t { p[1] } << 8 | uint32_t { p[2] } << 16 | uint32_t { p[3] } << 24;
}

int32_t read_i32(const uint8_t* p) { return static_cast<int32_t>(read_u32(p)); }

// The atlas may not grow past this side; the loop that widens it stops
// there, so a set of boxes that does not fit is refused instead.
constexpr int64_t kMaxSide = 32768;

// Where each glyph goes: the reference glyph at (0, 0), the characters that
// share its column of the picture onto it, the others in rows `width`
// wide. Yields the rows' total height.
int64_t layout(const fntFileTy& rec, int32_t pictureW, int64_t width, rectTy* out, bool* own)
{
    const rectTy& ref = rec.boxes[rec.refChar];
    out[rec.refChar] = rectTy { 0, 0, ref.w, ref.h };
    int64_t pen = int64_t { ref.w } + 1, top = 0, rowH = ref.h;
    for (uint32_t c = 0; c < 256; ++c) {
        const rectTy& b = rec.boxes[c];
        own[c] = c == rec.refChar;
        if (c == rec.refChar || b.x == ref.x) {
            out[c] = out[rec.refChar];
            continue;
        }
        own[c] = true;
        if (pen + b.w + 1 >= width) {
            top += rowH;
            pen = 0;
            rowH = 0;
        }
        out[c] = rectTy { int32_t(pen), int32_t(top), b.w, b.h };
        if (int64_t { b.x } + b.w + 1 < int64_t { pictureW } - 1) {
            pen += int64_t { b.w } + 1;
        } else {
            // The last column of the picture is never part of a glyph.
            out[c].w = std::max(pictureW - b.x - 2, 0);
            pen += pictureW - b.x - 1;
        }
        rowH = std::max<int64_t>(rowH, b.h);
    }
    return top + rowH;
}

// Every box must lie inside the picture: the copies read what they say.
bool boxes_inside(const fntFileTy& rec, const imgCTy& picture)
{
    for (const rectTy& b : rec.boxes) {
        if (b.x < 0 || b.y < 0 || b.w < 0 || b.h < 0 || b.x >= picture.width
            || int64_t { b.x } + b.w > picture.width || int64_t { b.y } + b.h > picture.height)
            return false;
    }
    return true;
}

} // namespace

int fntParse(const uint8_t* bytes, size_t size, fntFileTy* out)
{
    if (size < fnt_FILE_SIZE || read_u32(bytes) != fnt_MAGIC || read_u32(bytes + 4) > 255)
        return ERR_DATA;
    // Spacing, space width and height are pels on a line of text: a value
    // past any picture's side is damage, and would carry the text's
    // measures out of the 32-bit range.
    for (size_t at : { size_t { 8 }, size_t { 12 }, size_t { 16 } }) {
        const int64_t v = read_i32(bytes + at);
        if (v < -img_MAX_SIDE || v > img_MAX_SIDE)
            return ERR_DATA;
    }
    out->magic = fnt_MAGIC;
    out->refChar = read_u32(bytes + 4);
    out->spacing = read_i32(bytes + 8);
    out->spaceWidth = read_i32(bytes + 12);
    out->height = read_i32(bytes + 16);
    out->reserved = read_u32(bytes + 20);
    const uint8_t* p = bytes + fnt_BOXES_OFFSET;
    for (rectTy& b : out->boxes) {
        b = rectTy { read_i32(p), read_i32(p + 4), read_i32(p + 8), read_i32(p + 12) };
        p += 16;
    }
    return 0;
}

int fntPack(fntFileTy* rec, imgCTy* picture, imgCTy* atlas)
{
    if (rec->refChar > 255 || !boxes_inside(*rec, *picture))
        return ERR_DATA;
    int64_t width = 32;
    for (const rectTy& b : rec->boxes)
        while (b.w > width)
            width *= 2;
    rectTy boxes[256];
    bool own[256];
    int64_t height = 0;
    do {
        width *= 2;
        if (width > kMaxSide)
            return ERR_DATA;
        height = layout(*rec, picture->width, width, boxes, own);
    } while (height > 4 * width);
    if (height > kMaxSide)
        return ERR_DATA;

    // An alpha atlas holds 32-bit pels whatever the picture's format, and
    // the copies below convert into them: a colour-mapped or grey TGA
    // picture (8-bit, with its colour table) becomes the 32-bit picture it
    // is drawn as, not a format the atlas reports it cannot take.
    const pelFmtCTy argb(pel_FMT_A8R8G8B8);
    const uint32_t format = picture->pelFmt.format;
    const bool converted = atlas->kind == img_KIND_ALPHA && format != pel_FMT_R8G8B8 && format != pel_FMT_A8R8G8B8;
    atlas->SetSize(int32_t(width), int32_t(height), converted ? &argb : &picture->pelFmt);
    if (atlas->width != width || atlas->height != height)
        return ERR_DATA;
    atlas->FillRgb(0, nullptr);
    const imgDrawPrmCTy copy {};
    for (uint32_t c = 0; c < 256; ++c) {
        if (!own[c])
            continue;
        const rectTy& b = rec->boxes[c];
        const rectTy source { b.x, b.y, std::min(b.w + 1, picture->width - b.x - 1), b.h };
        if (source.w > 0 && source.h > 0)
            picture->DrawEx(atlas, boxes[c].x - b.x, boxes[c].y - b.y, &source, copy);
    }
    std::copy(std::begin(boxes), std::end(boxes), rec->boxes);
    atlas->SetColorKeyPel(atlas->PelAtXY(0, 0));
    return 0;
}
