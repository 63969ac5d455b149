// Resizing an 800 x 600 picture to half and to double size, by nearest
// neighbour and by area average, beside pixman scaling the same pixels:
// PIXMAN_FILTER_NEAREST for nearest neighbour, and a separable box/box
// convolution (pixman's area average) for the area modes, both with padded
// edges like our held edges. Each pair of rows runs on the same source
// memory into a target allocated once, so both time the scaling alone;
// the "entry" rows add Image::resize_from's allocation of the target.
//
// Rows read <kind>/<format>/<target size>/<who>; items per second are
// target pixels per second.

#include "img/AreaResample.h"
#include "img/ScaleNearest.h"
#include "img/img.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <pixman.h>
#include <random>
#include <string>
#include <vector>

using namespace quarn::g;

namespace {

constexpr int32_t source_width = 800, source_height = 600;

struct Format {
    uint32_t id;
    pixman_format_code_t pixman;
    int32_t bytes;
};
constexpr Format rgb565 { format_id::rgb565, PIXMAN_r5g6b5, 2 };
constexpr Format rgbx8888 { format_id::rgbx8888, PIXMAN_x8r8g8b8, 4 };

// A smooth picture with some noise, so that neither side can skip work.
std::vector<uint8_t> make_source(const Format& f)
{
    std::vector<uint8_t> bytes(size_t(source_width) * source_height * size_t(f.bytes));
    std::mt19937 random(1);
    for (int32_t y = 0; y < source_height; ++y)
        for (int32_t x = 0; x < source_width; ++x) {
            const uint32_t r = uint32_t(x * 255 / source_width), g = uint32_t(y * 255 / source_height),
                           b = (r ^ g) + (random() & 15);
            uint32_t v = r << 16 | g << 8 | (b & 255);
            if (f.bytes == 2)
                v = (r >> 3) << 11 | (g >> 2) << 5 | ((b & 255) >> 3);
            std::memcpy(&bytes[(size_t(y) * source_width + size_t(x)) * size_t(f.bytes)], &v, size_t(f.bytes));
        }
    return bytes;
}

struct Pair {
    std::vector<uint8_t> source, target;
    int32_t width, height;
    int32_t source_pitch() const { return source_width * bytes; }
    int32_t target_pitch() const { return width * bytes; }
    int32_t bytes;
};

Pair make_pair(const Format& f, int32_t width, int32_t height)
{
    return { make_source(f), std::vector<uint8_t>(size_t(width) * size_t(height) * size_t(f.bytes)), width, height,
        f.bytes };
}

void quarn_nearest(benchmark::State& state, Format f, int32_t width, int32_t height)
{
    Pair p = make_pair(f, width, height);
    auto scale = f.bytes == 2 ? &scale_nearest<2> : &scale_nearest<4>;
    for (auto _ : state) {
        scale(p.target.data(), p.target_pitch(), width, height, p.source.data(), p.source_pitch(), source_width,
            source_height);
        benchmark::DoNotOptimize(p.target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

void quarn_area(benchmark::State& state, Format f, int32_t width, int32_t height)
{
    Pair p = make_pair(f, width, height);
    AreaRoutine routine = area_routine(f.id, ResizeAreaClamp, false);
    for (auto _ : state) {
        routine(p.target.data(), p.target_pitch(), width, height, p.source.data(), p.source_pitch(), source_width,
            source_height, 0);
        benchmark::DoNotOptimize(p.target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

void quarn_entry(benchmark::State& state, Format f, int32_t width, int32_t height, ResizeMode mode)
{
    std::vector<uint8_t> pixels = make_source(f);
    ImageRow source(source_width, source_height, PelFmt(f.id), pixels.data(), source_width * f.bytes);
    ImageRow target;
    for (auto _ : state) {
        target.resize_from(source, width, height, mode);
        benchmark::DoNotOptimize(target.pixels());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

void pixman_scale(benchmark::State& state, Format f, int32_t width, int32_t height, bool area)
{
    Pair p = make_pair(f, width, height);
    pixman_image_t* source = pixman_image_create_bits(
        f.pixman, source_width, source_height, reinterpret_cast<uint32_t*>(p.source.data()), p.source_pitch());
    pixman_image_t* target = pixman_image_create_bits(
        f.pixman, width, height, reinterpret_cast<uint32_t*>(p.target.data()), p.target_pitch());
    const double sx = double(source_width) / width, sy = double(source_height) / height;
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    pixman_image_set_transform(source, &transform);
    pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);
    if (area) {
        int count = 0;
        pixman_fixed_t* params
            = pixman_filter_create_separable_convolution(&count, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy),
                PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 4, 4);
        pixman_image_set_filter(source, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count);
        std::free(params);
    } else {
        pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, target, 0, 0, 0, 0, 0, 0, width, height);
        benchmark::DoNotOptimize(p.target.data());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(source);
    pixman_image_unref(target);
    state.SetItemsProcessed(state.iterations() * width * height);
}

void register_all()
{
    struct Named {
        const char* name;
        Format format;
    };
    struct Size {
        const char* name;
        int32_t width, height;
    };
    for (const Named& f : { Named { "rgb565", rgb565 }, Named { "rgbx8888", rgbx8888 } })
        for (const Size& s : { Size { "400x300", 400, 300 }, Size { "1600x1200", 1600, 1200 } }) {
            const std::string at = std::string(f.name) + "/" + s.name + "/";
            benchmark::RegisterBenchmark(
                ("nearest/" + at + "quarn").c_str(), quarn_nearest, f.format, s.width, s.height);
            benchmark::RegisterBenchmark(
                ("nearest/" + at + "pixman").c_str(), pixman_scale, f.format, s.width, s.height, false);
            benchmark::RegisterBenchmark(
                ("nearest/" + at + "quarn_entry").c_str(), quarn_entry, f.format, s.width, s.height, ResizeNearest);
            benchmark::RegisterBenchmark(("area/" + at + "quarn").c_str(), quarn_area, f.format, s.width, s.height);
            benchmark::RegisterBenchmark(
                ("area/" + at + "pixman").c_str(), pixman_scale, f.format, s.width, s.height, true);
            benchmark::RegisterBenchmark(
                ("area/" + at + "quarn_entry").c_str(), quarn_entry, f.format, s.width, s.height, ResizeAreaClamp);
        }
}

const bool registered = (register_all(), true);

} // namespace
