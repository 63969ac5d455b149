// A small RIFF reader, bounded by the bytes of the file: finds the 'data'
// chunk of a RIFF form 'RMID' (a standard MIDI file wrapped in RIFF).
#include "engine/sound/mid_internal.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t loadU32le(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

int midRiffFindData(std::span<const uint8_t> file, std::span<const uint8_t>& data)
{
    // RIFF: "RIFF", u32 size of what follows, then the form type and the
    // form's chunks, each {id, u32 size, data padded to an even length}.
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "RMID", 4) != 0) {
        data = file;
        return MID_OK;
    }
    const uint64_t formEnd = std::min<uint64_t>(8 + uint64_t(loadU32le(file.data() + 4)), file.size());
    uint64_t at = 12;
    while (at + 8 <= formEnd) {
        const uint8_t* chunk = file.data() + at;
        const uint32_t size = loadU32le(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (size > formEnd - at - 8)
                return MID_INVALID_FILE;
            data = file.subspan(size_t(at + 8), size);
            return MID_OK;
        }
        at += 8 + uint64_t(size) + (size & 1);
    }
    return MID_INVALID_FILE;
}
