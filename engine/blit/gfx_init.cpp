// The engine's one start-up call for images: every draw entry and every
// image class, installed by explicit calls in a known order.
#include "engine/blit/blit.h"

void gfxInit()
{
    imgRegisterClasses();
    blitInstall();
    alphaInstall();
    rle8Install();
}
