// quarn::g, the image library: pixel formats and palettes, images and row
// images with locks, the image operations (fill, assign, draw,
// constant-alpha blend, lines) chosen per pixel format through the
// ImageContext, resizing, and the TGA and JPEG decoders.
#pragma once

#include "img/Formats.h"
#include "img/Image.h"
#include "img/ImageContext.h"
#include "img/ImageDecoder.h"
#include "img/ImageRow.h"
#include "img/JpgDecoder.h"
#include "img/Op.h"
#include "img/Palette.h"
#include "img/PelFmt.h"
#include "img/Pixels.h"
#include "img/Rect.h"
#include "img/ResizeMode.h"
#include "img/TgaDecoder.h"
