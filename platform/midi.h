// MIDI output: the devices, and streams of timed events that a scheduler
// thread plays into a device's sink.
//
// A stream is fed with buffers of stream events. Each event is three
// little-endian u32 words, {delta ticks since the previous event, stream id
// (ignored), event word}, where the event word's top byte is the type:
// mevt_short (the message's status and data bytes in the low 24 bits),
// mevt_tempo (microseconds per quarter note in the low 24 bits) or, with
// bit 7 set, a long event whose low 24 bits give the length of the
// parameter bytes that follow, padded to a multiple of 4. The stream turns
// ticks into time through the time division and the current tempo, plays
// each event when its time comes and hands each buffer back through the
// completion callback once its last event has been played, in the order the
// buffers were queued. The callback runs on the stream's own thread and may
// call every stream function, midi_stream_close() included.
#pragma once

#include "platform/audio.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace platform {

enum class MidiResult : uint32_t {
    ok = 0,
    error = 1,          // the device refused the request
    bad_device = 2,     // no such device
    invalid_handle = 5, // not an open stream
    no_memory = 7,
    invalid_param = 11, // a null buffer, a time division of 0
    unprepared = 64,    // the buffer is not prepared for the stream
    still_playing = 65, // the buffer is queued, or the stream still holds buffers
};

// The device that stands for "whichever output suits": device 0.
inline constexpr uint32_t midi_mapper = 0xFFFFFFFFu;

struct MidiOutCaps {
    std::string name;
    bool renders_audio = false; // true: its sound goes into midi_synth_render()
    uint16_t voices = 0;
    uint16_t channel_mask = 0xFFFF;
};

// Devices: there is always at least one. Device 0 is the FluidSynth
// synthesiser when a General MIDI soundfont is found and loads, else a
// silent device that keeps time and hands buffers back like any other.
uint32_t midi_out_device_count();
[[nodiscard]] MidiResult midi_out_caps(uint32_t device, MidiOutCaps& caps);

// The soundfont for the synthesiser; empty: the first of Debian's General
// MIDI soundfonts that is installed, which also stands in for a soundfont
// that is missing or does not load. Takes effect when the synthesiser is
// first needed.
void set_midi_soundfont(const std::string& path);

// Why the synthesiser's library could not be used, as far as it decides
// what the player can do about it.
enum class SynthLibraryFault {
    none,
    broken,       // missing, damaged, or lacking a function: its package mends it
    open_files,   // the process may open no more files (EMFILE): the library is fine
    system_files, // the system's table of open files is full (ENFILE)
    memory,       // no memory to map it (ENOMEM, a segment that could not be mapped)
};

// What became of the soundfont once the synthesiser was first needed.
struct MidiSoundfontState {
    bool tried = false;       // the synthesiser has been made (or failed)
    bool refused = false;     // the soundfont set was missing or did not load
    std::string loaded;       // the soundfont that plays; "" when none does
    std::string why;          // why the soundfont set was refused
    // Why the synthesiser's library could not be used, "" when it could (or
    // was not tried): then no soundfont plays, and none is refused for it.
    std::string library_why;
    SynthLibraryFault library_fault = SynthLibraryFault::none;
    std::string library_package; // the system's package that installs that library
    // No soundfont plays, and none is installed where the system's are
    // searched (below): the music is silent until one is.
    bool none_installed = false;
    // No soundfont plays, though the system's is installed: the one tried
    // (for none set, or in place of the one refused) and why it did not
    // load; "" otherwise.
    std::string system_failed;
    std::string system_why;
};
MidiSoundfontState midi_soundfont_state();

inline constexpr uint32_t midi_event_size = 12;
inline constexpr uint8_t mevt_short = 0x00;
inline constexpr uint8_t mevt_tempo = 0x01;
inline constexpr uint8_t mevt_long = 0x80;
inline constexpr uint32_t mevt_word(uint8_t type, uint32_t low24) { return uint32_t(type) << 24 | (low24 & 0xFFFFFFu); }

// The flags a stream keeps in a buffer.
inline constexpr uint32_t midi_buffer_prepared = 1;
inline constexpr uint32_t midi_buffer_queued = 2;
inline constexpr uint32_t midi_buffer_done = 4;

// A buffer of stream events; its memory is the caller's. `next` is the
// caller's own (free lists); the stream chains queued buffers through
// `queue_next`, which the caller leaves alone.
struct MidiBuffer {
    uint8_t* data = nullptr;
    uint32_t length = 0;         // bytes of data available
    uint32_t bytes_recorded = 0; // bytes of events in it
    void* user = nullptr;
    MidiBuffer* next = nullptr;
    uint32_t flags = 0;
    MidiBuffer* queue_next = nullptr;
};

struct MidiStream;
using MidiDone = std::function<void(MidiStream* stream, MidiBuffer* buffer)>;

// Opens a stream on a device (or midi_mapper), paused, with the time
// division 96 ticks per quarter note and a tempo of 500000 us per quarter.
[[nodiscard]] MidiResult midi_stream_open(MidiStream** stream, uint32_t device, MidiDone done);
// The division word of a standard MIDI file: ticks per quarter note, or
// with bit 15 set, minus the frames per second in the high byte and ticks
// per frame in the low byte.
[[nodiscard]] MidiResult midi_stream_set_time_division(MidiStream* stream, uint32_t division);
// Marks a buffer usable by the stream; doing it twice is harmless. A queued
// buffer cannot be unprepared.
[[nodiscard]] MidiResult midi_prepare_buffer(MidiStream* stream, MidiBuffer* buffer);
[[nodiscard]] MidiResult midi_unprepare_buffer(MidiStream* stream, MidiBuffer* buffer);
// Queues a prepared buffer behind the others.
[[nodiscard]] MidiResult midi_stream_out(MidiStream* stream, MidiBuffer* buffer);
// Starts a paused stream: its time starts now at tick 0.
[[nodiscard]] MidiResult midi_stream_restart(MidiStream* stream);
// Silences every note, pauses the stream back at tick 0 with the default
// tempo, and hands every queued buffer back through the callback, in order.
MidiResult midi_stream_reset(MidiStream* stream);
// Silences every note and closes the stream; refused while buffers are
// queued or not yet handed back. Callable from the stream's own callback.
MidiResult midi_stream_close(MidiStream* stream);

// --- Sinks and clocks -----------------------------------------------------

// Where a device's events go. Times are the stream clock's, in nanoseconds:
// when each event was due, which may be slightly before it is delivered.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    // status | data1 << 8 | data2 << 16
    virtual void short_message(uint64_t time_ns, uint32_t message) = 0;
    virtual void long_message(uint64_t time_ns, std::span<const uint8_t> bytes) = 0;
    // Every sounding note off and the sustain pedal up, on every channel.
    virtual void all_notes_off(uint64_t time_ns);
    // Whether the device takes one more buffer into its queue.
    virtual bool accept_buffer() { return true; }
};

// A stream's time. The system clock is steady real time; a manual clock
// moves only when told and tells the streams that run on it.
class MidiClock {
public:
    class Listener {
    public:
        virtual void time_moved() = 0;

    protected:
        ~Listener() = default;
    };
    virtual ~MidiClock() = default;
    virtual uint64_t now_ns() = 0;
    // True when the time moves only by itself (waits have deadlines);
    // false when listeners are told of every move.
    virtual bool real_time() const = 0;
    virtual void add_listener(Listener*) {}
    virtual void remove_listener(Listener*) {}
};

MidiClock& midi_system_clock();

class ManualMidiClock final : public MidiClock {
public:
    uint64_t now_ns() override;
    bool real_time() const override { return false; }
    void add_listener(Listener* listener) override;
    void remove_listener(Listener* listener) override;
    // Moves the time on and wakes the streams that run on this clock.
    void advance_ns(uint64_t ns);
    void advance_ms(uint64_t ms) { advance_ns(ms * 1'000'000); }

private:
    // The time is read by streams that hold their own lock, so reading it
    // takes no lock; the mutex guards the listeners.
    std::atomic<uint64_t> now_{0};
    std::mutex mutex_;
    std::vector<Listener*> listeners_;
};

// A sink that logs every event with its time, for tests.
class MidiRecorder final : public MidiSink {
public:
    struct Entry {
        uint64_t time_ns = 0;
        std::vector<uint8_t> bytes;
        friend bool operator==(const Entry&, const Entry&) = default;
    };
    void short_message(uint64_t time_ns, uint32_t message) override;
    void long_message(uint64_t time_ns, std::span<const uint8_t> bytes) override;
    void all_notes_off(uint64_t time_ns) override;
    bool accept_buffer() override;

    std::vector<Entry> entries() const;
    size_t notes_off_count() const;
    void clear();
    // From now on, queue only `count` more buffers and refuse the rest.
    void refuse_buffers_after(size_t count);

private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    size_t notes_off_ = 0;
    size_t accept_left_ = SIZE_MAX;
};

// Streams opened from now on play into `sink` on `clock` (both kept by the
// caller and outliving those streams) whatever device they name; null
// restores the real devices. For tests.
void set_midi_device_override(MidiSink* sink, MidiClock* clock);

// Waits until every open stream has played what was due at its clock's
// present time and has handed back, through its callback, every buffer
// that was finished by then. For tests on a manual clock.
void midi_wait_idle();

// --- The synthesiser's sound ----------------------------------------------

// Writes the synthesiser's next `frames` frames of interleaved signed 16-bit
// samples in `format`; silence (and false) when it does not run. Meant to be
// called by the engine's mixer on the audio output's thread: events due
// while a piece is rendered land at their place in it, a fixed delay behind
// real time.
bool midi_synth_render(int16_t* samples, uint32_t frames, const AudioFormat& format);

// A FluidSynth synthesiser that renders on request, outside the device
// table: for tests and benchmarks that render offline on their own clock.
class MidiSynth final : public MidiSink {
public:
    // Loads the soundfont (empty: Debian's default path); ok() tells.
    explicit MidiSynth(const std::string& soundfont, uint32_t rate);
    ~MidiSynth() override;
    MidiSynth(const MidiSynth&) = delete;
    MidiSynth& operator=(const MidiSynth&) = delete;

    bool ok() const;
    // Why the soundfont did not load ("" when it did).
    const std::string& failure() const;
    uint32_t rate() const;
    void short_message(uint64_t time_ns, uint32_t message) override;
    void long_message(uint64_t time_ns, std::span<const uint8_t> bytes) override;
    void all_notes_off(uint64_t time_ns) override;
    // Renders the frames that start at `start_ns`, stereo or mono, applying
    // each queued event due before their end at its own frame.
    void render(int16_t* samples, uint32_t frames, uint16_t channels, uint64_t start_ns);
    // As render(), with `start_ns` following the system clock `delay_ns`
    // behind, for the live mix.
    void render_live(int16_t* samples, uint32_t frames, uint16_t channels, uint64_t delay_ns);

    struct State;

private:
    State* state_;
};

// The path of the soundfont found in Debian's places, or "".
std::string default_midi_soundfont();
// The folder those places are in (/usr/share/sounds, for sf2/ and sf3/).
std::string midi_soundfont_folder();

} // namespace platform
