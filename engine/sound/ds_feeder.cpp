// Buffers of the channels and the feeder that keeps streaming ones filled,
// finds the end of each sound, loops it or ends it, and starts queued
// requests on the channels that end.
#include "engine/sound/ds_state.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>

namespace {

inline constexpr uint32_t no_cursor = 0xFFFFFFFFu;

uint8_t silence_byte(const dsChan& c) { return c.format.bitsPerSample == 8 ? 0x80 : 0; }

bool wants_looping_play(const dsChan& c) { return !(c.playFlags & DS_STATIC) || (c.playFlags & DS_LOOP); }

// Ends a channel: releases its buffer, then lets the first queued request
// whose range covers it start there; without one, a channel that asked for
// notification posts 953 (wParam 8 when it failed, else 1).
void end_channel(int32_t number, bool failed)
{
    dsChan& c = ds.channels[number];
    const bool notify = c.state & DS_NOTIFY;
    dsChanClear(c);
    for (auto it = ds.requests.begin(); it != ds.requests.end(); ++it) {
        if (it->first > number || it->last < number)
            continue;
        const dsRequest r = *it;
        // The request is dropped whatever its start returns.
        ds.requests.erase(it);
        const int32_t started =
            dsChanStart(&r.format, r.priority, r.flags & ~DS_QUEUE, r.volume, r.pan, number, number, r.read, r.context);
        if (started >= 0 && notify)
            dsChanNotify(started);
        return;
    }
    if (notify)
        platform::post_message(ds.window, DS_MSG_CHANNEL_END, failed ? 8 : 1, DS_MSG_TAG | number);
}

// Writes silence into [offset, offset + bytes) of the buffer.
void fill_silence(dsChan& c, uint32_t offset, uint32_t bytes)
{
    uint8_t *p1, *p2;
    uint32_t n1, n2;
    ds.device->lock(c.buffer, offset, bytes, p1, n1, p2, n2);
    std::memset(p1, silence_byte(c), n1);
    if (p2)
        std::memset(p2, silence_byte(c), n2);
    ds.device->unlock(c.buffer, p1, n1, p2, n2);
}

// Refills one half: what the source still has, then (looping) its start
// again, or silence.
void refill(int32_t number, dsChan& c, uint32_t offset, uint32_t count, uint32_t cursor, uint32_t half)
{
    const bool loop = c.playFlags & DS_LOOP;
    const uint32_t n = std::min(count, c.format.dataLength - std::min(c.readPosition, c.format.dataLength));
    uint8_t *p1, *p2;
    uint32_t n1, n2;
    ds.device->lock(c.buffer, offset, count, p1, n1, p2, n2);
    if (n < count && !loop)
        std::memset(p1, silence_byte(c), n1);
    const uint32_t first = std::min(n, n1);
    c.readPosition = c.read(c.context, p1, c.readPosition, first, number);
    const bool ended = c.readPosition >= c.format.dataLength;
    if (ended) {
        c.endPosition = offset + first;
        if (loop) {
            c.readPosition = count - first;
            if (first < n1)
                c.read(c.context, p1 + first, 0, n1 - first, number);
        }
    }
    if (p2 && !ended)
        c.readPosition = c.read(c.context, p2, c.readPosition, std::min(n2, n - first), number);
    ds.device->unlock(c.buffer, p1, n1, p2, n2);
    c.state ^= DS_SECOND_HALF_NEXT;
    if (ended && !loop) {
        if (cursor > half)
            c.playFlags |= DS_SILENCE_PENDING;
        // The data end in the second half: let the ring play out once more
        // to its end and stop there.
        if (offset >= half)
            ds.device->play(c.buffer, false);
    }
}

} // namespace

int32_t dsCreateBuffer(int32_t number, dsChan& c)
{
    c.endPosition = DS_OPEN_LENGTH;
    c.bufferBytes = std::min(c.format.bufferLength, c.format.dataLength);
    c.lastPlayCursor = no_cursor;
    snd_device::BufferDesc desc;
    desc.channels = c.format.channels;
    desc.rate = c.format.samplesPerSec;
    desc.bits = c.format.bitsPerSample;
    desc.bytes = c.bufferBytes;
    desc.is_static = c.bufferBytes == c.format.dataLength;
    desc.global_focus = ds.globalFocus;
    c.buffer = ds.device->create_buffer(desc);
    if (!c.buffer)
        return snd_device::err_invalid_param;
    if (desc.is_static)
        c.playFlags |= DS_STATIC;

    uint8_t *p1, *p2;
    uint32_t n1, n2;
    ds.device->lock(c.buffer, 0, c.bufferBytes, p1, n1, p2, n2);
    c.readPosition = c.read(c.context, p1, c.readPosition, n1, number);
    if (p2 && c.readPosition < c.format.dataLength)
        c.readPosition = c.read(c.context, p2, c.readPosition, n2, number);
    ds.device->unlock(c.buffer, p1, n1, p2, n2);
    // A streaming source can end inside this first fill: one without a
    // length learns its end only by reaching it, and a damaged one ends
    // before the length it gave. It ends as in a refill: the data end at the
    // end of what was filled; a looping sound reads from its start at the
    // next refill, another plays the ring once to there and stops.
    bool once = false;
    if (!desc.is_static && c.readPosition >= c.format.dataLength) {
        c.endPosition = c.bufferBytes;
        if (c.playFlags & DS_LOOP)
            c.readPosition = 0;
        else
            once = true;
    }
    ds.device->set_volume(c.buffer, c.volume);
    ds.device->set_pan(c.buffer, c.pan);
    ds.device->play(c.buffer, wants_looping_play(c) && !once);
    c.state |= DS_ACTIVE;
    return 0;
}

bool dsFeedPass()
{
    std::lock_guard lock(ds.channelLock);
    if (!ds.device)
        return false;
    bool active = false;
    for (int32_t number = 0; number < DS_CHANNELS; ++number) {
        dsChan& c = ds.channels[number];
        if (!(c.state & DS_ACTIVE))
            continue;
        active = true;
        if (c.state & DS_DEFERRED) {
            c.state &= ~DS_DEFERRED;
            if (dsCreateBuffer(number, c) != 0)
                end_channel(number, true);
            continue;
        }
        const uint32_t half = c.bufferBytes / 2;
        const uint32_t status = ds.device->status(c.buffer);
        const bool playing = status & snd_device::status_playing;
        const uint32_t cursor = ds.device->position(c.buffer);

        // A cursor that has not moved for ten polls while playing: play the
        // buffer again, which restarts an output that lost it.
        if (playing) {
            c.unchangedPolls = cursor == c.lastPlayCursor ? c.unchangedPolls + 1 : 0;
            c.lastPlayCursor = cursor;
            if (c.unchangedPolls == 10) {
                ds.device->stop(c.buffer);
                ds.device->play(c.buffer, wants_looping_play(c));
            }
        }

        // The end position counts as lying in the half whose data it ends,
        // so an end exactly at the middle belongs to the first half.
        bool loop_notify = false;
        if (c.endPosition <= c.bufferBytes) {
            const bool end_second = c.endPosition > half;
            const bool cursor_second = cursor >= half;
            bool reached = false;
            if (c.state & DS_END_ARMED) {
                reached = cursor >= c.endPosition || (!cursor_second && end_second);
            } else if (cursor_second == end_second) {
                if (cursor < c.endPosition)
                    c.state |= DS_END_ARMED;
                else
                    reached = true;
            }
            if (reached) {
                if (!(c.playFlags & DS_LOOP)) {
                    ds.device->stop(c.buffer);
                    end_channel(number, false);
                    continue;
                }
                c.state &= ~DS_END_ARMED;
                c.endPosition = DS_OPEN_LENGTH;
                loop_notify = c.state & DS_NOTIFY;
            }
        }

        const bool all_read = c.readPosition >= c.format.dataLength;
        if (all_read && !playing) {
            end_channel(number, false);
            continue;
        }
        if (!(c.playFlags & DS_STATIC) && (!all_read || (c.playFlags & DS_SILENCE_PENDING))) {
            const bool cursor_first = cursor < half;
            if ((c.playFlags & DS_SILENCE_PENDING) && cursor_first) {
                fill_silence(c, half, c.bufferBytes - half);
                c.playFlags &= ~DS_SILENCE_PENDING;
            } else if (cursor_first && (c.state & DS_SECOND_HALF_NEXT)) {
                if (!all_read)
                    refill(number, c, half, c.bufferBytes - half, cursor, half);
            } else if (!cursor_first && !(c.state & DS_SECOND_HALF_NEXT)) {
                if (!all_read)
                    refill(number, c, 0, half, cursor, half);
            }
        }
        if (loop_notify)
            platform::post_message(ds.window, DS_MSG_CHANNEL_END, 1, DS_MSG_TAG | number);
    }
    return active;
}

namespace {

void feed_until_stopped()
{
    for (;;) {
        {
            std::lock_guard lock(ds.threadLock);
            if (ds.stop)
                return;
        }
        const bool active = dsFeedPass();
        std::unique_lock lock(ds.threadLock);
        ++ds.passes;
        if (ds.stop) {
            ds.passCv.notify_all();
            return;
        }
        // A start sets `wake` under this lock, so one that came after the
        // pass found nothing to do is seen here and not lost.
        if (!active && !ds.wake) {
            ds.suspended = true;
            ds.passCv.notify_all();
            ds.wakeCv.wait(lock, [] { return ds.stop || ds.wake; });
            ds.suspended = false;
        } else {
            ds.passCv.notify_all();
            ds.wakeCv.wait_for(lock, std::chrono::milliseconds(ds.config.pollMs), [] { return ds.stop || ds.wake; });
        }
        ds.wake = false;
    }
}

void feeder_main()
{
    try {
        feed_until_stopped();
    } catch (const std::exception&) {
        // Memory that ran out during a pass (a decoder's buffer, a posted
        // message) ends this feeder and not the process; what was playing
        // falls silent, and the next sound started wakes a new feeder.
        std::lock_guard lock(ds.threadLock);
        ds.running = false;
        ds.passCv.notify_all();
    }
}

} // namespace

bool dsWakeFeeder()
{
    if (ds.config.manualFeed)
        return true;
    std::lock_guard lock(ds.threadLock);
    if (!ds.running) {
        ds.suspended = false;
        ds.stop = false;
        auto feeder = std::make_unique<platform::Thread>(feeder_main);
        if (!feeder->created())
            return false;
        ds.feeder = std::move(feeder);
        ds.running = true;
        ds.feeder->start();
    }
    ds.wake = true;
    ds.wakeCv.notify_all();
    return true;
}

void dsStopFeeder()
{
    if (ds.feeder) {
        ds.feeder->wait();
        ds.feeder.reset();
    }
    std::lock_guard lock(ds.threadLock);
    ds.running = false;
    ds.passCv.notify_all();
}

uint64_t dsPassesDone()
{
    std::lock_guard lock(ds.threadLock);
    return ds.passes;
}

uint64_t dsWaitPasses(uint64_t count)
{
    std::unique_lock lock(ds.threadLock);
    ds.passCv.wait(lock, [&] { return ds.passes >= count || (ds.suspended && !ds.wake) || !ds.running; });
    return ds.passes;
}

bool dsFeederRunning()
{
    std::lock_guard lock(ds.threadLock);
    return ds.running;
}
