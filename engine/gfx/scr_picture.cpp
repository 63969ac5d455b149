// Picture-bank items: a block of pels that the item may own.
#include "engine/gfx/gfx_internal.h"

void scrFreePicture(scrPictureTy* item)
{
    if (!item)
        return;
    if (item->owner)
        memFree(item->pels);
    memFree(item);
}
