// The older engine layer's base library, for callers that want all of it.
// Each module has its own header; include the one a file uses.
#pragma once

#include "engine/base/bmp.h"
#include "engine/base/cfg.h"
#include "engine/base/err.h"
#include "engine/base/file.h"
#include "engine/base/mem.h"
#include "engine/base/pack.h"
#include "engine/base/rnd.h"
#include "engine/base/rw.h"
#include "engine/base/str.h"
#include "engine/base/tm.h"
