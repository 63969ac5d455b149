// The sprite list: membership, the frame redraw and the hit test.
#include "engine/gfx/gfx_internal.h"

sprsCTy g_sprites;
uint32_t g_sprDebugRects = 0;

sprsCTy::~sprsCTy()
{
    for (auto& [depth, sprite] : order) {
        sprite->inList = 0;
        sprite->owner = nullptr;
    }
}

void sprsCTy::SetScrSize(int32_t w, int32_t h)
{
    scr = rectTy { 0, 0, w, h };
    grid.Resize(w, h);
}

void sprsCTy::AddDirty(const rectTy& r, const rectTy& clip, uint8_t n) { grid.Mark(r, clip, n); }

void sprsCTy::Add(sprsCTy* list, sprCTy* sprite)
{
    sprite->SetOwner(list);
    sprite->z = spr_Z_DEFAULT;
    sprite->listPos = list->order.insert({ spr_Z_DEFAULT, sprite });
    sprite->inList = 1;
}

void sprsCTy::Remove(sprCTy* sprite)
{
    if (sprite->owner != this || !sprite->inList)
        return;
    sprite->MarkDirty();
    order.erase(sprite->listPos);
    sprite->inList = 0;
    sprite->SetOwner(nullptr);
}

void sprsCTy::Draw(imgCTy* target)
{
    grid.BuildRects();
    // Nothing moves during a frame: the places hold for every rectangle.
    Place(originX, originY);
    framePlaced_ = true;
    for (const rectTy& r : grid.rects)
        DrawRect(target, originX, originY, &r);
    framePlaced_ = false;
    if (g_sprDebugRects) {
        for (const rectTy& r : grid.rects) {
            const uint32_t red = uint32_t(rndGet(255)), green = uint32_t(rndGet(255)), blue = uint32_t(rndGet(255));
            const uint32_t colour = red << 16 | green << 8 | blue;
            target->DrawHLineRgb(&colour, r.x, r.y, r.w - 1, 0xFFFFFFFF);
            target->DrawHLineRgb(&colour, r.x, r.y + r.h - 1, r.w - 1, 0xFFFFFFFF);
            target->DrawVLineRgb(&colour, r.x, r.y, r.h - 1, 0xFFFFFFFF);
            target->DrawVLineRgb(&colour, r.x + r.w - 1, r.y, r.h - 1, 0xFFFFFFFF);
        }
    }
    // Keeps the capacity: the next frame reuses it.
    grid.rects.clear();
}

void sprsCTy::Place(int32_t dx, int32_t dy)
{
    placed_.clear();
    // Back to front: the largest z first, and among equal z the one
    // inserted last, so that the first inserted ends up in front.
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        sprCTy* s = it->second;
        if (!s->visible)
            continue;
        rectTy r = s->GetRect();
        if (s->clip && !sprRectIntersect(&r, s->clip, &r))
            continue;
        if (s->world) {
            r.x -= dx;
            r.y -= dy;
        }
        placed_.push_back(Placed { s, r, s->world ? s->x - dx : s->x, s->world ? s->y - dy : s->y });
    }
}

void sprsCTy::DrawRect(imgCTy* target, int32_t dx, int32_t dy, const rectTy* clip)
{
    // Never past the target's edges, whatever the screen size or the clip.
    const rectTy whole { 0, 0, target->width, target->height };
    rectTy c = whole;
    if (clip && !sprRectIntersect(&c, clip, &whole))
        return;
    if (!framePlaced_)
        Place(dx, dy);
    for (const Placed& p : placed_) {
        rectTy r;
        if (!sprRectIntersect(&r, &c, &p.r))
            continue;
        // Into the sprite's own coordinates, relative to its position.
        r.x -= p.ox;
        r.y -= p.oy;
        p.sprite->SetDrawTarget(target, p.ox, p.oy, &r);
        p.sprite->Draw();
        p.sprite->SetDrawTarget(nullptr, 0, 0, nullptr);
    }
}

sprCTy* sprsCTy::HitTest(int32_t lo, int32_t hi, int32_t px, int32_t py, sprCTy* after)
{
    auto it = order.lower_bound(lo);
    if (after) {
        if (after->owner != this || !after->inList)
            return nullptr;
        it = std::next(after->listPos);
    }
    imgRowCTy probe;
    const pelFmtCTy probeFmt(pel_FMT_X8R8G8B8);
    probe.SetSize(1, 1, &probeFmt);
    for (; it != order.end() && it->first <= hi; ++it) {
        sprCTy* s = it->second;
        if (it->first < lo || !s->visible)
            continue;
        rectTy r = s->GetRect();
        if (!s->world) {
            r.x += originX;
            r.y += originY;
        }
        if (px < r.x || py < r.y || int64_t { px } > int64_t { r.x } + r.w - 1
            || int64_t { py } > int64_t { r.y } + r.h - 1)
            continue;
        const int32_t ox = s->world ? s->x - px : s->x + originX - px;
        const int32_t oy = s->world ? s->y - py : s->y + originY - py;
        const rectTy one { -ox, -oy, 1, 1 };
        // A pel drawn over both fills differs from one of them, whatever
        // its colour; a skipped pel leaves both.
        bool hit = false;
        for (uint32_t fill : { 0u, 1u }) {
            probe.Fill(fill, nullptr);
            s->SetDrawTarget(&probe, ox, oy, &one);
            s->Draw();
            if (probe.PelAtXY(0, 0) != fill) {
                hit = true;
                break;
            }
        }
        s->SetDrawTarget(nullptr, 0, 0, nullptr);
        if (hit)
            return s;
    }
    return nullptr;
}
