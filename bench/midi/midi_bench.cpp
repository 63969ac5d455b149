// The MIDI player's reading: parsing a 2,000-event file and filling all of
// its stream buffers, beside just reading the file's bytes from disk. And
// the FluidSynth render of a song on one core, as a multiple of real time.
#include "engine/sound/mid_internal.h"
#include "tests/engine/sound/midi_fixture.h"

#include "platform/midi.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

const std::string& song_file()
{
    static const std::string path = [] {
        // 2 x 994 notes plus programs, controllers and tempo: 2,000 events.
        const miditest::Bytes bytes = miditest::song(994, 3, 5);
        const std::string p = (std::filesystem::temp_directory_path() / "quarn_midi_bench.mid").string();
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }();
    return path;
}

void read_bytes(benchmark::State& state)
{
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        std::FILE* f = std::fopen(song_file().c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        bytes.resize(size_t(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}

void parse_and_fill(benchmark::State& state)
{
    std::vector<uint8_t> storage(MID_STATE_SIZE);
    size_t file_bytes = 0;
    for (auto _ : state) {
        midFileTy song;
        if (midReadFile(song_file().c_str(), song) != MID_OK) {
            state.SkipWithError("the song does not read");
            return;
        }
        file_bytes = song.data.size();
        platform::MidiBuffer buffer{.data = storage.data(), .length = MID_STATE_SIZE - MID_STATE_HEADER};
        benchmark::DoNotOptimize(midSeekState(song, 0, buffer));
        buffer.length = MID_BUFFER_SIZE;
        while (midFillBuffer(song, buffer, uint64_t(song.songLength) + 1) == MID_OK)
            benchmark::DoNotOptimize(buffer.bytes_recorded);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * file_bytes));
}

// The song's events with their times, as the stream would hand them over.
std::vector<std::pair<uint64_t, uint32_t>> timed_events(const miditest::Bytes& bytes)
{
    midFileTy song;
    song.data = bytes;
    std::vector<std::pair<uint64_t, uint32_t>> out;
    if (midParseFile(song) != MID_OK)
        return out;
    midRewind(song);
    midEventTy e;
    uint64_t ns = 0;
    uint32_t tempo = 500000;
    while (midNextEvent(song, e, MID_NO_TICK_LIMIT) == MID_OK) {
        ns += uint64_t(e.delta) * tempo * 1000 / song.timeDivision;
        if (e.status == 0xFF && e.data[0] == 0x51)
            tempo = uint32_t(e.params[0]) << 16 | e.params[1] << 8 | e.params[2];
        else if (e.status < 0xF0)
            out.emplace_back(ns, e.status | e.data[0] << 8 | e.data[1] << 16);
    }
    return out;
}

void fluidsynth_render(benchmark::State& state)
{
    // The game's mixer runs at 22050 frames a second, in stereo.
    constexpr uint32_t rate = 22050;
    platform::MidiSynth synth("", rate);
    if (!synth.ok()) {
        state.SkipWithError("no General MIDI soundfont installed");
        return;
    }
    const auto events = timed_events(miditest::song(400, 4, 9));
    const uint64_t length_ns = events.back().first + 500'000'000;
    const size_t frames = size_t(length_ns * rate / 1'000'000'000);
    std::vector<int16_t> pcm(512 * 2);
    for (auto _ : state) {
        state.PauseTiming();
        synth.all_notes_off(0);
        for (const auto& [ns, message] : events)
            synth.short_message(ns, message);
        state.ResumeTiming();
        for (size_t at = 0; at < frames; at += 512)
            synth.render(pcm.data(), 512, 2, uint64_t(at) * 1'000'000'000 / rate);
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(frames) / rate, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(read_bytes);
BENCHMARK(parse_and_fill);
BENCHMARK(fluidsynth_render)->Unit(benchmark::kMillisecond);
