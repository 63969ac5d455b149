// quarn::g, the image library: pixel formats and palettes.
#pragma once

#include "img/Formats.h"
#include "img/Palette.h"
#include "img/PelFmt.h"
#include "img/Pixels.h"
