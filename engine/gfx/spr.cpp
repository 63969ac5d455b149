// The sprite base: placement, visibility, depth and dirty marks.
#include "engine/gfx/gfx_internal.h"

sprCTy::~sprCTy()
{
    // A sprite must not outlive its node in the list.
    if (owner && inList) {
        owner->order.erase(listPos);
        inList = 0;
    }
    owner = nullptr;
}

void sprCTy::SetPos(int32_t newX, int32_t newY)
{
    if (newX == x && newY == y)
        return;
    MarkDirty();
    x = newX;
    y = newY;
    MarkDirty();
}

void sprCTy::Show()
{
    if (visible)
        return;
    visible = 1;
    MarkDirty();
}

void sprCTy::Hide()
{
    if (!visible || !owner)
        return;
    visible = 0;
    MarkDirty();
}

void sprCTy::SetZ(int32_t newZ)
{
    if (newZ == z || !owner)
        return;
    if (inList)
        owner->order.erase(listPos);
    // A multimap inserts after the elements of an equal key.
    listPos = owner->order.insert({ newZ, this });
    inList = 1;
    z = newZ;
    MarkDirty();
}

void sprCTy::Remove()
{
    if (owner)
        owner->Remove(this);
}

void sprCTy::SetOwner(sprsCTy* list)
{
    owner = list;
    inList = 0;
}

void sprCTy::SetDrawTarget(imgCTy* target, int32_t ox, int32_t oy, const rectTy* drawClip)
{
    dst = target;
    dstX = ox;
    dstY = oy;
    dstClip = drawClip;
}

void sprCTy::MarkDirty()
{
    if (!owner)
        return;
    rectTy r = GetRect();
    if (world) {
        r.x -= owner->originX;
        r.y -= owner->originY;
    }
    rectTy c = owner->scr;
    if (clip && !sprRectIntersect(&c, &owner->scr, clip))
        return;
    owner->AddDirty(r, c, spr_DIRTY_FRAMES);
}
