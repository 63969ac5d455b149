// One second of output at 48 kHz stereo, mixed from ten 22.05 kHz mono
// 16-bit voices and one 44.1 kHz stereo stream, in blocks of 1024 frames:
//  - Mixer:     the engine's mixer (voice kernels into the 32-bit
//               accumulator, one clip);
//  - PlainLoop: the same resampling, gain and pan written as one plain loop
//               per voice with the ring test inside, the reference the
//               mixer is held to (goal: at most 1.25x its time);
//  - SdlMix:    SDL_MixAudioFormat adding eleven buffers already at the
//               output's format with a volume (gain only, no resampling).
#include "engine/sound/sound_mix.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t out_rate = 48000;
constexpr uint32_t block = 1024;

struct Scene {
    std::vector<std::vector<int16_t>> pcm;
    std::vector<mix::Voice> voices;
    Scene()
    {
        uint32_t x = 1;
        auto noise = [&] {
            x = x * 1664525u + 1013904223u;
            return int16_t(x >> 20);
        };
        for (int v = 0; v < 11; ++v) {
            const bool music = v == 10;
            const uint32_t rate = music ? 44100 : 22050;
            const uint16_t channels = music ? 2 : 1;
            pcm.emplace_back(size_t(rate) * channels * (music ? 3 : 1) + 7 * size_t(v));
            for (auto& s : pcm.back())
                s = noise();
            mix::Voice voice;
            voice.data = reinterpret_cast<const uint8_t*>(pcm.back().data());
            voice.frames = uint32_t(pcm.back().size() / channels);
            voice.channels = channels;
            voice.bits = 16;
            voice.step = (uint64_t(rate) << 32) / out_rate;
            voice.gain_left = 40000 - 1000 * v;
            voice.gain_right = 30000 + 1000 * v;
            voices.push_back(voice);
        }
    }
};

void Mixer(benchmark::State& state)
{
    Scene scene;
    std::vector<int32_t> acc(block * 2);
    std::vector<int16_t> out(block * 2);
    for (auto _ : state) {
        for (uint32_t done = 0; done < out_rate; done += block) {
            std::fill(acc.begin(), acc.end(), 0);
            for (auto& v : scene.voices)
                mix::mix_voice(v, acc.data(), block, 2, true, false);
            mix::clip(acc.data(), out.data(), acc.size());
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("CPU per second of audio");
}

void PlainLoop(benchmark::State& state)
{
    Scene scene;
    std::vector<int32_t> acc(block * 2);
    std::vector<int16_t> out(block * 2);
    for (auto _ : state) {
        for (uint32_t done = 0; done < out_rate; done += block) {
            std::fill(acc.begin(), acc.end(), 0);
            for (auto& v : scene.voices) {
                const auto* p = reinterpret_cast<const int16_t*>(v.data);
                const uint64_t end = uint64_t(v.frames) << 32;
                for (uint32_t i = 0; i < block; ++i) {
                    if (v.position >= end)
                        v.position -= end;
                    const size_t f = size_t(v.position >> 32) * v.channels;
                    const int32_t l = p[f], r = p[f + v.channels - 1];
                    acc[2 * i] += int32_t((int64_t(l) * v.gain_left) >> 16);
                    acc[2 * i + 1] += int32_t((int64_t(r) * v.gain_right) >> 16);
                    v.position += v.step;
                }
            }
            for (size_t i = 0; i < acc.size(); ++i)
                out[i] = int16_t(std::clamp(acc[i], -32768, 32767));
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("CPU per second of audio");
}

void SdlMix(benchmark::State& state)
{
    std::vector<std::vector<int16_t>> ready(11, std::vector<int16_t>(block * 2));
    uint32_t x = 7;
    for (auto& r : ready)
        for (auto& s : r) {
            x = x * 1664525u + 1013904223u;
            s = int16_t(x >> 20);
        }
    std::vector<int16_t> out(block * 2);
    for (auto _ : state) {
        for (uint32_t done = 0; done < out_rate; done += block) {
            std::memset(out.data(), 0, out.size() * 2);
            for (const auto& r : ready)
                SDL_MixAudioFormat(reinterpret_cast<Uint8*>(out.data()), reinterpret_cast<const Uint8*>(r.data()),
                                   AUDIO_S16SYS, Uint32(out.size() * 2), 80);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("CPU per second of audio (gain only)");
}

BENCHMARK(Mixer)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainLoop)->Unit(benchmark::kMicrosecond);
BENCHMARK(SdlMix)->Unit(benchmark::kMicrosecond);

} // namespace
