// Reading a standard MIDI file into memory, indexing its tracks and taking
// its events in time order. Every size, length and count is checked
// against the bytes that are actually there.
#include "engine/sound/mid_internal.h"

#include "platform/file.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

uint32_t loadU32be(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t loadU16be(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// Channel messages with two data bytes; program change (0xC) and channel
// pressure (0xD) have one.
bool hasTwoDataBytes(uint8_t status) { return (status & 0xE0) != 0xC0; }

int readWholeFile(const char* fileName, std::vector<uint8_t>& bytes)
{
    // A FIFO at the name would hold the open until something writes to it;
    // the platform's open refuses it at once, as a file that cannot be opened.
    std::FILE* f = platform::file_open_stream(fileName, platform::FileOpen::read_existing);
    if (!f)
        return MID_CANT_OPEN;
    int result = MID_OK;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        result = MID_CANT_OPEN;
    } else if (uint64_t(size) > MID_MAX_FILE) {
        result = MID_INVALID_FILE;
    } else {
        try {
            bytes.resize(size_t(size));
            if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
                result = MID_INVALID_FILE;
        } catch (const std::bad_alloc&) {
            result = MID_NO_MEMORY;
        }
    }
    std::fclose(f);
    return result;
}

} // namespace

uint32_t midMapError(int result)
{
    switch (result) {
    case MID_OK: return 0;
    case MID_INVALID_FILE:
    case MID_CANT_OPEN: return MCIERR_INVALID_FILE;
    case MID_NO_MEMORY: return MCIERR_OUT_OF_MEMORY;
    default: return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

int midReadFile(const char* fileName, midFileTy& song)
{
    song = {};
    std::vector<uint8_t> file;
    int result = readWholeFile(fileName, file);
    std::span<const uint8_t> data;
    if (result == MID_OK)
        result = midRiffFindData(file, data);
    if (result == MID_OK) {
        if (data.size() == file.size()) {
            song.data = std::move(file);
        } else {
            try {
                song.data.assign(data.begin(), data.end());
            } catch (const std::bad_alloc&) {
                result = MID_NO_MEMORY;
            }
        }
    }
    if (result == MID_OK)
        result = midParseFile(song);
    if (result != MID_OK)
        song = {};
    return result;
}

int midParseFile(midFileTy& song)
{
    // Standard MIDI File: the header chunk "MThd" {format, ntrks, division},
    // then ntrks chunks "MTrk"; all numbers big-endian.
    const uint8_t* d = song.data.data();
    const uint64_t size = song.data.size();
    if (size < 8 || std::memcmp(d, "MThd", 4) != 0)
        return MID_INVALID_FILE;
    const uint32_t headerLength = loadU32be(d + 4);
    if (headerLength < 6 || headerLength > size - 8)
        return MID_INVALID_FILE;
    song.trackCount = loadU16be(d + 10);
    song.timeDivision = loadU16be(d + 12);
    uint64_t at = 8 + uint64_t(headerLength);
    // Each track takes at least its 8-byte chunk header: a count that the
    // file cannot hold is refused before anything is allocated for it.
    if (uint64_t(song.trackCount) * 8 > size - at)
        return MID_INVALID_FILE;
    try {
        song.tracks.assign(song.trackCount, midTrackTy{});
    } catch (const std::bad_alloc&) {
        return MID_NO_MEMORY;
    }
    for (midTrackTy& track : song.tracks) {
        if (size - at < 8 || std::memcmp(d + at, "MTrk", 4) != 0)
            return MID_INVALID_FILE;
        const uint32_t length = loadU32be(d + at + 4);
        if (length > size - at - 8)
            return MID_INVALID_FILE;
        track.dataOffset = uint32_t(at + 8);
        track.length = length;
        at += 8 + uint64_t(length);
    }
    midRewind(song);
    midEventTy event;
    int result;
    while ((result = midNextEvent(song, event, MID_NO_TICK_LIMIT)) == MID_OK) {
        if (event.status == 0xFF && event.data[0] == 0x51 && event.paramLength != 3)
            return MID_INVALID_FILE;
    }
    if (result != MID_END_OF_SONG)
        return result;
    song.songLength = song.position;
    return MID_OK;
}

void midRewind(midFileTy& song)
{
    song.flags &= ~MID_SONG_ENDED;
    song.position = 0;
    for (midTrackTy& track : song.tracks) {
        track.bytesLeft = track.length;
        track.tick = 0;
        track.read = song.data.data() + track.dataOffset;
        track.runningStatus = 0;
        track.flags = 0;
    }
}

uint32_t midReadVarLen(const uint8_t* p, uint32_t limit, uint32_t& value)
{
    value = 0;
    for (uint32_t i = 0; i < limit; ++i) {
        value = value << 7 | (p[i] & 0x7F);
        if (!(p[i] & 0x80))
            return i + 1;
    }
    return 0;
}

int midNextEvent(midFileTy& song, midEventTy& event, uint64_t endTick)
{
    if (song.flags & MID_SONG_ENDED)
        return MID_END_OF_SONG;

    midTrackTy* chosen = nullptr;
    uint64_t chosenNext = 0;
    uint32_t chosenBytes = 0;
    for (midTrackTy& track : song.tracks) {
        if (track.flags & MID_TRACK_ENDED)
            continue;
        uint32_t delta;
        const uint32_t used = midReadVarLen(track.read, track.bytesLeft, delta);
        if (used == 0)
            return MID_INVALID_FILE;
        const uint64_t next = uint64_t(track.tick) + delta;
        // Strictly smaller: on equal times the track first in the file wins.
        if (!chosen || next < chosenNext) {
            chosen = &track;
            chosenNext = next;
            chosenBytes = used;
        }
    }
    if (!chosen) {
        song.flags |= MID_SONG_ENDED;
        return MID_END_OF_SONG;
    }
    if (chosenNext >= endTick)
        return MID_AT_END_TICK;
    // Ticks are kept in 32 bits; a song that runs past them is not one.
    if (chosenNext > UINT32_MAX)
        return MID_INVALID_FILE;

    midTrackTy& t = *chosen;
    t.read += chosenBytes;
    t.bytesLeft -= chosenBytes;
    if (t.bytesLeft < 3)
        return MID_INVALID_FILE;
    t.tick = uint32_t(chosenNext);
    event = {};
    event.delta = t.tick - song.position;
    song.position = t.tick;

    const uint8_t status = t.read[0];
    uint32_t used;
    if (status < 0x80) {
        // Running status: this byte is the first data byte.
        if (t.runningStatus == 0)
            return MID_INVALID_FILE;
        event.status = t.runningStatus;
        event.data[0] = status;
        used = 1;
        if (hasTwoDataBytes(event.status))
            event.data[1] = t.read[used++];
    } else if (status < 0xF0) {
        t.runningStatus = status;
        event.status = status;
        event.data[0] = t.read[1];
        used = 2;
        if (hasTwoDataBytes(status))
            event.data[1] = t.read[used++];
    } else if (status == 0xFF || status == 0xF0 || status == 0xF7) {
        t.runningStatus = 0;
        event.status = status;
        // meta: FF type length data; system exclusive: F0|F7 length data
        const uint32_t header = status == 0xFF ? 2 : 1;
        if (status == 0xFF) {
            event.data[0] = t.read[1];
            if (event.data[0] == 0x2F)
                t.flags |= MID_TRACK_ENDED;
        }
        uint32_t length;
        const uint32_t lengthBytes = midReadVarLen(t.read + header, t.bytesLeft - 2, length);
        if (lengthBytes == 0 || uint64_t(header) + lengthBytes + length > t.bytesLeft)
            return MID_INVALID_FILE;
        event.paramLength = length;
        event.params = t.read + header + lengthBytes;
        used = header + lengthBytes + length;
    } else {
        return MID_INVALID_FILE;
    }
    t.read += used;
    t.bytesLeft -= used;
    return MID_OK;
}
