// Packer 0 and the zlib wrapper of engine/base, timed beside zlib's own
// compress2/uncompress at levels 1 and 6 and beside LZ4, on the same two
// inputs in one run: an 800x600 24-bit picture and 1 MB of text.
//
// bytes_per_second is measured on the unpacked size for both directions;
// the "ratio" counter is packed size / unpacked size.
#include "engine/base/base.h"

#include <benchmark/benchmark.h>
#include <zlib.h>
#if QUARN_HAVE_LZ4
#include <lz4.h>
#endif

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A game-like background: gradients, flat shapes with hard edges, a
// repeated tile pattern and a little sensor noise.
const Bytes& picture()
{
    static const Bytes data = [] {
        const int w = 800, h = 600;
        Bytes px(static_cast<size_t>(w) * h * 3);
        std::mt19937 rng(1);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 3];
                int b = 40 + y / 5, g = 90 + x / 8, r = 60 + (x + y) / 12;
                if ((x / 40 + y / 40) % 7 == 0) { // tiles
                    b = 200 - (x % 40) * 2;
                    g = 180;
                    r = 30 + (y % 40);
                }
                const double dx = x - 500, dy = y - 250;
                if (dx * dx + dy * dy < 120 * 120) { // a flat disc
                    b = 20;
                    g = 20;
                    r = 220;
                }
                const int noise = static_cast<int>(rng() % 5) - 2;
                p[0] = static_cast<uint8_t>(std::clamp(b + noise, 0, 255));
                p[1] = static_cast<uint8_t>(std::clamp(g + noise, 0, 255));
                p[2] = static_cast<uint8_t>(std::clamp(r + noise, 0, 255));
            }
        }
        return px;
    }();
    return data;
}

const Bytes& text()
{
    static const Bytes data = [] {
        static const char* words[] = {
            "the",
            "car",
            "turns",
            "into",
            "a",
            "gate",
            "and",
            "lap",
            "time",
            "of",
            "race",
            "is",
            "best",
            "engine",
            "image",
            "sound",
            "file",
            "object",
            "stream",
            "packed",
            "with",
            "zlib",
            "or",
            "its",
            "own",
            "LZ",
            "format",
            "window",
            "distance",
            "match",
            "track",
            "when",
            "then",
            "player",
            "button",
            "quits",
            "new",
            "three",
            "laps",
            "clock",
        };
        std::mt19937 rng(2);
        std::string s;
        while (s.size() < 1000000) {
            s += words[rng() % std::size(words)];
            s += (rng() % 11 == 0) ? ".\n" : " ";
        }
        return Bytes(s.begin(), s.end());
    }();
    return data;
}

const Bytes& input(int which) { return which == 0 ? picture() : text(); }

struct Codec {
    const char* name;
    size_t (*pack)(const Bytes& in, Bytes& out);
    void (*unpack)(const Bytes& packed, Bytes& out);
};

size_t lz0_pack(const Bytes& in, Bytes& out)
{
    out.resize(in.size() * 2 + 16);
    const int64_t n = lzPack(in.data(), in.size(), out.data(), out.size());
    if (n < 0)
        throw std::runtime_error("lzPack failed");
    return static_cast<size_t>(n);
}
void lz0_unpack(const Bytes& packed, Bytes& out)
{
    if (lzUnpack(packed.data(), packed.size(), out.data(), out.size()) != static_cast<int64_t>(out.size()))
        throw std::runtime_error("lzUnpack failed");
}

size_t zwrap_pack(const Bytes& in, Bytes& out)
{
    out.resize(compressBound(static_cast<uLong>(in.size())));
    size_t n = out.size();
    if (zCompress(out.data(), &n, in.data(), in.size()) != 0)
        throw std::runtime_error("zCompress failed");
    return n;
}
void zwrap_unpack(const Bytes& packed, Bytes& out)
{
    size_t n = out.size();
    if (zUncompress(out.data(), &n, packed.data(), packed.size()) != 0)
        throw std::runtime_error("zUncompress failed");
}

template <int Level> size_t zlib_pack(const Bytes& in, Bytes& out)
{
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    out.resize(n);
    if (compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), Level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    return n;
}
void zlib_unpack(const Bytes& packed, Bytes& out)
{
    uLongf n = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &n, packed.data(), static_cast<uLong>(packed.size())) != Z_OK)
        throw std::runtime_error("uncompress failed");
}

#if QUARN_HAVE_LZ4
size_t lz4_pack(const Bytes& in, Bytes& out)
{
    out.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(in.size()))));
    const int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(out.data()),
        static_cast<int>(in.size()), static_cast<int>(out.size()));
    if (n <= 0)
        throw std::runtime_error("LZ4 failed");
    return static_cast<size_t>(n);
}
void lz4_unpack(const Bytes& packed, Bytes& out)
{
    if (LZ4_decompress_safe(reinterpret_cast<const char*>(packed.data()), reinterpret_cast<char*>(out.data()),
            static_cast<int>(packed.size()), static_cast<int>(out.size()))
        != static_cast<int>(out.size()))
        throw std::runtime_error("LZ4 failed");
}
#endif

const Codec codecs[] = {
    { "packer0", lz0_pack, lz0_unpack },
    { "zCompress", zwrap_pack, zwrap_unpack },
    { "zlib1", zlib_pack<1>, zlib_unpack },
    { "zlib6", zlib_pack<6>, zlib_unpack },
#if QUARN_HAVE_LZ4
    { "lz4", lz4_pack, lz4_unpack },
#endif
};

void BM_pack(benchmark::State& state, const Codec& codec, int which)
{
    const Bytes& in = input(which);
    Bytes out;
    size_t n = 0;
    for (auto _ : state) {
        n = codec.pack(in, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(n) / static_cast<double>(in.size());
}

void BM_unpack(benchmark::State& state, const Codec& codec, int which)
{
    const Bytes& in = input(which);
    Bytes packed;
    packed.resize(codec.pack(in, packed));
    Bytes out(in.size());
    for (auto _ : state) {
        codec.unpack(packed, out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in)
        state.SkipWithError("round trip differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(in.size());
}

const int registered = [] {
    for (int which = 0; which < 2; ++which) {
        const std::string data = which == 0 ? "picture" : "text";
        for (const Codec& c : codecs) {
            benchmark::RegisterBenchmark(("pack/" + data + "/" + c.name).c_str(), BM_pack, c, which)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("unpack/" + data + "/" + c.name).c_str(), BM_unpack, c, which)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return 0;
}();

} // namespace
