// Shared by the file, path, bitmap, configuration and object-file units of
// engine/base; no other folder includes it.
#pragma once

#include "engine/base/file.h"
#include "engine/base/mem.h"
#include "engine/base/str.h"

#include <string>

// A copy of `name` in a static buffer, for a report's file-name argument:
// the reporter keeps the address, and the owner of the name may be freed
// (or unwound past) before the text is formatted.
const char* fileNameForReport(const char* name);

// The name as the file system has it: data written for a case-insensitive
// file system ("DATA\\Car.IMGS") is found on a case-sensitive one. Every
// file this layer opens by name goes through it.
std::string fileResolve(const char* name);
