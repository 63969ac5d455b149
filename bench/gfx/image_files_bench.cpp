// Loading pictures from files, each beside its outside reference on the
// same file (in the page cache after the first run):
//  - an 800 x 600 24-bit BMP loaded with imgCTy::Load and drawn onto an
//    R5G6B5 image (as a picture reaches a 16-bit screen) against SDL2's
//    SDL_LoadBMP + SDL_ConvertSurfaceFormat to RGB565;
//  - an 800 x 600 JPEG loaded with imgCTy::LoadJpg against bare
//    libjpeg-turbo (jpeg_stdio_src, B, G, R output and the fast integer
//    DCT as our decoder asks for, scanlines straight into one buffer).
// Both sides make their result images anew each time, as a load does.
//
// Rows read <picture>/<who>. Run with --benchmark_repetitions (e.g. 15)
// for the "min" rows, the steadiest measure on a shared machine; the ratio
// of the two "min" rows of a picture is the one to keep.
#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"
#include "tests/Lib/quarn/src/img/JpegFixtures.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kW = 800, kH = 600;

// A photograph stand-in: smooth gradients with texture and noise.
std::vector<uint8_t> photo_rgb()
{
    std::vector<uint8_t> rgb = img_test::gradient_rgb(kW, kH);
    std::mt19937 random(1);
    for (uint8_t& b : rgb)
        b = uint8_t(std::min<uint32_t>(255, b + uint32_t(random() & 31)));
    return rgb;
}

struct Files {
    std::filesystem::path dir = std::filesystem::temp_directory_path()
        / ("quarn_bench_image_files_" + std::to_string(std::random_device {}()));
    std::string bmp, jpg;

    Files()
    {
        std::filesystem::create_directories(dir);
        bmp = (dir / "photo.bmp").string();
        jpg = (dir / "photo.jpg").string();
        const std::vector<uint8_t> rgb = photo_rgb();

        imgRowCTy picture;
        const pelFmtCTy r8g8b8(pel_FMT_R8G8B8);
        picture.SetSize(kW, kH, &r8g8b8);
        picture.Lock(nullptr, img_LOCK_WRITE);
        auto* pels = static_cast<uint8_t*>(picture.lockPtr);
        for (size_t i = 0; i < rgb.size(); i += 3) {
            pels[i] = rgb[i + 2]; // bytes B, G, R
            pels[i + 1] = rgb[i + 1];
            pels[i + 2] = rgb[i];
        }
        picture.Unlock();
        if (picture.SaveBmp(bmp.c_str()) != 0)
            std::abort();

        const std::string jpeg = img_test::jpeg_file(kW, kH, rgb, 85);
        std::FILE* f = std::fopen(jpg.c_str(), "wb");
        if (!f || std::fwrite(jpeg.data(), 1, jpeg.size(), f) != jpeg.size())
            std::abort();
        std::fclose(f);
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

const Files& files()
{
    static const Files made;
    return made;
}

void BM_OurBmpTo565(benchmark::State& state)
{
    gfxInit();
    const std::string& name = files().bmp;
    const pelFmtCTy r5g6b5(pel_FMT_R5G6B5);
    for (auto _ : state) {
        imgRowCTy picture;
        if (picture.Load(name.c_str()) != 0)
            state.SkipWithError("Load failed");
        imgRowCTy screen;
        screen.SetSize(kW, kH, &r5g6b5);
        picture.Draw(&screen, 0, 0, nullptr);
        benchmark::DoNotOptimize(screen.pels);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

void BM_SdlBmpTo565(benchmark::State& state)
{
    const std::string& name = files().bmp;
    for (auto _ : state) {
        SDL_Surface* loaded = SDL_LoadBMP(name.c_str());
        if (!loaded) {
            state.SkipWithError(SDL_GetError());
            break;
        }
        SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB565, 0);
        benchmark::DoNotOptimize(converted->pixels);
        SDL_FreeSurface(converted);
        SDL_FreeSurface(loaded);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

void BM_OurLoadJpg(benchmark::State& state)
{
    const std::string& name = files().jpg;
    for (auto _ : state) {
        imgRowCTy picture;
        if (picture.LoadJpg(name.c_str()) != 0)
            state.SkipWithError("LoadJpg failed");
        benchmark::DoNotOptimize(picture.pels);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

void BM_BareLibjpegTurbo(benchmark::State& state)
{
    const std::string& name = files().jpg;
    for (auto _ : state) {
        std::FILE* in = std::fopen(name.c_str(), "rb");
        jpeg_decompress_struct d {};
        jpeg_error_mgr err {};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_stdio_src(&d, in);
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        d.dct_method = JDCT_IFAST;
        d.dither_mode = JDITHER_NONE;
        jpeg_start_decompress(&d);
        std::vector<uint8_t> out(size_t(d.output_width) * d.output_height * 3);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = out.data() + size_t(d.output_scanline) * d.output_width * 3;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        std::fclose(in);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}

double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

} // namespace

BENCHMARK(BM_OurBmpTo565)->Name("bmp_800x600_24bit_to_r5g6b5/Load+Draw")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_SdlBmpTo565)->Name("bmp_800x600_24bit_to_r5g6b5/SDL_LoadBMP+SDL_ConvertSurface")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_OurLoadJpg)->Name("jpeg_800x600/LoadJpg")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
BENCHMARK(BM_BareLibjpegTurbo)->Name("jpeg_800x600/bare_libjpeg_turbo")->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);
