// Shared by the configuration units of engine/base and their tests.
#pragma once

#include "engine/base/cfg.h"
#include "engine/base/file_internal.h"

// For tests: the number of variables cfgFileWriteVar writes before it
// fails as a full disk would; negative (the default) never fails.
extern int cfgWriteFailAfterForTest;
// Counts one variable against cfgWriteFailAfterForTest; true when that
// write is to fail.
bool cfgWriteFailsNow();

// cfgCTy::Load on a stream that is already open (left open).
void cfgLoadStream(cfgCTy& cfg, std::FILE* stream);
