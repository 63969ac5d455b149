// Growable arrays of fixed-size elements.
#include "engine/base/mem.h"

#include <climits>
#include <cstring>

namespace {

int report(int code)
{
    dbgBreakOnRetry(errReport(code));
    return code;
}

// Adds room for `growth` elements. A growth of 0 would leave a full array
// full and let the next append write past the block, so it grows by the
// current capacity instead (at least one element).
int arr_grow(arrTy* arr, int growth)
{
    if (growth <= 0)
        growth = arr->capacity > 0 ? arr->capacity : 1;
    if (growth > INT_MAX - arr->capacity)
        return report(ERR_TOO_LARGE);
    const int capacity = arr->capacity + growth;
    const size_t count = static_cast<size_t>(capacity);
    if (count > SIZE_MAX / arr->elemSize)
        return report(ERR_TOO_LARGE);
    void* data = memRealloc(arr->data, count * arr->elemSize);
    if (!data)
        return ERR_NO_MEMORY; // memRealloc has reported it
    if ((arr->flags & ARR_HAS_INIT) && arr->init)
        arr->init(data, arr->capacity, growth);
    arr->data = data;
    arr->capacity = capacity;
    return 0;
}

} // namespace

arrTy* arrCreate(arrTy* header, int initialCapacity, size_t elemSize, int growth)
{
    if (elemSize == 0 || initialCapacity < 0 || growth < 0) {
        report(ERR_BAD_ARG);
        return nullptr;
    }
    const bool allocated = header == nullptr;
    if (allocated) {
        header = static_cast<arrTy*>(memAllocZ(sizeof(arrTy)));
        if (!header)
            return nullptr;
        header->flags = ARR_ALLOCATED;
    } else {
        *header = arrTy{};
    }
    header->elemSize = elemSize;
    if (initialCapacity > 0 && arr_grow(header, initialCapacity) < 0) {
        if (allocated)
            memHooks.free(header);
        return nullptr;
    }
    header->growth = growth;
    return header;
}

void arrSetInit(arrTy* arr, arrInitTy init)
{
    if (!arr)
        return;
    arr->init = init;
    if (init)
        arr->flags |= ARR_HAS_INIT;
    else
        arr->flags &= ~ARR_HAS_INIT;
}

int arrAppend(arrTy* arr, const void* element)
{
    if (!arr)
        return report(ERR_NOT_CREATED);
    if (arr->count >= arr->capacity) {
        if (int r = arr_grow(arr, arr->growth); r < 0)
            return r;
        if (arr->count >= arr->capacity)
            return report(ERR_OVERFLOW);
    }
    auto* slot = static_cast<unsigned char*>(arr->data) + static_cast<size_t>(arr->count) * arr->elemSize;
    if (element)
        std::memcpy(slot, element, arr->elemSize);
    else
        std::memset(slot, 0, arr->elemSize);
    return arr->count++;
}

int arrGet(const arrTy* arr, int index, void* out)
{
    if (!arr || index < 0 || index >= arr->count)
        return ERR_BAD_INDEX;
    if (out)
        std::memcpy(out, static_cast<const unsigned char*>(arr->data) + static_cast<size_t>(index) * arr->elemSize,
                    arr->elemSize);
    return index;
}

int arrRemove(arrTy* arr, int index)
{
    if (!arr || index < 0 || index >= arr->count)
        return ERR_BAD_INDEX;
    auto* base = static_cast<unsigned char*>(arr->data);
    const size_t later = static_cast<size_t>(arr->count - index - 1);
    std::memmove(base + static_cast<size_t>(index) * arr->elemSize,
                 base + static_cast<size_t>(index + 1) * arr->elemSize, later * arr->elemSize);
    --arr->count;
    if (arr->cursor > index)
        --arr->cursor;
    return 0;
}

void arrFree(arrTy* arr)
{
    if (!arr)
        return;
    memHooks.free(arr->data);
    if (arr->flags & ARR_ALLOCATED) {
        memHooks.free(arr);
        return;
    }
    arr->data = nullptr;
    arr->count = 0;
    arr->capacity = 0;
    arr->cursor = 0;
}
