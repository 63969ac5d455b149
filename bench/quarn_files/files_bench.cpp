// Reading a 4 MiB file and a 4 MiB ZIP member through IArcStream in 64 KiB
// reads, beside the same reads done plainly: read(2) on the file (through
// the platform layer's file calls) and the unzip library alone on the
// member. Also 4 KiB and 1-byte reads, where the stream's buffer matters.
#include "quarn/quarn.h"

#include "platform/platform.h"

#include <benchmark/benchmark.h>
#include <unzip.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t data_size = 4 << 20;

// Text-like bytes: deflate packs them to about a third, as it would game
// data, so inflating is part of the member's cost.
std::string make_data()
{
    static const char* words[] = { "car ", "gate ", "lap ", "track ", "time ", "best ", "wheel ", "hit ",
        "sprite ", "frame ", "sound ", "obstacle " };
    std::mt19937 random(7);
    std::string s;
    s.reserve(data_size + 16);
    while (s.size() < data_size) {
        s += words[random() % 12];
        if (random() % 9 == 0)
            s += std::to_string(random() % 100000);
    }
    s.resize(data_size);
    return s;
}

struct Fixture {
    std::filesystem::path dir;
    std::string file;    // dir/plain.bin
    std::string archive; // dir/pack.zip
    std::string member;  // dir/pack/m.bin, found in the archive

    Fixture()
    {
        dir = std::filesystem::temp_directory_path() / ("quarn_bench_files_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir);
        const std::string data = make_data();
        file = (dir / "plain.bin").string();
        std::ofstream(file, std::ios::binary) << data;
        archive = (dir / "pack.zip").string();
        zipFile zip = zipOpen(archive.c_str(), APPEND_STATUS_CREATE);
        zip_fileinfo info{};
        if (!zip || zipOpenNewFileInZip(zip, "m.bin", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                        Z_DEFAULT_COMPRESSION) != ZIP_OK
            || zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) != ZIP_OK
            || zipCloseFileInZip(zip) != ZIP_OK || zipClose(zip, nullptr) != ZIP_OK)
            throw std::runtime_error("cannot write the benchmark's archive");
        member = (dir / "pack" / "m.bin").string();
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

quarn::io::ZipFormat zip_format;

void read_stream(benchmark::State& state, const std::string& name)
{
    const size_t chunk = static_cast<size_t>(state.range(0));
    std::vector<char> buffer(chunk);
    for (auto _ : state) {
        quarn::io::IArcStream in;
        in.set_flags(quarn::io::Stream::raw_open);
        in.open(name.c_str(), quarn::open_mode::in, 0);
        size_t total = 0;
        for (;;) {
            size_t got = in.read_some(buffer.data(), chunk);
            total += got;
            if (got < chunk)
                break;
        }
        if (total != data_size)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_size));
}

void BM_file_IArcStream(benchmark::State& state)
{
    quarn::io::ZipFormat* keep = &zip_format;
    benchmark::DoNotOptimize(keep);
    read_stream(state, fixture().file);
}

void BM_file_plain_read2(benchmark::State& state)
{
    const size_t chunk = static_cast<size_t>(state.range(0));
    std::vector<char> buffer(chunk);
    for (auto _ : state) {
        platform::FileHandle f = platform::file_open(fixture().file.c_str(), platform::FileOpen::read_existing);
        size_t total = 0;
        for (;;) {
            int64_t got = platform::file_read(f, buffer.data(), chunk);
            if (got <= 0)
                break;
            total += static_cast<size_t>(got);
        }
        platform::file_close(f);
        if (total != data_size)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_size));
}

// One byte at a time the system call is no reference; the C library's
// buffered stream is.
void BM_file_plain_stdio(benchmark::State& state)
{
    const size_t chunk = static_cast<size_t>(state.range(0));
    std::vector<char> buffer(chunk);
    for (auto _ : state) {
        std::FILE* f = std::fopen(fixture().file.c_str(), "rb");
        size_t total = 0;
        for (;;) {
            size_t got = std::fread(buffer.data(), 1, chunk, f);
            total += got;
            if (got < chunk)
                break;
        }
        std::fclose(f);
        if (total != data_size)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_size));
}

void BM_member_IArcStream(benchmark::State& state) { read_stream(state, fixture().member); }

void BM_member_minizip(benchmark::State& state)
{
    const size_t chunk = static_cast<size_t>(state.range(0));
    std::vector<char> buffer(chunk);
    for (auto _ : state) {
        unzFile zip = unzOpen(fixture().archive.c_str());
        if (!zip || unzLocateFile(zip, "m.bin", 2) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK) {
            state.SkipWithError("cannot open the member");
            break;
        }
        size_t total = 0;
        for (;;) {
            int got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(chunk));
            if (got <= 0)
                break;
            total += static_cast<size_t>(got);
        }
        unzCloseCurrentFile(zip);
        unzClose(zip);
        if (total != data_size)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data_size));
}

} // namespace

BENCHMARK(BM_file_plain_read2)->Arg(64 << 10)->Arg(4 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_file_plain_stdio)->Arg(64 << 10)->Arg(4 << 10)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_file_IArcStream)->Arg(64 << 10)->Arg(4 << 10)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_member_minizip)->Arg(64 << 10)->Arg(4 << 10)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_member_IArcStream)->Arg(64 << 10)->Arg(4 << 10)->Arg(1)->Unit(benchmark::kMillisecond);
