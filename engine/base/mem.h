// Memory through replaceable hooks, growable arrays and singly linked lists.
#pragma once

#include "engine/base/err.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Memory.

// Where the layer's memory comes from. Filled with the runtime heap's
// functions; tests and tools may swap entries.
struct memHooksTy {
    void* (*alloc)(size_t size);
    void* (*allocZ)(size_t count, size_t size);
    void* (*realloc)(void* block, size_t size);
    void (*free)(void* block);
    void* (*allocStr)(size_t size);
};
extern memHooksTy memHooks;

// Each reports ERR_NO_MEMORY and yields null on failure; size 0 counts as 1.
[[nodiscard]] void* memAlloc(size_t size);
[[nodiscard]] void* memAllocZ(size_t size);
[[nodiscard]] void* memRealloc(void* block, size_t size); // the old block stays valid on failure
[[nodiscard]] char* memAllocStr(size_t size);
[[nodiscard]] char* memStrDup(const char* text);
[[nodiscard]] char* strDupQuiet(const char* text); // as memStrDup, without a report
inline void memFree(void* block) { memHooks.free(block); }

// Arrays.

inline constexpr uint32_t ARR_ALLOCATED = 0x8; // the header itself came from arrCreate
inline constexpr uint32_t ARR_HAS_INIT = 0x100; // the element initialiser is set
using arrInitTy = void (*)(void* data, int oldCapacity, int growth);

struct arrTy {
    uint32_t flags;
    int cursor; // kept on the same element by arrRemove
    size_t elemSize;
    int count;
    int capacity;
    int growth;
    arrInitTy init;
    void* data;
};

// `header` null allocates one. Growth 0 grows by the current capacity (at
// least one element). Null on failure (reported).
[[nodiscard]] arrTy* arrCreate(arrTy* header, int initialCapacity, size_t elemSize, int growth);
// Called on every later growth with the new data, the old capacity and the growth.
void arrSetInit(arrTy* arr, arrInitTy init);
// Index of the new element, or a negative code (reported).
[[nodiscard]] int arrAppend(arrTy* arr, const void* element);
// The index, or ERR_BAD_INDEX (not reported) with `out` untouched.
[[nodiscard]] int arrGet(const arrTy* arr, int index, void* out);
[[nodiscard]] int arrRemove(arrTy* arr, int index);
void arrFree(arrTy* arr);

// Singly linked lists of records whose first member is `T* next`. A list is
// a head pointer; null is empty. Nodes come from memAlloc.

template <class T>
concept listNode = std::is_standard_layout_v<T> && requires(T* n) {
    { n->next } -> std::same_as<T*&>;
};

template <listNode T>
void listAppend(T** head, T* node)
{
    if (!head || !node)
        return;
    node->next = nullptr;
    while (*head)
        head = &(*head)->next;
    *head = node;
}

// 1 when the node was found and unlinked, else 0.
template <listNode T>
int listRemove(T** head, T* node)
{
    if (!head || !node)
        return 0;
    for (T** link = head; *link; link = &(*link)->next) {
        if (*link == node) {
            *link = node->next;
            node->next = nullptr;
            return 1;
        }
    }
    return 0;
}

template <listNode T>
void listFreeAll(T** head)
{
    static_assert(std::is_trivially_destructible_v<T>, "list nodes are freed without running destructors");
    if (!head)
        return;
    while (T* node = *head) {
        *head = node->next;
        memHooks.free(node);
    }
}
