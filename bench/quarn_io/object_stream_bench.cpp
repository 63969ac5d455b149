// Writing and reading 10,000 small objects through an object stream, beside
// memcpy of the same stream bytes, which is the limit: framing, registries
// and the objects' own reads can only add to it. Both run over the same
// in-memory bytes; bytes/s counts the stream's size.
#include "quarn/quarn.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int object_count = 10000;

struct Point : quarn::io::Object {
    void write(quarn::io::Stream& s) const override
    {
        s.write_f32(x);
        s.write_f32(y);
        s.write_u32(id);
    }
    void read(quarn::io::IStream& s) override { (void)(s.read_f32(x) && s.read_f32(y) && s.read_u32(id)); }

    float x = 0, y = 0;
    uint32_t id = 0;
};

const char* const point_name = "class quarn::bench::Point";

// Owns what the reader makes, so that only reading is timed.
class PointFactory : public quarn::AbstractFactory {
public:
    PointFactory()
        : AbstractFactory(point_name)
    {
        pool.reserve(object_count);
    }
    void* create_obj() override
    {
        pool.emplace_back();
        return static_cast<quarn::io::Object*>(&pool.back());
    }
    void delete_obj(void*) override { }
    void* uninitialized_copy(void*, const void*) override { return nullptr; }
    std::vector<Point> pool;
};

std::vector<Point> make_points()
{
    std::vector<Point> points(object_count);
    for (int i = 0; i < object_count; ++i) {
        points[i].x = float(i);
        points[i].y = float(-i);
        points[i].id = uint32_t(i);
    }
    return points;
}

std::string write_stream(const std::vector<Point>& points, bool shared)
{
    quarn_test::MemoryBuf buf;
    quarn::io::Stream out(&buf);
    for (const Point& p : points)
        out.write_object(&p, point_name, !shared);
    return buf.bytes();
}

void write_objects(benchmark::State& state)
{
    const bool shared = state.range(0) != 0;
    const auto points = make_points();
    const size_t bytes = write_stream(points, shared).size();
    for (auto _ : state) {
        quarn_test::MemoryBuf buf;
        buf.reserve(bytes);
        quarn::io::Stream out(&buf);
        for (const Point& p : points)
            out.write_object(&p, point_name, !shared);
        benchmark::DoNotOptimize(buf.size());
    }
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
    state.counters["stream_bytes"] = double(bytes);
}

void read_objects(benchmark::State& state)
{
    const bool shared = state.range(0) != 0;
    const std::string stream = write_stream(make_points(), shared);
    for (auto _ : state) {
        state.PauseTiming();
        auto factory = std::make_unique<PointFactory>();
        auto buf = std::make_unique<quarn_test::MemoryBuf>(stream);
        auto in = std::make_unique<quarn::io::IStream>(buf.get());
        state.ResumeTiming();
        for (int i = 0; i < object_count; ++i)
            benchmark::DoNotOptimize(in->read_object());
        state.PauseTiming();
        if (factory->pool.size() != size_t(object_count))
            state.SkipWithError("objects missing");
        in.reset();
        buf.reset();
        factory.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(stream.size()) * state.iterations());
}

// The limit: the same stream bytes copied once.
void memcpy_stream(benchmark::State& state)
{
    const std::string stream = write_stream(make_points(), true);
    std::vector<char> target(stream.size());
    for (auto _ : state) {
        std::memcpy(target.data(), stream.data(), stream.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(stream.size()) * state.iterations());
}

BENCHMARK(write_objects)->ArgName("shared")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(read_objects)->ArgName("shared")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(memcpy_stream)->Unit(benchmark::kMicrosecond);

} // namespace
