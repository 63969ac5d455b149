// The MIDI output devices, the clocks streams run on, and the sinks that
// are not a synthesiser: the silent one and the recorder for tests.
#include "platform/midi/midi_internal.h"
#include "platform/midi/synth_library.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace platform {

namespace {

class SystemMidiClock final : public MidiClock {
public:
    uint64_t now_ns() override
    {
        using namespace std::chrono;
        return uint64_t(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    }
    bool real_time() const override { return true; }
};

// Keeps time and drops the events: the game behaves the same without a
// synthesiser, the music is just not heard.
class SilentSink final : public MidiSink {
public:
    void short_message(uint64_t, uint32_t) override {}
    void long_message(uint64_t, std::span<const uint8_t>) override {}
    void all_notes_off(uint64_t) override {}
};

struct Devices {
    std::mutex mutex;
    MidiSink* override_sink = nullptr;
    MidiClock* override_clock = nullptr;
    std::string soundfont;
    bool synth_tried = false;
    std::string library_why;
    SynthLibraryFault library_fault = SynthLibraryFault::none;
    bool soundfont_refused = false;
    std::string soundfont_why;
    std::string soundfont_loaded;
    bool none_installed = false;
    std::string system_failed;
    std::string system_why;
    std::unique_ptr<MidiSynth> synth; // device 0 when it loaded
    SilentSink silent;
};

Devices& devices()
{
    // Never destroyed, like the streams that may still use its sinks at exit.
    static Devices* instance = new Devices;
    return *instance;
}

// Loads the synthesiser the first time a device is needed: opening the
// soundfont takes a moment and a program without music never pays for it.
MidiSynth* synth_locked(Devices& d)
{
    if (!d.synth_tried) {
        d.synth_tried = true;
        // A library that is missing or broken is its own fault: no soundfont
        // would load, so none is blamed, and the system's is not tried.
        std::string why;
        if (!midi_detail::synth_library(why)) {
            d.library_why = why;
            d.library_fault = midi_detail::synth_library_fault(why);
            return nullptr;
        }
        const uint32_t rate = audio_state() != AudioState::closed ? audio_format().rate : AudioFormat{}.rate;
        const auto failure_of = [](const MidiSynth& failed) {
            return failed.failure().empty() ? std::string("the synthesiser could not start") : failed.failure();
        };
        auto synth = std::make_unique<MidiSynth>(d.soundfont, rate);
        if (!synth->ok() && !d.soundfont.empty()) {
            // A soundfont asked for that is missing or broken: the system's
            // own plays the music rather than none.
            d.soundfont_refused = true;
            d.soundfont_why = failure_of(*synth);
            synth = std::make_unique<MidiSynth>(std::string(), rate);
        }
        // The system's soundfont is the one tried last, unless one set loaded.
        const std::string system = default_midi_soundfont();
        if (synth->ok()) {
            d.synth = std::move(synth);
            d.soundfont_loaded = d.soundfont_refused || d.soundfont.empty() ? system : d.soundfont;
        } else if (system.empty()) {
            d.none_installed = true;
        } else {
            // Installed, and unreadable or broken: not missing.
            d.system_failed = system;
            d.system_why = failure_of(*synth);
        }
    }
    return d.synth.get();
}

} // namespace

MidiClock& midi_system_clock()
{
    // Never destroyed, like the devices: a stream's thread may still read
    // it while the program's static objects are destroyed.
    static SystemMidiClock* clock = new SystemMidiClock;
    return *clock;
}

uint32_t midi_out_device_count() { return 1; }

MidiResult midi_out_caps(uint32_t device, MidiOutCaps& caps)
{
    if (device != 0 && device != midi_mapper)
        return MidiResult::bad_device;
    Devices& d = devices();
    std::lock_guard lock(d.mutex);
    if (d.override_sink) {
        caps = {.name = "Test MIDI device"};
    } else if (MidiSynth* synth = synth_locked(d)) {
        (void)synth;
        caps = {.name = "FluidSynth General MIDI synthesiser", .renders_audio = true, .voices = 256};
    } else {
        caps = {.name = "Silent MIDI output"};
    }
    return MidiResult::ok;
}

void set_midi_soundfont(const std::string& path)
{
    Devices& d = devices();
    std::lock_guard lock(d.mutex);
    d.soundfont = path;
}

MidiSoundfontState midi_soundfont_state()
{
    Devices& d = devices();
    std::lock_guard lock(d.mutex);
    return { d.synth_tried, d.soundfont_refused, d.soundfont_loaded, d.soundfont_why, d.library_why, d.library_fault,
        QUARN_SYNTH_PACKAGE, d.none_installed, d.system_failed, d.system_why };
}

void set_midi_device_override(MidiSink* sink, MidiClock* clock)
{
    Devices& d = devices();
    std::lock_guard lock(d.mutex);
    d.override_sink = sink;
    d.override_clock = sink ? (clock ? clock : &midi_system_clock()) : nullptr;
}

bool midi_synth_render(int16_t* samples, uint32_t frames, const AudioFormat& format)
{
    MidiSynth* synth = nullptr;
    {
        // The audio thread must not wait while a soundfont loads under
        // this lock: it plays silence for that moment instead.
        Devices& d = devices();
        std::unique_lock lock(d.mutex, std::try_to_lock);
        if (lock.owns_lock() && d.synth_tried)
            synth = d.synth.get();
    }
    if (!synth || synth->rate() != format.rate) {
        std::fill_n(samples, size_t(frames) * format.channels, int16_t(0));
        return false;
    }
    // One output buffer of delay: every event falls inside a piece that is
    // rendered after it was played, so none is late and none is rounded
    // to the start of a piece.
    const uint64_t delay_ns = uint64_t(frames) * 1'000'000'000 / format.rate;
    synth->render_live(samples, frames, format.channels, delay_ns);
    return true;
}

namespace midi_detail {

bool resolve_device(uint32_t device, MidiSink*& sink, MidiClock*& clock)
{
    if (device != 0 && device != midi_mapper)
        return false;
    Devices& d = devices();
    std::lock_guard lock(d.mutex);
    if (d.override_sink) {
        sink = d.override_sink;
        clock = d.override_clock;
        return true;
    }
    MidiSynth* synth = synth_locked(d);
    sink = synth ? static_cast<MidiSink*>(synth) : &d.silent;
    clock = &midi_system_clock();
    return true;
}

} // namespace midi_detail

uint64_t ManualMidiClock::now_ns() { return now_.load(); }

void ManualMidiClock::add_listener(Listener* listener)
{
    std::lock_guard lock(mutex_);
    listeners_.push_back(listener);
}

void ManualMidiClock::remove_listener(Listener* listener)
{
    std::lock_guard lock(mutex_);
    std::erase(listeners_, listener);
}

void ManualMidiClock::advance_ns(uint64_t ns)
{
    // The lock is held while the listeners are told, so that none of them
    // can be removed (and freed) half way.
    std::lock_guard lock(mutex_);
    now_ += ns;
    for (Listener* listener : listeners_)
        listener->time_moved();
}

void MidiRecorder::short_message(uint64_t time_ns, uint32_t message)
{
    const uint8_t status = uint8_t(message);
    const size_t size = (status & 0xE0) == 0xC0 ? 2 : 3; // program change and channel pressure carry one data byte
    std::lock_guard lock(mutex_);
    entries_.push_back({time_ns, {status, uint8_t(message >> 8), uint8_t(message >> 16)}});
    entries_.back().bytes.resize(size);
}

void MidiRecorder::long_message(uint64_t time_ns, std::span<const uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    entries_.push_back({time_ns, {bytes.begin(), bytes.end()}});
}

void MidiRecorder::all_notes_off(uint64_t)
{
    std::lock_guard lock(mutex_);
    ++notes_off_;
}

bool MidiRecorder::accept_buffer()
{
    std::lock_guard lock(mutex_);
    if (accept_left_ == 0)
        return false;
    if (accept_left_ != SIZE_MAX)
        --accept_left_;
    return true;
}

std::vector<MidiRecorder::Entry> MidiRecorder::entries() const
{
    std::lock_guard lock(mutex_);
    return entries_;
}

size_t MidiRecorder::notes_off_count() const
{
    std::lock_guard lock(mutex_);
    return notes_off_;
}

void MidiRecorder::clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
    notes_off_ = 0;
    accept_left_ = SIZE_MAX;
}

void MidiRecorder::refuse_buffers_after(size_t count)
{
    std::lock_guard lock(mutex_);
    accept_left_ = count;
}

} // namespace platform
