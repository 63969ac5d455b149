// Shared by the legacy object file units of engine/base, their tests and
// fuzz target.
#pragma once

#include "engine/base/file_internal.h"
#include "engine/base/rw.h"

// rwRdOpen on bytes already in memory; `name` only labels the reports.
[[nodiscard]] rwCTy* rwOpenBytes(const uint8_t* data, size_t size, const char* name);

// Frees the stream and what it holds, without writing anything.
void rwFree(rwCTy* stream);
