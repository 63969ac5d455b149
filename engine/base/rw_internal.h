// Shared by the legacy object file units of engine/base, their tests and
// fuzz target.
#pragma once

#include "engine/base/file_internal.h"

// The whole content of a legacy object file. This is the one place that
// opens them by name. FIXME: read through quarn::io::IArcStream (opened raw,
// stream flag 4, no header detection) once it is on main, so that files
// inside ZIP archives open as well; until then files are read whole from
// the disk with fileLoad. Null when the file cannot be read (reported).
fileTy* rwReadFile(const char* name);

// rwRdOpen on bytes already in memory; `name` only labels the reports.
[[nodiscard]] rwCTy* rwOpenBytes(const uint8_t* data, size_t size, const char* name);

// Frees the stream and what it holds, without writing anything.
void rwFree(rwCTy* stream);
