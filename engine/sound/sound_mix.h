// The mixer's inner loops: one voice (a ring of PCM frames played at a fixed
// step) added into a 32-bit accumulator with gain and pan, and the final
// clip. Private to engine/sound; the benchmark times it directly.
//
// Resampling holds each source frame until the next one is due (the
// position is 32.32 fixed point in source frames). At equal rates and unity
// gain a voice's samples reach the accumulator unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mix {

struct Voice {
    const uint8_t* data = nullptr;
    uint32_t frames = 0;      // frames in the ring
    uint16_t channels = 1;    // 1 or 2
    uint16_t bits = 16;       // 8 (unsigned) or 16 (signed little-endian)
    uint64_t step = 1ull << 32;   // source frames per output frame, 32.32
    uint64_t position = 0;    // source frame, 32.32
    int32_t gain_left = 65536;    // 16.16
    int32_t gain_right = 65536;
};

// Adds `frames` output frames of the voice into acc (`out_channels`
// interleaved, 1 or 2). A looping voice wraps at the end of its ring;
// another one stops there, and the result is false once it has. A muted
// voice advances without adding anything.
bool mix_voice(Voice& voice, int32_t* acc, uint32_t frames, uint32_t out_channels, bool looping, bool muted);

// Clips the accumulator to signed 16-bit samples.
void clip(const int32_t* acc, int16_t* out, size_t samples);

} // namespace mix
