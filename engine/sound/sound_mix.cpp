#include "engine/sound/sound_mix.h"

#include <algorithm>

namespace mix {

namespace {

// One source sample as a signed 16-bit value.
template <int Bits>
inline int32_t load(const uint8_t* p)
{
    if constexpr (Bits == 8)
        return (int32_t(p[0]) - 128) << 8;
    else
        return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

// The loop for one source layout and output channel count, over a stretch
// in which the position stays inside the ring (the caller splits at wraps),
// so the body has no tests.
template <int Bits, int InCh, int OutCh>
void mix_run(const Voice& v, uint64_t pos, int32_t* acc, uint32_t n)
{
    constexpr int block = InCh * Bits / 8;
    const int32_t gl = v.gain_left, gr = v.gain_right;
    const uint64_t step = v.step;
    for (uint32_t i = 0; i < n; ++i, pos += step) {
        const uint8_t* p = v.data + size_t(pos >> 32) * block;
        const int32_t l = load<Bits>(p);
        const int32_t r = InCh == 2 ? load<Bits>(p + Bits / 8) : l;
        if constexpr (OutCh == 2) {
            acc[2 * i] += int32_t((int64_t(l) * gl) >> 16);
            acc[2 * i + 1] += int32_t((int64_t(r) * gr) >> 16);
        } else {
            // A mono output hears both sides at the mean of their gains.
            acc[i] += int32_t((int64_t(l + r) * ((gl + gr) >> 1)) >> 17);
        }
    }
}

using RunFn = void (*)(const Voice&, uint64_t, int32_t*, uint32_t);

// Rows by [bits == 16][in channels - 1][out channels - 1].
constexpr RunFn runs[2][2][2] = {
    {{mix_run<8, 1, 1>, mix_run<8, 1, 2>}, {mix_run<8, 2, 1>, mix_run<8, 2, 2>}},
    {{mix_run<16, 1, 1>, mix_run<16, 1, 2>}, {mix_run<16, 2, 1>, mix_run<16, 2, 2>}},
};

} // namespace

bool mix_voice(Voice& v, int32_t* acc, uint32_t frames, uint32_t out_channels, bool looping, bool muted)
{
    const RunFn run = runs[v.bits == 16][v.channels - 1][out_channels - 1];
    const uint64_t end = uint64_t(v.frames) << 32;
    uint32_t done = 0;
    while (done < frames) {
        if (v.position >= end) {
            if (!looping)
                return false;
            v.position %= end;
        }
        // Output frames before the position leaves the ring.
        const uint64_t left = (end - v.position + v.step - 1) / v.step;
        const auto n = uint32_t(std::min<uint64_t>(left, frames - done));
        if (!muted)
            run(v, v.position, acc + size_t(done) * out_channels, n);
        v.position += v.step * n;
        done += n;
    }
    if (v.position >= end && !looping)
        return false;
    return true;
}

void clip(const int32_t* acc, int16_t* out, size_t samples)
{
    for (size_t i = 0; i < samples; ++i)
        out[i] = int16_t(std::clamp(acc[i], -32768, 32767));
}

} // namespace mix
