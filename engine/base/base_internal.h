// Shared between the .cpp files of engine/base and its tests; no other
// folder includes it.
#pragma once

#include "engine/base/err.h"

// The unwind of a report to its TRY frame. Only the reporter throws it and
// only errTryCall catches it, so no other code can stop an unwind halfway.
struct errUnwindTy {
    int code;
    const errFrameTy* frame;
};
[[noreturn]] void errUnwind(int code);

// The code of the report being handled, for the catch-all's "%^d".
extern int32_t errCodeCopy;
// 1 when the process has no console of its own (text goes to boxes).
extern int errConsoleFlag;

// Back to the state before errInit: handlers, chain, flags, box-open flag
// and hooks. For tests only.
void errResetForTest();
void dbgResetForTest();

// Back to the generators' start values. For tests only.
void rndResetForTest();
