// The Ogg Vorbis source over a fuzzed file through vorbisfile's memory
// callbacks: open, read in uneven pieces, seek back and forth.
#include "engine/sound/snd_sources.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// On some damaged streams a failing ov_open_callbacks leaks its own scan
// state, which nothing hands back to be freed; LeakSanitizer passes over
// blocks that vorbisfile itself allocated, and still reports the source's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbisfile.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    oggSource* source = oggOpenImage(data, size);
    if (!source)
        return 0;
    const uint32_t end = oggFormat(source).dataLength;
    std::vector<uint8_t> chunk(16384);
    const uint32_t sizes[] = {16384, 1001, 2, 8192};
    uint32_t position = 0;
    for (int i = 0; i < 100 && position < end; ++i)
        position = oggRead(source, chunk.data(), position, sizes[i % 4], -1);
    // A loop's restart, then a read in the middle.
    (void)oggRead(source, chunk.data(), 0, 4096, -1);
    (void)oggRead(source, chunk.data(), end / 2 + 1, 4096, -1);
    oggClose(source);
    return 0;
}
