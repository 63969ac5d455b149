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

// The mirrored draws show the box's first unit (the right end of the
// mirrored box) at x + this column: width - box.x, and scaled by op 13
// floor(width x scale) - ceil(box.x x scale), the mirror of the scaled
// picture. A sprite's rectangle keeps the unscaled draw's extra pel in x as
// the scale's multiple, so the scaled draws are placed by the difference.
int64_t mirror_right(const imgCTy* image, const rectTy& box, const imgDrawPrmCTy& prm)
{
    if (prm.op != img_OP_SCALED)
        return int64_t { image->width } - box.x;
    const double sx = prm.scaleX;
    return int64_t(trunc_i32(std::floor(image->width * sx))) - trunc_i32(std::ceil(box.x * sx));
}

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
    // Mirrored, the draw is moved so that the box's first unit lands on
    // the rectangle's right end, whatever part of it the clip leaves.
    const int64_t shift = mirror ? int64_t { r.x } + r.w - 1 - mirror_right(image, image->GetRect(), prm) : 0;
    if (!sprRectIntersect(&r, dstClip, &r))
        return;
    if (!mirror) {
        image->DrawEx(dst, dstX, dstY, &r, prm);
        return;
    }
    const rectTy at { trunc_i32(double(r.x) - double(shift)), r.y, r.w, r.h };
    image->DrawExMirrorH(dst, trunc_i32(double(dstX) + double(shift)), dstY, &at, prm);
}
