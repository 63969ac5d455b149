#include "mpeg_fixture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>

namespace mpegtest {

namespace {

constexpr double pi = 3.14159265358979323846;

int16_t to_pcm(double v)
{
    return static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
}

struct WorkDir {
    std::filesystem::path path;
    WorkDir()
    {
        std::random_device rd;
        path = std::filesystem::temp_directory_path() / ("quarn_mpeg_test_" + std::to_string(rd()));
        std::filesystem::create_directories(path);
    }
    ~WorkDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

void put16(std::ofstream& out, uint16_t v)
{
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out.write(b, 2);
}

void put32(std::ofstream& out, uint32_t v)
{
    put16(out, static_cast<uint16_t>(v & 0xFFFF));
    put16(out, static_cast<uint16_t>(v >> 16));
}

std::vector<uint8_t> encode(const char* tool, const Signal& s, const std::string& args, const std::string& name)
{
    const auto wav = work_dir() / (name + ".wav");
    const auto out = work_dir() / (name + ".mpa");
    write_wav(wav, s);
    const std::string quiet = std::string(tool) == "lame" ? " -t --quiet " : " --quiet ";
    const std::string cmd = std::string(tool) + quiet + args + " \"" + wav.string() + "\" \"" + out.string() + "\" >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return {};
    return read_file(out);
}

}  // namespace

Signal sine(int32_t rate, int32_t channels, double seconds, double f_left, double f_right, double amp)
{
    Signal s{rate, channels, {}};
    const size_t n = static_cast<size_t>(seconds * rate);
    s.pcm.reserve(n * channels);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        s.pcm.push_back(to_pcm(amp * std::sin(2 * pi * f_left * t)));
        if (channels == 2) s.pcm.push_back(to_pcm(amp * std::sin(2 * pi * f_right * t)));
    }
    return s;
}

Signal chirp(int32_t rate, int32_t channels, double seconds, double f0, double f1, double amp)
{
    Signal s{rate, channels, {}};
    const size_t n = static_cast<size_t>(seconds * rate);
    const double k = (f1 - f0) / seconds;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const int16_t v = to_pcm(amp * std::sin(2 * pi * (f0 * t + 0.5 * k * t * t)));
        for (int32_t c = 0; c < channels; ++c) s.pcm.push_back(v);
    }
    return s;
}

Signal clicks(int32_t rate, int32_t channels, double seconds, double f, double amp)
{
    Signal s{rate, channels, {}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const size_t n = static_cast<size_t>(seconds * rate);
    const size_t period = static_cast<size_t>(rate / 5);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0.2 * amp * std::sin(2 * pi * f * t);
        if (i % period < 200) v += amp * noise(rng);
        for (int32_t c = 0; c < channels; ++c) s.pcm.push_back(to_pcm(c ? -v : v));
    }
    return s;
}

const std::filesystem::path& work_dir()
{
    static const WorkDir dir;
    return dir.path;
}

bool have_tool(const char* name)
{
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

void write_wav(const std::filesystem::path& path, const Signal& s)
{
    std::ofstream out(path, std::ios::binary);
    const uint32_t data_bytes = static_cast<uint32_t>(s.pcm.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + data_bytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, static_cast<uint16_t>(s.channels));
    put32(out, static_cast<uint32_t>(s.rate));
    put32(out, static_cast<uint32_t>(s.rate * s.channels * 2));
    put16(out, static_cast<uint16_t>(s.channels * 2));
    put16(out, 16);
    out.write("data", 4);
    put32(out, data_bytes);
    for (int16_t v : s.pcm) put16(out, static_cast<uint16_t>(v));
}

std::vector<uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> lame(const Signal& s, const std::string& args, const std::string& name)
{
    // lame resamples on its own at low bit rates; the tests want the rate
    // they asked for.
    const std::string rate = std::to_string(s.rate / 1000.0);
    return encode("lame", s, "--resample " + rate + " " + args, name);
}

std::vector<uint8_t> twolame(const Signal& s, const std::string& args, const std::string& name)
{
    return encode("twolame", s, args, name);
}

Decoded decode(const std::vector<uint8_t>& data, int32_t reduction, int32_t convert, int32_t freq_limit)
{
    Decoded d;
    const int32_t n = static_cast<int32_t>(data.size());
    auto dec = std::make_unique<mpaDec>();
    mpaHead head;
    int32_t bitrate = 0, offset = 0;
    const int32_t len = mpaFindHead(data.data(), std::min(n, 4096), &head, &bitrate, &offset);
    mpaInit(dec.get(), 1);
    if (len == 0 || !mpaDecodeInit(dec.get(), &head, len, reduction, 0, convert, freq_limit)) {
        mpaDone(dec.get());
        return d;
    }
    mpaGetInfo(dec.get(), &d.info);
    int32_t pos = 0;
    uint8_t pcm[4608];
    for (;;) {
        mpaHead h;
        // The last free-format frame has no header after it to measure its
        // length against; it keeps the length of the frames before it.
        if (mpaFindHead(data.data() + pos, n - pos, &h, &bitrate, &offset) == 0 && !(h.sync != 0 && h.bitrate_index == 0))
            break;
        if (pos + offset >= n) break;
        pos += offset;
        const mpaResult r = mpaDecode(dec.get(), data.data() + pos, n - pos, pcm);
        if (r.consumed == 0) break;
        pos += static_cast<int32_t>(r.consumed);
        ++d.frames;
        if (d.info.bits == 8) {
            d.pcm8.insert(d.pcm8.end(), pcm, pcm + r.written);
        } else {
            const int16_t* p = reinterpret_cast<const int16_t*>(pcm);
            d.pcm.insert(d.pcm.end(), p, p + r.written / 2);
        }
    }
    mpaDone(dec.get());
    d.ok = true;
    return d;
}

Decoded decode_reference(const std::vector<uint8_t>& data)
{
    Decoded d;
    mpaHead head;
    int32_t bitrate = 0, offset = 0;
    (void)mpaFindHead(data.data(), static_cast<int32_t>(std::min<size_t>(data.size(), 4096)), &head, &bitrate, &offset);
    if (head.sync == 0) return d;
    const AVCodecID id = head.layer_code == 3 ? AV_CODEC_ID_MP1 : head.layer_code == 2 ? AV_CODEC_ID_MP2 : AV_CODEC_ID_MP3;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (codec == nullptr) return d;
    AVCodecParserContext* parser = av_parser_init(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (parser == nullptr || ctx == nullptr || pkt == nullptr || frame == nullptr || avcodec_open2(ctx, codec, nullptr) < 0) {
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
        av_parser_close(parser);
        return d;
    }
    // The float decoders' output, rounded and clipped to 16 bits.
    auto take = [&]() {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            const int channels = frame->ch_layout.nb_channels;
            d.info.sample_rate = frame->sample_rate;
            d.info.channels = channels;
            d.info.bits = 16;
            const auto fmt = static_cast<AVSampleFormat>(frame->format);
            const bool planar = av_sample_fmt_is_planar(fmt);
            for (int i = 0; i < frame->nb_samples; ++i) {
                for (int c = 0; c < channels; ++c) {
                    const int idx = planar ? i : i * channels + c;
                    const uint8_t* plane = frame->extended_data[planar ? c : 0];
                    double v = 0.0;
                    if (fmt == AV_SAMPLE_FMT_FLTP || fmt == AV_SAMPLE_FMT_FLT) {
                        v = std::lrint(reinterpret_cast<const float*>(plane)[idx] * 32768.0);
                    } else if (fmt == AV_SAMPLE_FMT_S16P || fmt == AV_SAMPLE_FMT_S16) {
                        v = reinterpret_cast<const int16_t*>(plane)[idx];
                    }
                    d.pcm.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
                }
            }
        }
    };
    const uint8_t* p = data.data();
    size_t left = data.size();
    for (bool flushing = false;;) {
        uint8_t* out = nullptr;
        int out_size = 0;
        const int used = av_parser_parse2(parser, ctx, &out, &out_size, flushing ? nullptr : p, flushing ? 0 : static_cast<int>(left),
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0) break;
        p += used;
        left -= static_cast<size_t>(used);
        if (out_size > 0) {
            pkt->data = out;
            pkt->size = out_size;
            if (avcodec_send_packet(ctx, pkt) == 0) take();
        }
        if (flushing && out_size == 0) break;
        if (left == 0) flushing = true;
    }
    avcodec_send_packet(ctx, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    av_parser_close(parser);
    d.ok = true;
    return d;
}

std::vector<int32_t> frame_channels(const std::vector<uint8_t>& data, int32_t* samples_per_frame)
{
    std::vector<int32_t> channels;
    const int32_t n = static_cast<int32_t>(data.size());
    int32_t pos = 0, last_len = 0;
    while (pos + 4 <= n) {
        mpaHead h;
        int32_t len = mpaParseHeadBytes(data.data() + pos, n - pos, &h);
        if (h.sync == 0) break;
        if (len == 0 && h.bitrate_index == 0) len = last_len;
        if (len == 0) break;
        last_len = len;
        *samples_per_frame = h.layer_code == 3 ? 384 : (h.layer_code == 1 && h.id == 0 ? 576 : 1152);
        const int32_t slot = h.layer_code == 3 ? 4 : 1;
        pos += len + h.padding * slot;
        if (pos > n) break;
        channels.push_back(h.mode == 3 ? 1 : 2);
    }
    return channels;
}

std::vector<int16_t> in_output_channels(const std::vector<int16_t>& ref, const std::vector<int32_t>& channels,
                                        int32_t spf, int32_t out_channels)
{
    std::vector<int16_t> out;
    size_t pos = 0;
    for (const int32_t c : channels) {
        for (int32_t i = 0; i < spf && pos + c <= ref.size(); ++i, pos += c) {
            out.push_back(ref[pos]);
            if (out_channels == 2) out.push_back(ref[pos + c - 1]);
        }
    }
    return out;
}

double snr_db(const std::vector<int16_t>& ref, const std::vector<int16_t>& got, size_t skip)
{
    const size_t n = std::min(ref.size(), got.size());
    double sig = 0.0, err = 0.0;
    for (size_t i = skip; i < n; ++i) {
        sig += static_cast<double>(ref[i]) * ref[i];
        const double e = static_cast<double>(ref[i]) - got[i];
        err += e * e;
    }
    if (err == 0.0) return 200.0;
    return 10.0 * std::log10(sig / err);
}

std::vector<double> channel(const std::vector<int16_t>& pcm, int32_t channels, int32_t ch)
{
    std::vector<double> x;
    for (size_t i = static_cast<size_t>(ch); i < pcm.size(); i += static_cast<size_t>(channels)) x.push_back(pcm[i]);
    return x;
}

double dominant_frequency(const std::vector<double>& x, int32_t rate, size_t from)
{
    constexpr size_t n = 8192;
    if (x.size() < from + n) return -1.0;
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * pi * i / (n - 1));
        a[i] = x[from + i] * w;
    }
    // Iterative radix-2 FFT.
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2 * pi / len);
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k, w *= wl) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    size_t best = 1;
    for (size_t k = 1; k < n / 2; ++k) {
        if (std::abs(a[k]) > std::abs(a[best])) best = k;
    }
    return static_cast<double>(best) * rate / n;
}

double tone_snr_db(const std::vector<double>& x, int32_t rate, double f, size_t from, size_t count)
{
    if (x.size() < from + count) return -100.0;
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t i = from; i < from + count; ++i) {
        const double s = std::sin(2 * pi * f * i / rate), c = std::cos(2 * pi * f * i / rate);
        ss += s * s, cc += c * c, sc += s * c, xs += x[i] * s, xc += x[i] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    double sig = 0, res = 0;
    for (size_t i = from; i < from + count; ++i) {
        const double fit = a * std::sin(2 * pi * f * i / rate) + b * std::cos(2 * pi * f * i / rate);
        sig += fit * fit;
        res += (x[i] - fit) * (x[i] - fit);
    }
    if (res == 0.0) return 200.0;
    return 10.0 * std::log10(sig / res);
}

double rms(const std::vector<double>& x, size_t from, size_t count)
{
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = from; i < std::min(x.size(), from + count); ++i, ++n) sum += x[i] * x[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

}  // namespace mpegtest
