// The image sprite: its rectangle, plain, scaled and mirrored.
#include "engine/gfx/gfx_internal.h"

#include <cmath>

namespace {

// Truncation toward zero, held inside the i32 range (a scale no caller
// means could otherwise leave it).
int32_t trunc_i32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

bool is_scaled(const imgDrawPrmCTy& prm) { return prm.op == img_OP_SCALED || prm.scaled != 0; }

// The image rectangle in destination units, as the scaled draws expect
// their source rectangle (single precision, as the scale is stored).
void scale_rect(rectTy* r, const imgDrawPrmCTy& prm)
{
    r->x = trunc_i32(double(float(r->x) * prm.scaleX));
    r->y = trunc_i32(double(float(r->y) * prm.scaleY));
    r->w = trunc_i32(double(float(r->w) * prm.scaleX));
    r->h = trunc_i32(double(float(r->h) * prm.scaleY));
}

// The mirrored draws put the image's column c at width - c; the rectangle
// starts one pel further right than the plain reflection to match.
void mirror_rect(rectTy* r, const imgCTy* image) { r->x = image->width - r->x - r->w + 1; }

} // namespace

void sprImgCTy::SetImage(imgCTy* img)
{
    if (img == image)
        return;
    MarkDirty();
    image = img;
    MarkDirty();
}

rectTy sprImgCTy::GetRect()
{
    if (!image)
        return rectTy { 0, 0, 0, 0 };
    rectTy r = image->GetRect();
    if (mirror)
        mirror_rect(&r, image);
    if (is_scaled(prm)) {
        const double sx = prm.scaleX, sy = prm.scaleY;
        return rectTy { trunc_i32(r.x * sx + x), trunc_i32(r.y * sy + y), trunc_i32(r.w * sx),
                        trunc_i32(r.h * sy) };
    }
    return rectTy { x + r.x, y + r.y, r.w, r.h };
}

void sprImgCTy::Draw()
{
    if (!image || !dst || !dstClip)
        return;
    rectTy r = image->GetRect();
    if (mirror)
        mirror_rect(&r, image);
    if (mirror && prm.op == img_OP_COPY) {
        if (sprRectIntersect(&r, dstClip, &r))
            image->DrawMirrorH(dst, dstX, dstY, &r);
        return;
    }
    if (is_scaled(prm))
        scale_rect(&r, prm);
    if (!sprRectIntersect(&r, dstClip, &r))
        return;
    if (mirror)
        image->DrawExMirrorH(dst, dstX, dstY, &r, prm);
    else
        image->DrawEx(dst, dstX, dstY, &r, prm);
}
