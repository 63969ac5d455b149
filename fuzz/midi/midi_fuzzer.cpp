// The MIDI file reader and the stream-buffer filler over fuzzed bytes, as
// the player drives them: find the MIDI data (plain or RIFF RMID), parse,
// write the start state, then fill buffers until the song ends. Input: one
// byte that picks the buffer size (so long events split at many places),
// then the file.
#include "engine/sound/mid_internal.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Every event in a filled buffer lies within its recorded bytes.
void check_events(const platform::MidiBuffer& b)
{
    if (b.bytes_recorded > b.length || b.bytes_recorded % 4 != 0)
        __builtin_trap();
    uint32_t at = 0;
    while (at < b.bytes_recorded) {
        if (b.bytes_recorded - at < platform::midi_event_size)
            __builtin_trap();
        const uint8_t* e = b.data + at;
        const uint32_t word = uint32_t(e[8]) | uint32_t(e[9]) << 8 | uint32_t(e[10]) << 16 | uint32_t(e[11]) << 24;
        at += platform::midi_event_size;
        if (word >> 31)
            at += ((word & 0xFFFFFF) + 3) & ~3u;
    }
    if (at != b.bytes_recorded)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20))
        return 0;
    const uint32_t buffer_size = 16 + 4 * (data[size - 1] % 253);
    std::span<const uint8_t> midi;
    if (midRiffFindData({data, size}, midi) != MID_OK)
        return 0;
    midFileTy song;
    song.data.assign(midi.begin(), midi.end());
    if (midParseFile(song) != MID_OK)
        return 0;
    std::vector<uint8_t> storage(MID_STATE_SIZE_MAX);
    platform::MidiBuffer state{.data = storage.data(), .length = MID_STATE_SIZE - MID_STATE_HEADER};
    if (midSeekState(song, 0, state) != MID_OK)
        return 0;
    check_events(state);
    platform::MidiBuffer buffer{.data = storage.data(), .length = buffer_size};
    // Each fill takes at least one event or the rest of a long one, so the
    // song's bytes bound the passes; a hang would show here.
    const uint64_t end = uint64_t(song.songLength) + 1;
    for (size_t pass = 0;; ++pass) {
        if (pass > song.data.size() + 8)
            __builtin_trap();
        const int result = midFillBuffer(song, buffer, end);
        check_events(buffer);
        if (result != MID_OK)
            break;
    }
    return 0;
}
