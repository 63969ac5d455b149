// The index of the configuration's names: where each variable stands in
// the list, found in a few steps however long the list is. A settings
// file may hold hundreds of thousands of keys (a tool's, or damage that
// reads as lines), and a look-up through the whole list for each of them
// would make the load grow with the square of the file.
//
// Open addressing with linear probing over a table at most half full, each
// slot a name's hash and its variable's place. The table is one block of
// the layer's memory, made quietly so that the list's growth is reported
// in one place (cfg.cpp), and nothing is ever removed from it (variables
// stay until the list goes).
#include "engine/base/cfg_internal.h"

namespace {

inline unsigned char folded(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

} // namespace

bool cfgSameName(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const unsigned char x = folded(*a), y = folded(*b);
        if (x != y)
            return false;
        if (x == 0)
            return true;
    }
}

uint32_t cfgNameHash(const char* name)
{
    // FNV-1a: names that differ in one letter or a number's last digit
    // (track_gate_17, track_gate_18) spread over the whole table.
    uint32_t hash = 2166136261u;
    for (; *name; ++name)
        hash = (hash ^ folded(*name)) * 16777619u;
    return hash;
}

cfgSlotTy* cfgIndexSlot(cfgSlotTy* index, uint32_t slots, cfgVarCTy* const* vars, const char* name, uint32_t hash)
{
    // The hash kept in the slot spares a look at a name that differs: in
    // a large list each such look is a cache miss.
    const uint32_t mask = slots - 1;
    for (uint32_t at = hash & mask;; at = (at + 1) & mask) {
        const cfgSlotTy& slot = index[at];
        if (slot.place == 0 || (slot.hash == hash && cfgSameName(vars[slot.place - 1]->name, name)))
            return &index[at];
    }
}

cfgSlotTy* cfgIndexGrown(const cfgSlotTy* index, uint32_t slots, uint32_t grown_slots)
{
    auto* grown = static_cast<cfgSlotTy*>(memHooks.allocZ(grown_slots, sizeof(cfgSlotTy)));
    if (!grown)
        return nullptr;
    // The names differ: each goes to the first free slot from its hash,
    // kept in its old slot, so that no name is looked at again.
    const uint32_t mask = grown_slots - 1;
    for (uint32_t old = 0; old < slots; ++old) {
        if (index[old].place == 0)
            continue;
        uint32_t at = index[old].hash & mask;
        while (grown[at].place != 0)
            at = (at + 1) & mask;
        grown[at] = index[old];
    }
    return grown;
}
