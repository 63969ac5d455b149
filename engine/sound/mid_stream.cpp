// The player's state machine over the platform's MIDI stream: opening the
// song, preparing and queueing the buffers, starting, and the callback that
// refills returned buffers and ends the pass.
#include "engine/sound/mid_internal.h"

#include <new>

using platform::MidiBuffer;
using platform::MidiResult;

namespace {

void pushFree(midStateTy& s, MidiBuffer* buffer)
{
    buffer->next = s.freeList;
    s.freeList = buffer;
}

// The pass is over for this buffer: back to the free list (the state
// buffer has no place there). When it was the last one out, the stream
// closes and the notify window hears of it, so the next pass can start.
// Called with the state's lock held, on the stream's thread.
void retireBuffer(midStateTy& s, platform::MidiStream* stream, MidiBuffer* buffer)
{
    if (buffer != &s.stateBuffer) {
        pushFree(s, buffer);
        (void)platform::midi_unprepare_buffer(stream, buffer);
    }
    if (s.buffersOut != 0)
        return;
    (void)platform::midi_stream_close(stream);
    s.stream = nullptr;
    s.state = MID_OPENED;
    platform::post_message(s.notifyWindow, 0x414, reinterpret_cast<uintptr_t>(&s), 1);
}

// Stops the stream and waits, without spinning, until every queued buffer
// has come back through the callback.
void resetAndWait(midStateTy& s, std::unique_lock<std::mutex>& lock)
{
    s.state = MID_RESETTING;
    (void)platform::midi_stream_reset(s.stream);
    s.buffersBack.wait(lock, [&] { return s.buffersOut == 0; });
}

uint32_t streamError(MidiResult result) { return uint32_t(result); }

uint32_t prepareLocked(midStateTy& s, std::unique_lock<std::mutex>& lock, uint32_t startTick, uint64_t endTick)
{
    if (s.state != MID_OPENED && s.state != MID_READY)
        return MCIERR_UNSUPPORTED_FUNCTION;
    s.startTick = startTick;
    s.endTick = endTick;
    if (s.stream)
        resetAndWait(s, lock);
    s.buffersOut = 0;
    s.state = MID_PREPARING;

    if (!s.stream) {
        if (s.deviceId == MID_NO_DEVICE)
            return MCIERR_DEVICE_NOT_READY;
        if (MidiResult r = platform::midi_stream_open(&s.stream, s.deviceId, midStreamDone); r != MidiResult::ok) {
            s.stream = nullptr;
            return streamError(r);
        }
        if (platform::midi_stream_set_time_division(s.stream, s.timeDivision) != MidiResult::ok) {
            (void)platform::midi_stream_close(s.stream);
            s.stream = nullptr;
            return MCIERR_DEVICE_NOT_READY;
        }
    }

    if (!s.stateBlock) {
        s.stateBlock.reset(new (std::nothrow) uint8_t[MID_STATE_SIZE]);
        if (!s.stateBlock)
            return MCIERR_OUT_OF_MEMORY;
        s.stateBufferSize = MID_STATE_SIZE;
    }
    for (;;) {
        s.stateBuffer = {.data = s.stateBlock.get(), .length = s.stateBufferSize - MID_STATE_HEADER, .user = &s};
        const int result = midSeekState(*s.song, s.startTick, s.stateBuffer);
        if (result == MID_OK)
            break;
        if (result == MID_NO_MEMORY && s.stateBufferSize < MID_STATE_SIZE_MAX) {
            std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[s.stateBufferSize * 2]);
            if (!bigger)
                return MCIERR_OUT_OF_MEMORY;
            s.stateBlock = std::move(bigger);
            s.stateBufferSize *= 2;
            continue;
        }
        s.stateBlock.reset();
        s.stateBufferSize = 0;
        return midMapError(result);
    }
    if (platform::midi_prepare_buffer(s.stream, &s.stateBuffer) != MidiResult::ok ||
        platform::midi_stream_out(s.stream, &s.stateBuffer) != MidiResult::ok)
        return MCIERR_DEVICE_NOT_READY;
    ++s.buffersOut;
    s.flags &= ~MID_QUEUED_LAST;

    while (MidiBuffer* buffer = s.freeList) {
        s.freeList = buffer->next;
        const int result = midFillBuffer(*s.song, *buffer, s.endTick);
        if (result != MID_OK && result != MID_END_OF_SONG) {
            pushFree(s, buffer);
            return midMapError(result);
        }
        MidiResult r = platform::midi_prepare_buffer(s.stream, buffer);
        if (r == MidiResult::ok)
            r = platform::midi_stream_out(s.stream, buffer);
        if (r != MidiResult::ok) {
            pushFree(s, buffer);
            return streamError(r);
        }
        ++s.buffersOut;
        if (result == MID_END_OF_SONG) {
            s.flags |= MID_QUEUED_LAST;
            break;
        }
    }
    s.state = MID_READY;
    return 0;
}

} // namespace

int midAllocBuffers(midStateTy& s)
{
    s.bufferBlock.reset(new (std::nothrow) uint8_t[size_t(s.bufferCount) * s.bufferSize]);
    s.buffers.reset(new (std::nothrow) MidiBuffer[s.bufferCount]);
    if (!s.bufferBlock || !s.buffers)
        return MID_NO_MEMORY;
    for (uint32_t i = 0; i < s.bufferCount; ++i) {
        MidiBuffer& b = s.buffers[i];
        b = {.data = s.bufferBlock.get() + size_t(i) * s.bufferSize, .length = s.bufferSize, .user = &s};
        pushFree(s, &b);
    }
    return MID_OK;
}

uint32_t midOpen(midStateTy& s)
{
    std::lock_guard lock(s.mutex);
    if (s.state != MID_CLOSED)
        return MCIERR_UNSUPPORTED_FUNCTION;
    auto song = std::unique_ptr<midFileTy>(new (std::nothrow) midFileTy);
    if (!song)
        return MCIERR_OUT_OF_MEMORY;
    if (const int result = midReadFile(s.fileName ? s.fileName : "", *song); result != MID_OK)
        return midMapError(result);
    s.song = std::move(song);
    s.timeDivision = s.song->timeDivision;
    s.songLength = s.song->songLength;
    s.state = MID_OPENED;
    return 0;
}

uint32_t midPrepare(midStateTy& s, uint32_t startTick, uint64_t endTick)
{
    std::unique_lock lock(s.mutex);
    const uint32_t before = s.state;
    const uint32_t result = prepareLocked(s, lock, startTick, endTick);
    if (result != 0 && (before == MID_OPENED || before == MID_READY))
        s.state = MID_OPENED;
    return result;
}

uint32_t midStart(midStateTy& s)
{
    std::lock_guard lock(s.mutex);
    if (s.state != MID_READY)
        return MCIERR_UNSUPPORTED_FUNCTION;
    s.state = MID_PLAYING;
    return streamError(platform::midi_stream_restart(s.stream));
}

void midStreamDone(platform::MidiStream* stream, MidiBuffer* buffer)
{
    auto& s = *static_cast<midStateTy*>(buffer->user);
    std::lock_guard lock(s.mutex);
    --s.buffersOut;
    s.buffersBack.notify_all();
    if (s.state == MID_RESETTING) {
        if (buffer != &s.stateBuffer)
            pushFree(s, buffer);
        return;
    }
    if (s.state == MID_ENDING || (s.flags & MID_QUEUED_LAST)) {
        retireBuffer(s, stream, buffer);
        return;
    }
    const int result = midFillBuffer(*s.song, *buffer, s.endTick);
    if (result == MID_END_OF_SONG) {
        s.flags |= MID_QUEUED_LAST;
    } else if (result != MID_OK) {
        // The buffer goes back and the pass ends once the others are back.
        s.state = MID_ENDING;
        retireBuffer(s, stream, buffer);
        return;
    }
    ++s.buffersOut;
    if (platform::midi_stream_out(stream, buffer) != MidiResult::ok) {
        // A refused buffer ends the pass like a failed refill: even when it
        // was the last one out, the stream closes and the song starts again.
        --s.buffersOut;
        s.state = MID_ENDING;
        retireBuffer(s, stream, buffer);
    }
}
