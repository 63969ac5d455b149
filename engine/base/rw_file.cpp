// Where legacy object files come from.
#include "engine/base/rw_internal.h"

fileTy* rwReadFile(const char* name) { return fileLoad(nullptr, name); }

rwCTy* rwRdOpen(const char* name)
{
    fileTy* file = rwReadFile(name);
    if (!file)
        return nullptr;
    // The bytes are copied out, so the file is closed on every way out,
    // also when a report unwinds to a TRY frame.
    struct Closer {
        fileTy* f;
        ~Closer() { fileClose(f, 0); }
    } closer { file };
    return rwOpenBytes(file->view, file->length, name);
}
