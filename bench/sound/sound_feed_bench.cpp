// The feeder's refill of one half of a streaming buffer (16384 bytes, the
// time the feeder holds the channel lock for it), from the MP3 and the Ogg
// Vorbis sources, beside the same 16384 bytes decoded by libmpg123 and by
// ov_read directly. The streams are 44.1 kHz stereo, made by lame and
// libvorbisenc when the benchmark starts.
#include "engine/sound/snd_sources.h"
#include "tests/engine/sound/sound_fixture.h"

#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t half = 16384;

const mpegtest::Signal& signal()
{
    static const auto s = mpegtest::chirp(44100, 2, 20.0, 100, 8000, 0.5);
    return s;
}

const std::vector<uint8_t>& mp3_stream()
{
    static const auto bytes = mpegtest::lame(signal(), "-b 160", "feed_bench");
    return bytes;
}

const std::vector<uint8_t>& ogg_stream()
{
    static const auto bytes = soundtest::vorbis_encode(signal());
    return bytes;
}

void Mp3SourceRefill(benchmark::State& state)
{
    mp3Source* s = mp3OpenImage(mp3_stream().data(), mp3_stream().size());
    if (!s) {
        state.SkipWithError("no MP3 stream (is lame installed?)");
        return;
    }
    std::vector<uint8_t> buf(half);
    uint32_t position = 0;
    for (auto _ : state) {
        position = mp3Read(s, buf.data(), position, half, -1);
        if (position >= mp3Format(s).dataLength) {
            state.PauseTiming();
            mp3Rewind(s);
            position = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(buf.data());
    }
    mp3Close(s);
}

void Mpg123Refill(benchmark::State& state)
{
    static const bool initialised = mpg123_init() == MPG123_OK;
    int err = 0;
    mpg123_handle* mh = initialised ? mpg123_new(nullptr, &err) : nullptr;
    if (!mh || mp3_stream().empty()) {
        state.SkipWithError("libmpg123 or the stream is missing");
        return;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    auto open = [&] {
        mpg123_open_feed(mh);
        mpg123_feed(mh, mp3_stream().data(), mp3_stream().size());
    };
    open();
    std::vector<uint8_t> buf(half);
    for (auto _ : state) {
        size_t done = 0;
        const int rc = mpg123_read(mh, buf.data(), buf.size(), &done);
        if (rc == MPG123_DONE || rc == MPG123_NEED_MORE) {
            state.PauseTiming();
            mpg123_close(mh);
            open();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(buf.data());
    }
    mpg123_delete(mh);
}

void OggSourceRefill(benchmark::State& state)
{
    oggSource* s = oggOpenImage(ogg_stream().data(), ogg_stream().size());
    if (!s) {
        state.SkipWithError("no Ogg Vorbis stream");
        return;
    }
    std::vector<uint8_t> buf(half);
    uint32_t position = 0;
    for (auto _ : state) {
        // At the end the next read is at 0: the source seeks back, as for
        // a loop.
        position = oggRead(s, buf.data(), position, half, -1);
        if (position >= oggFormat(s).dataLength)
            position = 0;
        benchmark::DoNotOptimize(buf.data());
    }
    oggClose(s);
}

struct Memory {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
};

void OvReadRefill(benchmark::State& state)
{
    Memory m{&ogg_stream()};
    const ov_callbacks callbacks{
        [](void* p, size_t size, size_t n, void* src) -> size_t {
            auto* mem = static_cast<Memory*>(src);
            const size_t items = std::min(n, (mem->bytes->size() - mem->at) / size);
            std::memcpy(p, mem->bytes->data() + mem->at, items * size);
            mem->at += items * size;
            return items;
        },
        [](void* src, ogg_int64_t off, int whence) -> int {
            auto* mem = static_cast<Memory*>(src);
            const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(mem->at) : int64_t(mem->bytes->size());
            mem->at = size_t(base + off);
            return 0;
        },
        nullptr, [](void* src) -> long { return long(static_cast<Memory*>(src)->at); }};
    OggVorbis_File vf;
    if (ov_open_callbacks(&m, &vf, nullptr, 0, callbacks) != 0) {
        state.SkipWithError("no Ogg Vorbis stream");
        return;
    }
    std::vector<uint8_t> buf(half);
    int section = 0;
    for (auto _ : state) {
        uint32_t got = 0;
        while (got < half) {
            const long r = ov_read(&vf, reinterpret_cast<char*>(buf.data() + got), int(half - got), 0, 2, 1, &section);
            if (r <= 0) {
                ov_pcm_seek(&vf, 0);
                continue;
            }
            got += uint32_t(r);
        }
        benchmark::DoNotOptimize(buf.data());
    }
    ov_clear(&vf);
}

BENCHMARK(Mp3SourceRefill)->Unit(benchmark::kMicrosecond);
BENCHMARK(Mpg123Refill)->Unit(benchmark::kMicrosecond);
BENCHMARK(OggSourceRefill)->Unit(benchmark::kMicrosecond);
BENCHMARK(OvReadRefill)->Unit(benchmark::kMicrosecond);

} // namespace
