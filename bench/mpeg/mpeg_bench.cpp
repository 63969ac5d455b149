// Decoding layer III streams with our decoder and with libavcodec's mp3float
// decoder (its float output converted to 16 bits, as ours delivers), in the
// same process on the same bytes in memory: a 60-second 44.1 kHz joint-stereo
// 128 kbit/s stream and a 60-second 22.05 kHz MPEG-2 stream, both made by
// lame at start-up from music-like content (a chord, a moving chirp and
// noise bursts). Reports the decoding speed as a multiple of real time;
// the side_by_side rows decode with both in every iteration and give the
// goal measure as "ratio", libavcodec's time over ours.
#include "tests/engine/sound/mpeg/mpeg_fixture.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>

namespace {

struct Stream {
    int32_t rate;
    std::vector<uint8_t> bytes;
};

Stream make(int32_t rate, const char* args, const char* name)
{
    mpegtest::Signal s{rate, 2, {}};
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const size_t n = static_cast<size_t>(60 * rate);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double chord = 0.2 * std::sin(2 * M_PI * 220 * t) + 0.15 * std::sin(2 * M_PI * 277.2 * t) +
                             0.1 * std::sin(2 * M_PI * 329.6 * t);
        const double sweep = 0.15 * std::sin(2 * M_PI * (300 * t + 40 * t * t));
        // A short noise burst every half second, so the encoder switches
        // to short blocks as it does on drums.
        const double beat = std::fmod(t, 0.5) < 0.03 ? 0.2 * noise(rng) : 0.0;
        s.pcm.push_back(static_cast<int16_t>(32767 * (chord + sweep + beat)));
        s.pcm.push_back(static_cast<int16_t>(32767 * (chord - sweep + beat)));
    }
    return {rate, mpegtest::lame(s, args, name)};
}

const Stream& stream(int64_t which)
{
    static const Stream full = make(44100, "-b 128 -m j", "bench_44k");
    static const Stream half = make(22050, "-b 64 -m j", "bench_22k");
    return which == 0 ? full : half;
}

void report(benchmark::State& state, const Stream& s, size_t values)
{
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(values) / 2 / s.rate, benchmark::Counter::kIsIterationInvariantRate);
}

// One decode of the whole stream by our decoder; returns the PCM values
// written, or 0 when set-up fails.
size_t decode_ours(const Stream& s, mpaDec* dec)
{
    const auto& data = s.bytes;
    const int32_t n = static_cast<int32_t>(data.size());
    mpaHead head;
    int32_t bitrate, offset;
    const int32_t len = mpaFindHead(data.data(), std::min(n, 4096), &head, &bitrate, &offset);
    mpaInit(dec, 1);
    if (!mpaDecodeInit(dec, &head, len, 0, 0, 0, 24000)) return 0;
    uint8_t pcm[4608];
    size_t values = 0;
    for (int32_t pos = 0;;) {
        if (mpaFindHead(data.data() + pos, n - pos, &head, &bitrate, &offset) == 0 || pos + offset >= n) break;
        pos += offset;
        const mpaResult r = mpaDecode(dec, data.data() + pos, n - pos, pcm);
        if (r.consumed == 0) break;
        pos += static_cast<int32_t>(r.consumed);
        values += r.written / 2;
        benchmark::DoNotOptimize(pcm);
    }
    mpaDone(dec);
    return values;
}

// One decode of the whole stream by libavcodec's mp3float with its parser,
// the float output converted to 16 bits; returns the PCM values written,
// or 0 when the decoder cannot be opened.
size_t decode_libavcodec(const Stream& s, const AVCodec* codec, AVPacket* pkt, AVFrame* frame)
{
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MP3);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    size_t values = 0;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        av_parser_close(parser);
        return 0;
    }
    int16_t pcm[4608];
    auto take = [&] {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            const int channels = frame->ch_layout.nb_channels;
            const int count = std::min(frame->nb_samples, 4608 / channels);
            for (int c = 0; c < channels; ++c) {
                const float* in = reinterpret_cast<const float*>(frame->extended_data[c]);
                for (int i = 0; i < count; ++i) {
                    pcm[i * channels + c] = static_cast<int16_t>(std::clamp(std::lrint(in[i] * 32768.0f), -32768L, 32767L));
                }
            }
            values += static_cast<size_t>(count * channels);
            benchmark::DoNotOptimize(pcm);
        }
    };
    const uint8_t* p = s.bytes.data();
    int left = static_cast<int>(s.bytes.size());
    while (left > 0) {
        uint8_t* out = nullptr;
        int out_size = 0;
        const int used = av_parser_parse2(parser, ctx, &out, &out_size, p, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) break;
        p += used;
        left -= used;
        if (out_size > 0) {
            pkt->data = out;
            pkt->size = out_size;
            if (avcodec_send_packet(ctx, pkt) == 0) take();
        }
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    avcodec_free_context(&ctx);
    av_parser_close(parser);
    return values;
}

void ours(benchmark::State& state)
{
    const Stream& s = stream(state.range(0));
    if (s.bytes.empty()) {
        state.SkipWithError("lame is not installed");
        return;
    }
    auto dec = std::make_unique<mpaDec>();
    size_t values = 0;
    for (auto _ : state) {
        values = decode_ours(s, dec.get());
        if (values == 0) {
            state.SkipWithError("set-up failed");
            break;
        }
    }
    report(state, s, values);
}

void libavcodec(benchmark::State& state)
{
    const Stream& s = stream(state.range(0));
    const AVCodec* codec = avcodec_find_decoder_by_name("mp3float");
    if (s.bytes.empty() || codec == nullptr) {
        state.SkipWithError("lame or libavcodec's mp3float decoder is missing");
        return;
    }
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    size_t values = 0;
    for (auto _ : state) {
        values = decode_libavcodec(s, codec, pkt, frame);
        if (values == 0) {
            state.SkipWithError("libavcodec failed");
            break;
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    report(state, s, values);
}

// Both decoders back to back in every iteration, so that they see the
// same load on a shared machine; "ratio" is libavcodec's best time over
// ours (above 1: ours is faster).
void side_by_side(benchmark::State& state)
{
    const Stream& s = stream(state.range(0));
    const AVCodec* codec = avcodec_find_decoder_by_name("mp3float");
    if (s.bytes.empty() || codec == nullptr) {
        state.SkipWithError("lame or libavcodec's mp3float decoder is missing");
        return;
    }
    auto dec = std::make_unique<mpaDec>();
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double best_ours = 1e30, best_ref = 1e30;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const size_t a = decode_ours(s, dec.get());
        const auto t1 = std::chrono::steady_clock::now();
        const size_t b = decode_libavcodec(s, codec, pkt, frame);
        const auto t2 = std::chrono::steady_clock::now();
        if (a == 0 || b == 0) {
            state.SkipWithError("a decoder failed");
            break;
        }
        best_ours = std::min(best_ours, std::chrono::duration<double>(t1 - t0).count());
        best_ref = std::min(best_ref, std::chrono::duration<double>(t2 - t1).count());
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    state.counters["ratio"] = best_ref / best_ours;
}

// Argument 0: the 44.1 kHz stream; 1: the 22.05 kHz MPEG-2 stream.
BENCHMARK(ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(libavcodec)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(side_by_side)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
