// The MIDI player's song reader and stream-buffer filler. Private to
// engine/sound (and its tests and fuzz target).
#pragma once

#include "platform/midi.h"
#include "platform/window.h"

#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

// Reader results.
enum : int {
    MID_OK = 0,
    MID_INVALID_FILE = 1,
    MID_NO_MEMORY = 2, // also: the state does not fit the state buffer
    MID_CANT_OPEN = 3,
    MID_END_OF_SONG = 11,
    MID_AT_END_TICK = 12,
};

// MCI error codes that the player answers.
enum : uint32_t {
    MCIERR_OUT_OF_MEMORY = 264,
    MCIERR_UNSUPPORTED_FUNCTION = 274,
    MCIERR_DEVICE_NOT_READY = 276,
    MCIERR_INVALID_FILE = 296,
};

uint32_t midMapError(int result);

inline constexpr uint32_t MID_TRACK_ENDED = 1;    // midTrackTy::flags
inline constexpr uint32_t MID_SONG_ENDED = 1;     // midFileTy::flags
inline constexpr uint32_t MID_SONG_SEND_F0 = 2;   // midFileTy::flags
inline constexpr uint32_t MID_MAX_FILE = 1u << 26; // bigger files are refused

struct midFileTy;

struct midTrackTy {
    uint32_t dataOffset = 0; // first event, from the start of the song data
    uint32_t tick = 0;       // tick of the last event taken from this track
    uint32_t bytesLeft = 0;
    const uint8_t* read = nullptr;
    uint8_t runningStatus = 0;
    uint32_t flags = 0;
    uint32_t length = 0;
};

struct midFileTy {
    std::vector<uint8_t> data; // the file, or the 'data' chunk of an RMID file
    uint32_t position = 0;     // tick of the last event taken
    uint32_t songLength = 0;
    uint32_t trackCount = 0;
    uint32_t timeDivision = 0;
    uint32_t flags = 0;
    uint32_t pendingWord = 0; // the pending long event's type in the top byte; 0: none
    uint32_t pendingBytes = 0;
    const uint8_t* pendingData = nullptr;
    std::vector<midTrackTy> tracks;
};

struct midEventTy {
    uint32_t delta = 0;
    uint8_t status = 0;
    uint8_t data[2] = {0, 0}; // meta events: data[0] is the meta type
    uint32_t paramLength = 0;
    const uint8_t* params = nullptr;
};

// The MIDI data of a file's bytes: the whole of them, or the 'data' chunk
// of a RIFF form 'RMID'. MID_OK, or MID_INVALID_FILE for an RMID file
// without a whole 'data' chunk.
int midRiffFindData(std::span<const uint8_t> file, std::span<const uint8_t>& data);

// Reads and parses a file; on failure `song` is left empty.
int midReadFile(const char* fileName, midFileTy& song);
// Parses `song.data` (already filled): header, tracks, and one reading of
// every event, which sets the song length.
int midParseFile(midFileTy& song);
void midRewind(midFileTy& song);
// Bytes used by the variable-length quantity at `p` (at most `limit`
// bytes), or 0 when they ran out first.
uint32_t midReadVarLen(const uint8_t* p, uint32_t limit, uint32_t& value);
// The next event in time order before `endTick` (exclusive); ties between
// tracks go to the track that comes first in the file.
int midNextEvent(midFileTy& song, midEventTy& event, uint64_t endTick);
inline constexpr uint64_t MID_NO_TICK_LIMIT = UINT64_MAX;

// Writes the state that the events before `startTick` leave behind into
// the buffer (tempo, programs, controllers 0 to 119).
int midSeekState(midFileTy& song, uint32_t startTick, platform::MidiBuffer& buffer);
// Fills a stream buffer with the next events before `endTick`.
int midFillBuffer(midFileTy& song, platform::MidiBuffer& buffer, uint64_t endTick);
int midPutEvent(midFileTy& song, uint32_t delta, platform::MidiBuffer& buffer);

// Player states (midStateTy::state).
enum : uint32_t {
    MID_CLOSED = 0,
    MID_OPENED = 1,
    MID_PREPARING = 2,
    MID_READY = 3,
    MID_PLAYING = 4,
    MID_ENDING = 6,
    MID_RESETTING = 7,
};

inline constexpr uint32_t MID_NO_DEVICE = 0xFFFFFFFEu;
inline constexpr uint32_t MID_BUFFER_COUNT = 4;
inline constexpr uint32_t MID_BUFFER_SIZE = 1024;
// The state buffer's sizes (4096, doubled up to 32768) count a 64-byte
// buffer header; its events get the rest, 4032 bytes (336 events) at first.
inline constexpr uint32_t MID_STATE_HEADER = 64;
inline constexpr uint32_t MID_STATE_SIZE = 4096;
inline constexpr uint32_t MID_STATE_SIZE_MAX = 32768;
inline constexpr uint32_t MID_QUEUED_LAST = 1; // midStateTy::flags

// The stream state shared by the player (main thread) and the stream's
// callback (the stream's thread); everything below `mutex` is guarded by it.
struct midStateTy {
    std::mutex mutex;
    std::condition_variable buffersBack; // buffersOut went down

    uint32_t bufferCount = MID_BUFFER_COUNT;
    uint32_t bufferSize = MID_BUFFER_SIZE;
    const char* fileName = nullptr;
    uint32_t deviceId = MID_NO_DEVICE;
    platform::WindowHandle notifyWindow = nullptr;
    uint32_t state = MID_CLOSED;
    uint32_t songLength = 0;
    std::unique_ptr<midFileTy> song;
    platform::MidiStream* stream = nullptr;
    uint32_t timeDivision = 0;
    std::unique_ptr<uint8_t[]> bufferBlock;
    std::unique_ptr<platform::MidiBuffer[]> buffers;
    platform::MidiBuffer* freeList = nullptr;
    std::unique_ptr<uint8_t[]> stateBlock; // null until the first preparation
    platform::MidiBuffer stateBuffer;
    uint32_t stateBufferSize = 0;
    uint32_t buffersOut = 0;
    uint32_t startTick = 0;
    uint64_t endTick = 0; // exclusive
    uint32_t flags = 0;
};

// The buffers, built once: each is pushed onto the front of the free list,
// so the last of the block is used first. MID_OK or MID_NO_MEMORY.
int midAllocBuffers(midStateTy& state);
// The state-machine steps; each answers an MCI code (0: success).
uint32_t midOpen(midStateTy& state);
uint32_t midPrepare(midStateTy& state, uint32_t startTick, uint64_t endTick);
uint32_t midStart(midStateTy& state);
// The stream's completion callback.
void midStreamDone(platform::MidiStream* stream, platform::MidiBuffer* buffer);
