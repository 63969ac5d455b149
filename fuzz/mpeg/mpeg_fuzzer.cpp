// The MPEG audio decoder over fuzzed bytes, driven as the sound system's MP3
// source drives it: find the first header, set up, then find and decode
// frame after frame. The whole input is the stream, so real MP3 files seed
// the corpus as they are; the options (reduction, channel choice, 8-bit
// output, frequency limit) come from its last byte.
#include "engine/sound/mpeg/mpeg.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Large; kept out of the stack and reused across runs.
mpaDec dec;
uint8_t pcm[4608];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[size - 1];
    const uint8_t* stream = data;
    const int32_t n = static_cast<int32_t>(std::min<size_t>(size, 1 << 20));

    mpaHead head;
    int32_t bitrate = 0, offset = 0;
    const int32_t len = mpaFindHead(stream, std::min(n, 4096), &head, &bitrate, &offset);
    mpaInit(&dec, 1);
    const int32_t reduction = options & 3;
    const int32_t convert = ((options >> 2) & 3) | (options & 0x10 ? 8 : 0);
    const int32_t freq_limit = options & 0x20 ? 6000 : 24000;
    if (len != 0 && mpaDecodeInit(&dec, &head, len, reduction, 0, convert, freq_limit)) {
        mpaInfo info;
        mpaGetInfo(&dec, &info);
        int32_t pos = 0;
        for (int32_t frames = 0; frames < 4096; ++frames) {
            mpaHead h;
            if (mpaFindHead(stream + pos, n - pos, &h, &bitrate, &offset) == 0 || pos + offset >= n) break;
            pos += offset;
            const mpaResult r = mpaDecode(&dec, stream + pos, n - pos, pcm);
            if (r.consumed == 0) break;
            if (r.written > sizeof pcm || static_cast<int32_t>(r.consumed) > n - pos) __builtin_trap();
            pos += static_cast<int32_t>(r.consumed);
        }
    }
    mpaDone(&dec);
    return 0;
}
