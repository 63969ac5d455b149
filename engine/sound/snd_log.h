// The sound system's channel in the log: sound, music and soundfont files
// that cannot be read, and what plays instead. Private to engine/sound.
#pragma once

#include "quarn/Log.h"

inline constinit quarn::LogChannel snd_log_warning{"sound", 2};
