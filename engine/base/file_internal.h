// Shared by the file, path, bitmap, configuration and object-file units of
// engine/base; no other folder includes it.
#pragma once

#include "engine/base/base.h"

// A copy of `name` in a static buffer, for a report's file-name argument:
// the reporter keeps the address, and the owner of the name may be freed
// (or unwound past) before the text is formatted.
const char* fileNameForReport(const char* name);
