// The picture decoders beside outside references on the same bytes in
// memory:
//  - an 800 x 600 JPEG through JpgDecoder (our stream source manager over an
//    IStream, the setjmp-guarded libjpeg calls, one row copy into the
//    target) against a bare libjpeg-turbo loop (jpeg_mem_src, scanlines
//    decoded straight into the output rows), both with B, G, R output and
//    the fast integer DCT, the decompress record created and destroyed each
//    time;
//  - a 1024 x 1024 32-bit TGA, plain and run-length, through TgaDecoder
//    (open, then read into an Rgba8888 image) against stb_image's
//    stbi_load_from_memory (which also turns the bottom-up rows over).
//
// Rows read <picture>/<who>; items per second are pixels per second. Run
// with --benchmark_repetitions (e.g. 15) to get the "min" rows.

#include "tests/Lib/quarn/src/img/JpegFixtures.h"
#include "tests/Lib/quarn/src/img/TgaWriter.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include "img/img.h"
#include "quarn/IStream.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <random>
#include <stb_image.h>

using namespace quarn::g;

namespace {

// A photograph stand-in: smooth gradients with texture and noise, so that
// the entropy-coded data is neither trivial nor random.
const std::string& jpeg_800x600()
{
    static const std::string file = [] {
        std::vector<uint8_t> rgb = img_test::gradient_rgb(800, 600);
        std::mt19937 random(1);
        for (uint8_t& b : rgb)
            b = uint8_t(std::min<uint32_t>(255, b + uint32_t(random() & 31)));
        return img_test::jpeg_file(800, 600, rgb, 85);
    }();
    return file;
}

// Sprite-like: flat areas, edges and some noise, so run-length packets of
// both kinds occur.
const std::string& tga_1024(bool run_length)
{
    static const auto make = [](bool rle) {
        img_test::Tga t { .type = uint8_t(rle ? 10 : 2), .depth = 32, .width = 1024, .height = 1024 };
        t.pixels.resize(size_t(1024) * 1024 * 4);
        std::mt19937 random(2);
        for (size_t y = 0; y < 1024; ++y)
            for (size_t x = 0; x < 1024; ++x) {
                const bool flat = ((x / 64) + (y / 64)) % 3 != 0;
                const uint32_t v = flat ? 0xFF000000u | uint32_t((x / 64) * 0x101010) : uint32_t(random()) | 0xFF000000u;
                std::memcpy(&t.pixels[(y * 1024 + x) * 4], &v, 4);
            }
        return img_test::tga_file(t);
    };
    static const std::string plain = make(false), rle = make(true);
    return run_length ? rle : plain;
}

void BM_JpgDecoder(benchmark::State& state)
{
    quarn_test::MemoryBuf buf(jpeg_800x600());
    quarn::io::IStream in(&buf);
    ImageRow image;
    image.create(800, 600, PelFmt(format_id::rgb888));
    JpgDecoder jpg;
    for (auto _ : state) {
        in.clear();
        in.seek(0);
        jpg.open(in);
        jpg.read(image, ResizeNearest);
        jpg.close();
        benchmark::DoNotOptimize(image.pixels());
    }
    state.SetItemsProcessed(state.iterations() * 800 * 600);
}

void BM_BareLibjpegTurbo(benchmark::State& state)
{
    const std::string& file = jpeg_800x600();
    std::vector<uint8_t> out(size_t(800) * 600 * 3);
    for (auto _ : state) {
        jpeg_decompress_struct d {};
        jpeg_error_mgr err {};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(file.data()), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        d.dct_method = JDCT_IFAST;
        d.dither_mode = JDITHER_NONE;
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = out.data() + size_t(d.output_scanline) * 800 * 3;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 800 * 600);
}

void BM_TgaDecoder(benchmark::State& state, bool run_length)
{
    quarn_test::MemoryBuf buf(tga_1024(run_length));
    quarn::io::IStream in(&buf);
    ImageRow image;
    image.create(1024, 1024, PelFmt(format_id::rgba8888));
    TgaDecoder tga;
    for (auto _ : state) {
        in.clear();
        in.seek(0);
        tga.open(in);
        tga.read(image, ResizeNearest);
        tga.close();
        benchmark::DoNotOptimize(image.pixels());
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 1024);
}

void BM_StbImage(benchmark::State& state, bool run_length)
{
    const std::string& file = tga_1024(run_length);
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(
            reinterpret_cast<const stbi_uc*>(file.data()), int(file.size()), &w, &h, &n, 4);
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 1024);
}

// The machines these run on are shared: the fastest of the repetitions is
// the steadiest measure of the work itself.
double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

} // namespace

BENCHMARK(BM_JpgDecoder)->Name("jpeg_800x600/JpgDecoder")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_BareLibjpegTurbo)->Name("jpeg_800x600/bare_libjpeg_turbo")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_TgaDecoder, plain, false)->Name("tga_1024x1024_32bit_plain/TgaDecoder")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_StbImage, plain, false)->Name("tga_1024x1024_32bit_plain/stb_image")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_TgaDecoder, rle, true)->Name("tga_1024x1024_32bit_rle/TgaDecoder")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_StbImage, rle, true)->Name("tga_1024x1024_32bit_rle/stb_image")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
