// The MP3 source over a fuzzed file: first-frame search, the frame walk
// and the remainder kept between reads of uneven sizes, then a rewind.
#include "engine/sound/snd_sources.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mp3Source* source = mp3OpenImage(data, size);
    if (!source)
        return 0;
    const uint32_t end = mp3Format(source).dataLength;
    std::vector<uint8_t> chunk(16384);
    const uint32_t sizes[] = {16384, 1000, 4608, 3, 7000};
    // The whole stream (at most about a megabyte of PCM), then the start
    // again after a rewind.
    for (int reads : {200, 5}) {
        uint32_t position = 0;
        for (int i = 0; i < reads && position < end; ++i) {
            const uint32_t n = sizes[i % 5];
            const uint32_t next = mp3Read(source, chunk.data(), position, n, -1);
            if (next < end && next > position + n)
                __builtin_trap();
            position = next;
        }
        mp3Rewind(source);
    }
    mp3Close(source);
    return 0;
}
