// Decoding a 30-second stereo 44.1 kHz 128 kbit/s layer III stream (made by
// lame at start-up from a chord with a moving chirp) with our decoder and
// with libmpg123, in the same process on the same bytes. Reports the
// decoding speed as a multiple of real time.
#include "tests/engine/sound/mpeg/mpeg_fixture.h"

#include <benchmark/benchmark.h>
#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

const std::vector<uint8_t>& stream()
{
    static const std::vector<uint8_t> data = [] {
        mpegtest::Signal s{44100, 2, {}};
        const size_t n = 30 * 44100;
        for (size_t i = 0; i < n; ++i) {
            const double t = i / 44100.0;
            const double chord = 0.2 * std::sin(2 * M_PI * 220 * t) + 0.15 * std::sin(2 * M_PI * 277.2 * t) +
                                 0.1 * std::sin(2 * M_PI * 329.6 * t);
            const double sweep = 0.15 * std::sin(2 * M_PI * (300 * t + 150 * t * t));
            s.pcm.push_back(static_cast<int16_t>(32767 * (chord + sweep)));
            s.pcm.push_back(static_cast<int16_t>(32767 * (chord - sweep)));
        }
        return mpegtest::lame(s, "-b 128 -m j", "bench_30s");
    }();
    return data;
}

void report(benchmark::State& state, size_t samples)
{
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(samples) / 2 / 44100, benchmark::Counter::kIsIterationInvariantRate);
}

void ours_decode_30s(benchmark::State& state)
{
    const auto& data = stream();
    if (data.empty()) {
        state.SkipWithError("lame is not installed");
        return;
    }
    auto dec = std::make_unique<mpaDec>();
    const int32_t n = static_cast<int32_t>(data.size());
    size_t samples = 0;
    for (auto _ : state) {
        mpaHead head;
        int32_t bitrate, offset;
        const int32_t len = mpaFindHead(data.data(), std::min(n, 4096), &head, &bitrate, &offset);
        mpaInit(dec.get(), 1);
        if (!mpaDecodeInit(dec.get(), &head, len, 0, 0, 0, 24000)) {
            state.SkipWithError("set-up failed");
            break;
        }
        uint8_t pcm[4608];
        samples = 0;
        for (int32_t pos = 0;;) {
            if (mpaFindHead(data.data() + pos, n - pos, &head, &bitrate, &offset) == 0 || pos + offset >= n) break;
            pos += offset;
            const mpaResult r = mpaDecode(dec.get(), data.data() + pos, n - pos, pcm);
            if (r.consumed == 0) break;
            pos += static_cast<int32_t>(r.consumed);
            samples += r.written / 2;
            benchmark::DoNotOptimize(pcm);
        }
        mpaDone(dec.get());
    }
    report(state, samples);
}

void mpg123_decode_30s(benchmark::State& state)
{
    const auto& data = stream();
    if (data.empty()) {
        state.SkipWithError("lame is not installed");
        return;
    }
    static const bool initialised = mpg123_init() == MPG123_OK;
    size_t samples = 0;
    std::vector<unsigned char> buf(1 << 16);
    for (auto _ : state) {
        int err = 0;
        mpg123_handle* mh = mpg123_new(nullptr, &err);
        if (!initialised || mh == nullptr) {
            state.SkipWithError("libmpg123 failed");
            break;
        }
        mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
        mpg123_format_none(mh);
        mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
        mpg123_open_feed(mh);
        mpg123_feed(mh, data.data(), data.size());
        samples = 0;
        for (;;) {
            size_t done = 0;
            const int rc = mpg123_read(mh, buf.data(), buf.size(), &done);
            samples += done / 2;
            benchmark::DoNotOptimize(buf.data());
            if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) break;
        }
        mpg123_delete(mh);
    }
    report(state, samples);
}

BENCHMARK(ours_decode_30s)->Unit(benchmark::kMillisecond);
BENCHMARK(mpg123_decode_30s)->Unit(benchmark::kMillisecond);

}  // namespace
