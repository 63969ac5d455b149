// The feeder's refill of one half of a streaming buffer (16384 bytes, the
// time the feeder holds the channel lock for it), from the MP3 and the Ogg
// Vorbis sources, beside the same 16384 bytes decoded by libavcodec and by
// ov_read directly. The streams are 44.1 kHz stereo, made by lame and
// libvorbisenc when the benchmark starts.
#include "engine/sound/snd_sources.h"
#include "tests/engine/sound/sound_fixture.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
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

// libavcodec's mp3float decoder filling the same 16384 bytes of 16-bit PCM
// frame by frame from the stream in memory, keeping what a frame leaves over
// for the next refill, as the MP3 source does.
struct AvMp3 {
    const AVCodec* codec = avcodec_find_decoder_by_name("mp3float");
    AVCodecParserContext* parser = nullptr;
    AVCodecContext* ctx = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    size_t at = 0;
    std::vector<int16_t> pending;

    bool open()
    {
        close();
        parser = av_parser_init(AV_CODEC_ID_MP3);
        ctx = avcodec_alloc_context3(codec);
        at = 0;
        pending.clear();
        return parser && ctx && avcodec_open2(ctx, codec, nullptr) == 0;
    }
    void close()
    {
        avcodec_free_context(&ctx);
        av_parser_close(parser);
        parser = nullptr;
    }
    ~AvMp3()
    {
        close();
        av_frame_free(&frame);
        av_packet_free(&pkt);
    }
    // Appends the next frame's samples; false at the end of the stream.
    bool next()
    {
        const auto& bytes = mp3_stream();
        while (at < bytes.size()) {
            uint8_t* out = nullptr;
            int out_size = 0;
            const int used = av_parser_parse2(parser, ctx, &out, &out_size, bytes.data() + at, int(bytes.size() - at),
                                              AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0)
                return false;
            at += size_t(used);
            if (out_size == 0)
                continue;
            pkt->data = out;
            pkt->size = out_size;
            if (avcodec_send_packet(ctx, pkt) != 0)
                continue;
            bool got = false;
            while (avcodec_receive_frame(ctx, frame) == 0) {
                const int channels = frame->ch_layout.nb_channels;
                for (int i = 0; i < frame->nb_samples; ++i) {
                    for (int c = 0; c < channels; ++c) {
                        const float v = reinterpret_cast<const float*>(frame->extended_data[c])[i];
                        pending.push_back(int16_t(std::clamp(std::lrint(v * 32768.0f), -32768L, 32767L)));
                    }
                }
                got = true;
            }
            if (got)
                return true;
        }
        return false;
    }
};

void LibavcodecRefill(benchmark::State& state)
{
    AvMp3 av;
    if (!av.codec || !av.pkt || !av.frame || mp3_stream().empty() || !av.open()) {
        state.SkipWithError("libavcodec's mp3float decoder or the stream is missing");
        return;
    }
    std::vector<uint8_t> buf(half);
    for (auto _ : state) {
        while (av.pending.size() * 2 < half) {
            if (!av.next()) {
                state.PauseTiming();
                (void)av.open();
                state.ResumeTiming();
            }
        }
        std::memcpy(buf.data(), av.pending.data(), half);
        av.pending.erase(av.pending.begin(), av.pending.begin() + half / 2);
        benchmark::DoNotOptimize(buf.data());
    }
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
BENCHMARK(LibavcodecRefill)->Unit(benchmark::kMicrosecond);
BENCHMARK(OggSourceRefill)->Unit(benchmark::kMicrosecond);
BENCHMARK(OvReadRefill)->Unit(benchmark::kMicrosecond);

} // namespace
