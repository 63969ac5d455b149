// The configuration parser over arbitrary text, as the load reads a file
// it opened: text in UTF-16 or UTF-32 must be refused whole, nothing of it
// read. What it reads is saved with the writer and read again as the load
// reads a file, its encoding judged first, which must read it whole and
// give the same list (unless a written line outgrows the line limit: "a=b"
// of 1023 characters comes back as "a = b", two longer, and is cut; the
// format has no way around it).
#include "engine/base/cfg_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::FILE* stream_of(const void* data, size_t size)
{
    std::FILE* f = std::tmpfile();
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::rewind(f);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cfgCTy first;
    std::FILE* in = stream_of(data, size);
    const cfgLoadTy read = cfgLoadOpenStream(first, in, "first.cfg");
    std::fclose(in);
    if (read.read == cfgReadTy::utf16 || read.read == cfgReadTy::utf32) {
        if (first.Count() != 0 || read.error != EILSEQ)
            std::abort();
        return 0;
    }

    for (uint32_t i = 0; i < first.Count(); ++i)
        if (std::strlen(first.At(i)->name) + 3 + std::strlen(first.At(i)->Text()) > CFG_LINE_SIZE - 1)
            return 0;

    std::FILE* out = std::tmpfile();
    if (!out)
        std::abort();
    for (uint32_t i = 0; i < first.Count(); ++i)
        if (cfgFileWriteVar(out, first.At(i)->name, first.At(i)->Text()) != 0)
            std::abort();
    std::rewind(out);
    cfgCTy second;
    const cfgLoadTy reread = cfgLoadOpenStream(second, out, "second.cfg");
    std::fclose(out);

    if (reread.read != cfgReadTy::whole || reread.variables != first.Count() || second.Count() != first.Count())
        std::abort();
    for (uint32_t i = 0; i < first.Count(); ++i)
        if (std::strcmp(first.At(i)->name, second.At(i)->name) != 0 ||
            std::strcmp(first.At(i)->Text(), second.At(i)->Text()) != 0)
            std::abort();
    return 0;
}
