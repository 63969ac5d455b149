// The layer's allocation functions over the allocator hook table.
#include "engine/base/mem.h"

#include <cstdlib>
#include <cstring>

memHooksTy memHooks{std::malloc, std::calloc, std::realloc, std::free, std::malloc};

namespace {

void* report_no_memory()
{
    dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
    return nullptr;
}

} // namespace

void* memAlloc(size_t size)
{
    void* block = memHooks.alloc(size ? size : 1);
    return block ? block : report_no_memory();
}

void* memAllocZ(size_t size)
{
    void* block = memHooks.allocZ(size ? size : 1, 1);
    return block ? block : report_no_memory();
}

void* memRealloc(void* block, size_t size)
{
    void* grown = memHooks.realloc(block, size ? size : 1);
    return grown ? grown : report_no_memory();
}

char* memAllocStr(size_t size)
{
    void* block = memHooks.allocStr(size ? size : 1);
    return static_cast<char*>(block ? block : report_no_memory());
}

char* strDupQuiet(const char* text)
{
    if (!text)
        return nullptr;
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(memHooks.allocStr(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

char* memStrDup(const char* text)
{
    if (!text)
        return nullptr;
    char* copy = strDupQuiet(text);
    return copy ? copy : static_cast<char*>(report_no_memory());
}
