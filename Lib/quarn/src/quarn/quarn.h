// The quarn library's interface.
#pragma once

#include "quarn/Clock.h"
#include "quarn/CpuInfo.h"
#include "quarn/Stopwatch.h"
