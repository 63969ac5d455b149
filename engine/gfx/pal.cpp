// Palettes: entries, the converted table cache and the nearest-colour search.
#include "engine/gfx/gfx_internal.h"

#include <cstring>

namespace {

uint32_t* new_entries(uint32_t n) { return static_cast<uint32_t*>(memAlloc(size_t { n } * sizeof(uint32_t))); }

} // namespace

palCTy* palSharedPlaceholder()
{
    static palCTy placeholder;
    return &placeholder;
}

palCTy::~palCTy()
{
    memFree(entries);
    memFree(table);
}

void palCTy::Set(const uint32_t* colours, uint32_t n)
{
    // The new block is filled before the old one goes, so that a caller may
    // pass this palette's own entries.
    uint32_t* fresh = new_entries(n);
    if (fresh) {
        for (uint32_t i = 0; i < n; ++i)
            fresh[i] = (colours[i] & 0x00FFFFFF) | 0xFF000000;
    }
    memFree(entries);
    entries = fresh;
    // An entry count without entries would send every reader past a null
    // pointer: a palette whose block could not be had is empty.
    count = fresh ? n : 0;
    tableFmt = 0;
}

void palCTy::Copy(const palCTy* other)
{
    if (!other || other == this)
        return;
    uint32_t* fresh = new_entries(other->count);
    if (fresh && other->count)
        std::memcpy(fresh, other->entries, size_t { other->count } * sizeof(uint32_t));
    memFree(entries);
    entries = fresh;
    count = fresh ? other->count : 0;
    tableFmt = 0;
}

void palCTy::BuildTbl(uint32_t format)
{
    if (this == palSharedPlaceholder())
        return; // stands for a palette that is not there yet; it gets no table
    if (table && tableFmt == format)
        return;
    memFree(table);
    table = nullptr;
    tableFmt = 0;
    const uint32_t bytes = pelSize(format);
    auto* fresh = static_cast<uint8_t*>(memAlloc(size_t { count } * bytes));
    if (!fresh)
        return;
    table = fresh;
    tableFmt = format;
    const auto* e = reinterpret_cast<const uint8_t*>(entries);
    switch (format) {
    case pel_FMT_R8G8B8:
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(table + 3 * size_t { i }, e + 4 * size_t { i }, 3);
        return;
    case pel_FMT_X8R8G8B8:
    case pel_FMT_A8R8G8B8:
        if (count)
            std::memcpy(table, entries, size_t { count } * 4);
        return;
    case pel_FMT_R5G6B5:
    case pel_FMT_X1R5G5B5:
    case pel_FMT_A1R5G5B5: {
        // Every entry of a 5:5:5 build carries the same bit 15: set for
        // A1R5G5B5 (a palette colour is opaque), clear for X1R5G5B5.
        const uint16_t top = format == pel_FMT_A1R5G5B5 ? 0x8000 : 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* bgr = e + 4 * size_t { i };
            uint16_t pel = top;
            if (format == pel_FMT_R5G6B5)
                pelSet565(&pel, bgr);
            else
                pelSet555(&pel, bgr);
            std::memcpy(table + 2 * size_t { i }, &pel, 2);
        }
        return;
    }
    default:
        // Readers index the table whatever happened here: give them zeros
        // rather than uninitialised memory.
        if (count && bytes)
            std::memset(table, 0, size_t { count } * bytes);
        gfxReportNotImpl("palCTy::BuildTbl: not impelmetned yet");
        return;
    }
}

uint8_t palCTy::FindNearest(uint8_t b, uint8_t g, uint8_t r) const
{
    int best = 10000;
    uint32_t bestIndex = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t c = entries[i];
        const int db = int(c & 0xFF) - b;
        const int dg = int((c >> 8) & 0xFF) - g;
        const int dr = int((c >> 16) & 0xFF) - r;
        const int d = db * db + dg * dg + dr * dr;
        if (d == 0)
            return static_cast<uint8_t>(i);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return static_cast<uint8_t>(bestIndex);
}

void palCTy::Write(rwCTy* stream) const
{
    rwWriteU32(stream, count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t c = entries[i];
        const uint8_t rgb[3] = { uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c) };
        rwWrite(stream, rgb, 3);
    }
}

int palCTy::Read(rwCTy* stream)
{
    uint32_t n;
    if (const int rc = gfxReadU32(stream, &n))
        return rc;
    if (n == 0) {
        tableFmt = 0;
        return 0;
    }
    // The count comes from the data: nothing is allocated for entries the
    // stream does not hold.
    const size_t bytes = size_t { n } * 3;
    if (bytes > gfxStreamLeft(stream))
        return gfxFailShortRead(stream, bytes);
    uint32_t* fresh = new_entries(n);
    if (!fresh)
        return ERR_NO_MEMORY;
    const uint8_t* rgb = stream->data + stream->position;
    for (uint32_t i = 0; i < n; ++i, rgb += 3)
        fresh[i] = 0xFF000000 | uint32_t { rgb[0] } << 16 | uint32_t { rgb[1] } << 8 | rgb[2];
    rwSeek(stream, stream->position + bytes);
    memFree(entries);
    entries = fresh;
    count = n;
    tableFmt = 0;
    return 0;
}
