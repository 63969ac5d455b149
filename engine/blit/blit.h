#pragma once
// Software blitter of the older engine layer.
//
// blit_pel.h: the per-pel draw operations pel<Op>_<Src>_<Dst>, pelSub565 and
// the 1:5:5:5 stores, used by the row loops and by the RLE8 and alpha-image
// draws. blit_fmt.h: pel format traits and the copy conversion.
#include "engine/gfx/gfx.h"
#include "engine/blit/blit_pel.h"
#include "engine/blit/blit_fmt.h"
