// MIDI streams: a queue of event buffers per stream and one scheduler
// thread per stream that plays each event when its time comes.
#include "platform/midi/midi_internal.h"
#include "platform/process.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <new>
#include <thread>

namespace platform {

struct MidiStream final : MidiClock::Listener {
    MidiSink* sink = nullptr;
    MidiClock* clock = nullptr;
    MidiDone done;

    std::mutex mutex;
    std::condition_variable wake;
    std::thread thread;
    std::thread::id thread_id;
    bool closing = false;
    bool freed_by_thread = false; // closed from its own callback
    bool running = false;

    uint32_t division = 96; // ticks per quarter note until set
    uint32_t tempo_us = 500000;
    uint64_t base_ns = 0; // time of tick 0 of the current tempo segment
    uint64_t ticks = 0;   // ticks of the last played event into the segment

    // Buffers queued, oldest first, and the offset of the next event in the
    // oldest; then the finished ones waiting for their callback.
    MidiBuffer* queue_head = nullptr;
    MidiBuffer* queue_tail = nullptr;
    uint32_t offset = 0;
    MidiBuffer* done_head = nullptr;
    MidiBuffer* done_tail = nullptr;
    uint32_t outstanding = 0; // queued or waiting for their callback

    bool idle = false; // guarded by the registry's mutex

    void time_moved() override;
};

namespace {

constexpr uint32_t default_tempo_us = 500000;
constexpr uint64_t never = UINT64_MAX;

// Open streams, the idle flags that midi_wait_idle() watches, and the
// threads of streams that closed themselves from their callback: a thread
// cannot join itself, so it is joined later from another thread.
struct Registry {
    std::mutex mutex;
    std::condition_variable idle_changed;
    std::vector<MidiStream*> open;
    std::vector<std::thread> finished;
};

void join_finished_threads();

Registry& registry()
{
    // Never destroyed: a stream left open at exit keeps its thread, which
    // must not find the registry gone. Threads that have finished are
    // joined at exit.
    static Registry* instance = [] {
        std::atexit(join_finished_threads);
        return new Registry;
    }();
    return *instance;
}

bool is_open(MidiStream* stream)
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    return stream && std::find(reg.open.begin(), reg.open.end(), stream) != reg.open.end();
}

void set_idle(MidiStream& stream, bool idle)
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    if (stream.idle == idle)
        return;
    stream.idle = idle;
    if (idle)
        reg.idle_changed.notify_all();
}

// Wakes the scheduler after a change; the caller holds the stream's mutex.
void poke(MidiStream& stream)
{
    set_idle(stream, false);
    stream.wake.notify_all();
}

void join_finished_threads()
{
    // A copy of the process (SDL's box) has none of these threads.
    if (in_forked_copy())
        return;
    std::vector<std::thread> threads;
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        auto self = std::find_if(reg.finished.begin(), reg.finished.end(),
                                 [](const std::thread& t) { return t.get_id() == std::this_thread::get_id(); });
        std::thread keep;
        if (self != reg.finished.end()) {
            keep = std::move(*self);
            reg.finished.erase(self);
        }
        threads.swap(reg.finished);
        if (keep.joinable())
            reg.finished.push_back(std::move(keep));
    }
    for (auto& t : threads)
        t.join();
}

uint64_t add_saturated(uint64_t a, uint64_t b) { return a > never - b ? never : a + b; }

void finish_head(MidiStream& s)
{
    MidiBuffer* b = s.queue_head;
    s.queue_head = b->queue_next;
    if (!s.queue_head)
        s.queue_tail = nullptr;
    s.offset = 0;
    b->queue_next = nullptr;
    b->flags = (b->flags & ~midi_buffer_queued) | midi_buffer_done;
    if (s.done_tail)
        s.done_tail->queue_next = b;
    else
        s.done_head = b;
    s.done_tail = b;
}

// Plays every event due by `now`; answers when the next one is due.
uint64_t play_due(MidiStream& s, uint64_t now)
{
    while (s.running && s.queue_head) {
        MidiBuffer* b = s.queue_head;
        const uint32_t end = std::min(b->bytes_recorded, b->length);
        if (end < midi_event_size || s.offset > end - midi_event_size) {
            finish_head(s);
            continue;
        }
        const uint8_t* e = b->data + s.offset;
        const uint32_t delta = midi_detail::load_u32le(e);
        const uint32_t word = midi_detail::load_u32le(e + 8);
        const uint64_t due = add_saturated(s.base_ns, midi_detail::ticks_to_ns(s.ticks + delta, s.division, s.tempo_us));
        if (due > now)
            return due;
        s.ticks += delta;
        const uint8_t type = uint8_t(word >> 24);
        uint32_t size = midi_event_size;
        if (type & mevt_long) {
            const uint32_t n = word & 0xFFFFFFu;
            const uint32_t room = end - s.offset - midi_event_size;
            if (n > room) {
                // A long event that claims more than the buffer holds: the
                // rest of the buffer is not events.
                finish_head(s);
                continue;
            }
            s.sink->long_message(due, {e + midi_event_size, n});
            size += std::min((n + 3) & ~3u, room); // padding may be left out at the very end
        } else if ((type & 0x3F) == mevt_tempo) {
            // A new tempo segment starts at this event.
            s.base_ns = due;
            s.ticks = 0;
            if (word & 0xFFFFFFu)
                s.tempo_us = word & 0xFFFFFFu;
        } else if ((type & 0x3F) == mevt_short) {
            s.sink->short_message(due, word & 0xFFFFFFu);
        }
        s.offset += size;
    }
    return never;
}

void wait_for(MidiStream& s, std::unique_lock<std::mutex>& lock, uint64_t deadline)
{
    if (deadline == never || !s.clock->real_time()) {
        s.wake.wait(lock);
        return;
    }
    using namespace std::chrono;
    s.wake.wait_until(lock, steady_clock::time_point(duration_cast<steady_clock::duration>(nanoseconds(deadline))));
}

void unlist(MidiStream* s);

void run_stream(MidiStream* s)
{
    std::unique_lock lock(s->mutex);
    while (!s->closing) {
        if (MidiBuffer* b = s->done_head) {
            s->done_head = b->queue_next;
            if (!s->done_head)
                s->done_tail = nullptr;
            b->queue_next = nullptr;
            --s->outstanding;
            // The callback may call back into the stream, so it runs
            // without the stream's lock.
            lock.unlock();
            // What the callback throws (memory that ran out for a message
            // it posts) must not leave this thread, where it would end the
            // process through std::terminate; the buffer is back all the
            // same.
            try {
                if (s->done)
                    s->done(s, b);
            } catch (...) {
            }
            lock.lock();
            continue;
        }
        const uint64_t next = play_due(*s, s->clock->now_ns());
        if (s->done_head)
            continue;
        set_idle(*s, true);
        wait_for(*s, lock, next);
    }
    const bool self_closed = s->freed_by_thread;
    lock.unlock();
    // A stream closed from its own callback is freed by its thread, and
    // stays listed until then, so that midi_wait_idle() waits for the rest
    // of that callback; one closed from outside is freed by the closer
    // after the join.
    if (self_closed) {
        unlist(s);
        delete s;
    }
}

MidiStream* checked(MidiStream* stream) { return is_open(stream) ? stream : nullptr; }

// Runs an entry point's work on an open stream under its lock; a handle that
// is not open, or a stream being closed, is an invalid handle.
template <class Work>
MidiResult with_open_stream(MidiStream* stream, Work&& work)
{
    MidiStream* s = checked(stream);
    if (!s)
        return MidiResult::invalid_handle;
    std::lock_guard lock(s->mutex);
    if (s->closing)
        return MidiResult::invalid_handle;
    return work(*s);
}

void unlist(MidiStream* s)
{
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.open.erase(std::find(reg.open.begin(), reg.open.end(), s));
    reg.idle_changed.notify_all();
}

} // namespace

void MidiStream::time_moved()
{
    std::lock_guard lock(mutex);
    poke(*this);
}

namespace midi_detail {

uint64_t ticks_to_ns(uint64_t ticks, uint32_t division, uint32_t tempo_us)
{
    uint64_t per_unit; // nanoseconds per `unit` ticks
    uint64_t unit;
    if (division & 0x8000) {
        const uint32_t fps = uint32_t(-int32_t(int8_t(division >> 8)));
        unit = uint64_t(fps == 29 ? 30 : fps) * (division & 0xFF);
        per_unit = fps == 29 ? 1'001'000'000 : 1'000'000'000; // 29 means 29.97 frames per second
    } else {
        unit = division & 0x7FFF;
        per_unit = uint64_t(tempo_us) * 1000;
    }
    if (unit == 0)
        return 0;
    uint64_t whole;
    if (__builtin_mul_overflow(ticks / unit, per_unit, &whole))
        return never;
    return add_saturated(whole, (ticks % unit) * per_unit / unit);
}

} // namespace midi_detail

void MidiSink::all_notes_off(uint64_t time_ns)
{
    for (uint32_t channel = 0; channel < 16; ++channel) {
        short_message(time_ns, 0xB0 | channel | 64 << 8);  // sustain pedal up
        short_message(time_ns, 0xB0 | channel | 123 << 8); // all notes off
    }
}

MidiResult midi_stream_open(MidiStream** stream, uint32_t device, MidiDone done)
{
    if (!stream)
        return MidiResult::invalid_param;
    *stream = nullptr;
    join_finished_threads();
    MidiSink* sink = nullptr;
    MidiClock* clock = nullptr;
    if (!midi_detail::resolve_device(device, sink, clock))
        return MidiResult::bad_device;
    auto* s = new MidiStream;
    s->sink = sink;
    s->clock = clock;
    s->done = std::move(done);
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        reg.open.push_back(s);
    }
    clock->add_listener(s);
    {
        std::lock_guard lock(s->mutex);
        try {
            s->thread = std::thread(run_stream, s);
        } catch (const std::system_error&) {
            clock->remove_listener(s);
            Registry& reg = registry();
            std::lock_guard reg_lock(reg.mutex);
            reg.open.erase(std::find(reg.open.begin(), reg.open.end(), s));
            delete s;
            return MidiResult::no_memory;
        }
        s->thread_id = s->thread.get_id();
    }
    *stream = s;
    return MidiResult::ok;
}

MidiResult midi_stream_set_time_division(MidiStream* stream, uint32_t division)
{
    return with_open_stream(stream, [division](MidiStream& s) {
        if (division & 0x8000) {
            const int fps = -int(int8_t(division >> 8));
            if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0 || division > 0xFFFF)
                return MidiResult::invalid_param;
        } else if (division == 0 || division > 0x7FFF) {
            return MidiResult::invalid_param;
        }
        // The ticks already played keep the time they had.
        s.base_ns = add_saturated(s.base_ns, midi_detail::ticks_to_ns(s.ticks, s.division, s.tempo_us));
        s.ticks = 0;
        s.division = division;
        poke(s);
        return MidiResult::ok;
    });
}

MidiResult midi_prepare_buffer(MidiStream* stream, MidiBuffer* buffer)
{
    return with_open_stream(stream, [buffer](MidiStream&) {
        if (!buffer || !buffer->data)
            return MidiResult::invalid_param;
        buffer->flags |= midi_buffer_prepared;
        return MidiResult::ok;
    });
}

MidiResult midi_unprepare_buffer(MidiStream* stream, MidiBuffer* buffer)
{
    return with_open_stream(stream, [buffer](MidiStream&) {
        if (!buffer)
            return MidiResult::invalid_param;
        if (buffer->flags & midi_buffer_queued)
            return MidiResult::still_playing;
        buffer->flags &= ~midi_buffer_prepared;
        return MidiResult::ok;
    });
}

MidiResult midi_stream_out(MidiStream* stream, MidiBuffer* buffer)
{
    return with_open_stream(stream, [buffer](MidiStream& s) {
        if (!buffer || buffer->bytes_recorded > buffer->length)
            return MidiResult::invalid_param;
        if (!(buffer->flags & midi_buffer_prepared))
            return MidiResult::unprepared;
        if (buffer->flags & midi_buffer_queued)
            return MidiResult::still_playing;
        if (!s.sink->accept_buffer())
            return MidiResult::error;
        buffer->flags = (buffer->flags | midi_buffer_queued) & ~midi_buffer_done;
        buffer->queue_next = nullptr;
        if (s.queue_tail)
            s.queue_tail->queue_next = buffer;
        else
            s.queue_head = buffer;
        s.queue_tail = buffer;
        ++s.outstanding;
        poke(s);
        return MidiResult::ok;
    });
}

MidiResult midi_stream_restart(MidiStream* stream)
{
    return with_open_stream(stream, [](MidiStream& s) {
        if (!s.running) {
            s.running = true;
            s.base_ns = s.clock->now_ns();
            s.ticks = 0;
            poke(s);
        }
        return MidiResult::ok;
    });
}

MidiResult midi_stream_reset(MidiStream* stream)
{
    return with_open_stream(stream, [](MidiStream& s) {
        s.sink->all_notes_off(s.clock->now_ns());
        while (s.queue_head)
            finish_head(s);
        s.running = false;
        s.ticks = 0;
        s.tempo_us = default_tempo_us;
        poke(s);
        return MidiResult::ok;
    });
}

MidiResult midi_stream_close(MidiStream* stream)
{
    MidiStream* s = checked(stream);
    if (!s)
        return MidiResult::invalid_handle;
    const bool from_callback = std::this_thread::get_id() == s->thread_id;
    {
        std::lock_guard lock(s->mutex);
        if (s->outstanding > 0 || s->closing)
            return s->closing ? MidiResult::invalid_handle : MidiResult::still_playing;
        s->closing = true;
        s->freed_by_thread = from_callback;
        s->sink->all_notes_off(s->clock->now_ns());
    }
    // Outside the stream's lock: the clock takes its own lock before
    // telling a stream that time moved.
    s->clock->remove_listener(s);
    std::thread thread;
    {
        std::lock_guard lock(s->mutex);
        thread = std::move(s->thread);
        s->wake.notify_all();
    }
    if (from_callback) {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        try {
            reg.finished.push_back(std::move(thread));
        } catch (const std::bad_alloc&) {
            // The calling thread is this one, which frees the stream and
            // ends by itself; a thread object dropped unjoined would end
            // the process.
            thread.detach();
        }
        return MidiResult::ok;
    }
    unlist(s);
    thread.join();
    delete s;
    return MidiResult::ok;
}

void midi_wait_idle()
{
    Registry& reg = registry();
    std::unique_lock lock(reg.mutex);
    reg.idle_changed.wait(lock, [&] {
        return std::all_of(reg.open.begin(), reg.open.end(), [](const MidiStream* s) { return s->idle; });
    });
}

} // namespace platform
