// Turning the song's events into stream events: the state at the start
// tick, and the buffers of events that follow it.
#include "engine/sound/mid_internal.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t UNSET = 0xFF;

// Appends one 12-byte stream event {delta, stream id 0, event word}.
void putWords(platform::MidiBuffer& buffer, uint32_t delta, uint32_t word)
{
    uint8_t* p = buffer.data + buffer.bytes_recorded;
    const uint32_t words[3] = {delta, 0, word};
    for (int w = 0; w < 3; ++w) {
        for (int b = 0; b < 4; ++b)
            p[w * 4 + b] = uint8_t(words[w] >> (8 * b));
    }
    buffer.bytes_recorded += platform::midi_event_size;
}

uint32_t bufferFree(const platform::MidiBuffer& buffer) { return buffer.length - buffer.bytes_recorded; }

uint32_t tempoWord(const uint8_t* bytes)
{
    return platform::mevt_word(platform::mevt_tempo, uint32_t(bytes[0]) << 16 | uint32_t(bytes[1]) << 8 | bytes[2]);
}

} // namespace

int midSeekState(midFileTy& song, uint32_t startTick, platform::MidiBuffer& buffer)
{
    midRewind(song);
    uint8_t tempo[3] = {UNSET, UNSET, UNSET};
    bool tempoSet = false;
    uint8_t program[16];
    uint8_t control[16][120];
    std::memset(program, UNSET, sizeof program);
    std::memset(control, UNSET, sizeof control);

    midEventTy event;
    int result;
    while ((result = midNextEvent(song, event, startTick)) == MID_OK) {
        const uint8_t kind = event.status & 0xF0;
        const uint8_t channel = event.status & 0x0F;
        if (event.status == 0xFF && event.data[0] == 0x51) {
            if (event.paramLength != 3)
                return MID_INVALID_FILE;
            std::memcpy(tempo, event.params, 3);
            tempoSet = true;
        } else if (kind == 0xB0 && event.data[0] < 120) {
            control[channel][event.data[0]] = event.data[1];
        } else if (kind == 0xC0) {
            program[channel] = event.data[0];
        }
    }
    if (result != MID_AT_END_TICK)
        return result;

    buffer.bytes_recorded = 0;
    auto put = [&](uint32_t word) {
        if (bufferFree(buffer) < platform::midi_event_size)
            return false;
        putWords(buffer, 0, word);
        return true;
    };
    if (tempoSet && !put(tempoWord(tempo)))
        return MID_NO_MEMORY;
    for (uint32_t c = 0; c < 16; ++c) {
        if (program[c] != UNSET && !put(platform::mevt_word(platform::mevt_short, 0xC0 | c | uint32_t(program[c]) << 8)))
            return MID_NO_MEMORY;
    }
    for (uint32_t c = 0; c < 16; ++c) {
        for (uint32_t n = 0; n < 120; ++n) {
            if (control[c][n] != UNSET &&
                !put(platform::mevt_word(platform::mevt_short, 0xB0 | c | n << 8 | uint32_t(control[c][n]) << 16)))
                return MID_NO_MEMORY;
        }
    }
    for (midTrackTy& track : song.tracks)
        track.tick = startTick;
    song.position = startTick;
    return MID_OK;
}

int midPutEvent(midFileTy& song, uint32_t delta, platform::MidiBuffer& buffer)
{
    const uint32_t free = bufferFree(buffer);
    if (free < 16)
        return delta == 0 ? MID_OK : MID_INVALID_FILE;
    // Whole words only, so that the padded part never passes the end.
    const uint32_t n = std::min((free - platform::midi_event_size) & ~3u, song.pendingBytes);
    putWords(buffer, delta, (song.pendingWord & 0xFF000000u) | n);
    uint8_t* p = buffer.data + buffer.bytes_recorded;
    uint32_t copy = n;
    if (song.flags & MID_SONG_SEND_F0) {
        song.flags &= ~MID_SONG_SEND_F0;
        *p++ = 0xF0;
        --copy;
    }
    std::memcpy(p, song.pendingData, copy);
    song.pendingData += copy;
    const uint32_t padded = (n + 3) & ~3u;
    std::memset(buffer.data + buffer.bytes_recorded + n, 0, padded - n);
    song.pendingBytes -= n;
    if (song.pendingBytes == 0) {
        song.pendingWord = 0;
        song.pendingData = nullptr;
    }
    buffer.bytes_recorded += padded;
    return MID_OK;
}

int midFillBuffer(midFileTy& song, platform::MidiBuffer& buffer, uint64_t endTick)
{
    buffer.bytes_recorded = 0;
    if (song.pendingWord != 0) {
        // The rest of a long event that did not fit the previous buffer.
        if (int result = midPutEvent(song, 0, buffer); result != MID_OK)
            return result;
    }
    if (song.flags & MID_SONG_ENDED)
        return MID_END_OF_SONG;

    // Ticks of events that wrote nothing (meta events) since the last
    // event written: they go into the next event's delta.
    uint32_t carried = 0;
    while (bufferFree(buffer) >= 16) {
        midEventTy event;
        const int result = midNextEvent(song, event, endTick);
        if (result == MID_AT_END_TICK)
            song.flags |= MID_SONG_ENDED;
        if (result != MID_OK)
            break;
        const uint32_t delta = carried + event.delta;
        if (event.status < 0xF0) {
            putWords(buffer, delta,
                     platform::mevt_word(platform::mevt_short, event.status | uint32_t(event.data[0]) << 8 |
                                                                   uint32_t(event.data[1]) << 16));
            carried = 0;
        } else if (event.status == 0xFF) {
            if (event.data[0] == 0x51) {
                if (event.paramLength != 3)
                    return MID_INVALID_FILE;
                putWords(buffer, delta, tempoWord(event.params));
                carried = 0;
            } else {
                carried = delta;
            }
        } else {
            // System exclusive: F0 events go out with their F0 byte in
            // front, F7 events (escapes and continuations) as they are.
            song.pendingData = event.params;
            song.pendingBytes = event.paramLength;
            song.pendingWord = uint32_t(platform::mevt_long) << 24;
            if (event.status == 0xF0) {
                song.flags |= MID_SONG_SEND_F0;
                ++song.pendingBytes;
            }
            if (int put = midPutEvent(song, delta, buffer); put != MID_OK)
                return put;
            carried = 0;
        }
    }
    return (song.flags & MID_SONG_ENDED) ? MID_END_OF_SONG : MID_OK;
}
