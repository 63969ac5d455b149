// The FluidSynth sink: events are queued with their due time and applied
// while the sound is rendered, each at its own frame of the piece being
// rendered, so timing does not depend on when the mixer happens to pull.
#include "platform/midi.h"

#include "platform/file.h"
#include "platform/midi/midi_internal.h"
#include "platform/midi/synth_library.h"
#include "platform/process.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <filesystem>
#include <new>

namespace platform {

namespace {

// More events than this waiting means nobody renders (no audio output):
// the oldest go, so that memory stays bounded.
constexpr size_t max_queued_events = 16384;
// A system-exclusive message split over several long events is collected
// up to this size; longer ones are dropped.
constexpr size_t max_sysex_bytes = 65536;
// The live render follows real time unless it drifted further than this
// (a stall of the audio output): then it jumps back in line.
constexpr uint64_t max_live_drift_ns = 200'000'000;

enum class Kind : uint8_t { short_message, long_message, notes_off };

struct Event {
    uint64_t time_ns = 0;
    Kind kind = Kind::short_message;
    uint32_t message = 0;
    std::vector<uint8_t> bytes;
};

void quiet_log(int, const char*, void*) {}

// The synthesiser loads a soundfont's samples under OpenMP, which starts a
// thread per processor by default, each with its stack, and ends the
// process (exit(1)) when the system refuses one. One thread for the
// calling thread's work runs it on that thread alone. A synthesiser built
// without OpenMP has none to set.
void one_openmp_thread(const midi_detail::SynthLibrary& fluid)
{
    if (fluid.omp_set_num_threads)
        fluid.omp_set_num_threads(1);
}

std::atomic<midi_detail::SoundfontCheckedHook> checked_hook {nullptr};

// The soundfont held open from its check to its load.
struct OpenSoundfont {
    FileHandle file;
    explicit OpenSoundfont(const std::string& path) : file(file_open(path.c_str(), FileOpen::read_existing)) {}
    ~OpenSoundfont()
    {
        if (file != invalid_file)
            file_close(file);
    }
    OpenSoundfont(const OpenSoundfont&) = delete;
    OpenSoundfont& operator=(const OpenSoundfont&) = delete;
    // A name that opens this very file again, whatever has the soundfont's
    // own name by then: the synthesiser opens files by name only.
    std::string name() const { return "/proc/self/fd/" + std::to_string(file); }
};

} // namespace

struct MidiSynth::State {
    const midi_detail::SynthLibrary* fluid = nullptr; // set with `settings`
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    uint32_t rate = 0;
    std::string failure;

    std::mutex queue_mutex;
    std::deque<Event> queue;

    std::mutex render_mutex; // the synthesiser itself and what follows
    std::vector<uint8_t> sysex;
    std::vector<int16_t> scratch;
    bool live_started = false;
    uint64_t live_anchor_ns = 0;
    uint64_t live_frames = 0;

    // An event there is no memory for is lost, as one past the bound is:
    // the stream's thread and the shut-down send events, and neither may
    // end the process through an exception.
    void push(Event event) noexcept
    {
        std::lock_guard lock(queue_mutex);
        if (queue.size() >= max_queued_events)
            queue.pop_front();
        try {
            queue.push_back(std::move(event));
        } catch (const std::bad_alloc&) {
        }
    }

    void apply_short(uint32_t message)
    {
        const int channel = message & 0x0F;
        const int d1 = (message >> 8) & 0x7F;
        const int d2 = (message >> 16) & 0x7F;
        switch (message & 0xF0) {
        case 0x80: fluid->noteoff(synth, channel, d1); break;
        case 0x90: fluid->noteon(synth, channel, d1, d2); break;
        case 0xA0: fluid->key_pressure(synth, channel, d1, d2); break;
        case 0xB0: fluid->cc(synth, channel, d1, d2); break;
        case 0xC0: fluid->program_change(synth, channel, d1); break;
        case 0xD0: fluid->channel_pressure(synth, channel, d1); break;
        case 0xE0: fluid->pitch_bend(synth, channel, d1 | d2 << 7); break;
        default: break;
        }
    }

    // A system-exclusive message may come in parts: the first starts with
    // F0, the last ends with F7.
    void apply_long(const std::vector<uint8_t>& bytes)
    {
        if (bytes.empty())
            return;
        if (bytes.front() == 0xF0)
            sysex.clear();
        if (sysex.size() + bytes.size() > max_sysex_bytes) {
            sysex.clear();
            return;
        }
        sysex.insert(sysex.end(), bytes.begin(), bytes.end());
        if (sysex.back() != 0xF7)
            return;
        if (sysex.size() >= 2 && sysex.front() == 0xF0) {
            fluid->sysex(synth, reinterpret_cast<const char*>(sysex.data() + 1), int(sysex.size() - 2),
                              nullptr, nullptr, nullptr, 0);
        }
        sysex.clear();
    }

    void apply(const Event& event)
    {
        switch (event.kind) {
        case Kind::short_message: apply_short(event.message); break;
        case Kind::long_message: apply_long(event.bytes); break;
        case Kind::notes_off:
            for (int channel = 0; channel < 16; ++channel)
                fluid->cc(synth, channel, 64, 0);
            fluid->all_notes_off(synth, -1);
            break;
        }
    }

    void write(int16_t* samples, uint32_t from, uint32_t count, uint16_t channels)
    {
        if (count == 0)
            return;
        if (channels == 2) {
            fluid->write_s16(synth, int(count), samples, int(from) * 2, 2, samples, int(from) * 2 + 1, 2);
            return;
        }
        scratch.resize(size_t(count) * 2);
        fluid->write_s16(synth, int(count), scratch.data(), 0, 2, scratch.data(), 1, 2);
        for (uint32_t i = 0; i < count; ++i)
            samples[from + i] = int16_t((int32_t(scratch[2 * i]) + scratch[2 * i + 1]) / 2);
    }
};

namespace {

std::atomic<const char*> soundfont_folder{"/usr/share/sounds"};

} // namespace

namespace midi_detail {

void set_soundfont_folder(const char* folder) { soundfont_folder.store(folder); }

} // namespace midi_detail

std::string midi_soundfont_folder() { return soundfont_folder.load(); }

std::string default_midi_soundfont()
{
    // The small soundfont first: it loads in a fraction of the time.
    static const char* const places[] = {
        "/sf2/TimGM6mb.sf2",
        "/sf2/default-GM.sf2",
        "/sf2/FluidR3_GM.sf2",
        "/sf3/default-GM.sf3",
    };
    const std::string folder = midi_soundfont_folder();
    std::error_code error;
    for (const char* place : places) {
        if (std::filesystem::is_regular_file(folder + place, error))
            return folder + place;
    }
    return {};
}

MidiSynth::MidiSynth(const std::string& soundfont, uint32_t rate) : state_(new State)
{
    const std::string path = soundfont.empty() ? default_midi_soundfont() : soundfont;
    if (path.empty() || rate == 0)
        return;
    const midi_detail::SynthLibrary* const fluid = midi_detail::synth_library(state_->failure);
    if (!fluid)
        return;
    static const bool logs_quiet = [fluid] {
        for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid->set_log_function(level, quiet_log, nullptr);
        return true;
    }();
    (void)logs_quiet;
    // The soundfont is opened once, here: the open follows a link only under
    // the rule for shared folders and takes nothing but a regular file (a
    // FIFO would hold the synthesiser's open for good). The synthesiser then
    // reads the file behind this descriptor, so nothing renamed over the
    // soundfont's name after the check is what it loads.
    const OpenSoundfont soundfont_file(path);
    if (soundfont_file.file == invalid_file) {
        state_->failure = system_error_text(last_error());
        return;
    }
    if (const midi_detail::SoundfontCheckedHook hook = checked_hook.load())
        hook(path);
    State& s = *state_;
    s.settings = fluid->new_settings();
    if (!s.settings)
        return;
    s.fluid = fluid;
    fluid->settings_setnum(s.settings, "synth.sample-rate", double(rate));
    fluid->settings_setnum(s.settings, "synth.gain", 0.4);
    fluid->settings_setint(s.settings, "synth.polyphony", 128);
    fluid->settings_setint(s.settings, "synth.cpu-cores", 1);
    // Game music shares the processor with everything else: chorus off and
    // linear interpolation (below) roughly halve the cost of a voice, and a
    // General MIDI soundfont's samples suffer little from either.
    fluid->settings_setint(s.settings, "synth.chorus.active", 0);
    // Only the renderer touches the synthesiser, under its own lock.
    fluid->settings_setint(s.settings, "synth.threadsafe-api", 0);
    s.synth = fluid->new_synth(s.settings);
    one_openmp_thread(*fluid);
    if (s.synth && fluid->sfload(s.synth, soundfont_file.name().c_str(), 1) == FLUID_FAILED) {
        fluid->delete_synth(s.synth);
        s.synth = nullptr;
        s.failure = "not a soundfont the synthesiser can load";
    }
    if (s.synth) {
        fluid->set_interp_method(s.synth, -1, FLUID_INTERP_LINEAR);
        s.rate = rate;
    }
}

MidiSynth::~MidiSynth()
{
    if (state_->synth)
        state_->fluid->delete_synth(state_->synth);
    if (state_->settings)
        state_->fluid->delete_settings(state_->settings);
    delete state_;
}

bool MidiSynth::ok() const { return state_->synth != nullptr; }
const std::string& MidiSynth::failure() const { return state_->failure; }
uint32_t MidiSynth::rate() const { return state_->rate; }

void MidiSynth::short_message(uint64_t time_ns, uint32_t message)
{
    state_->push({.time_ns = time_ns, .kind = Kind::short_message, .message = message});
}

void MidiSynth::long_message(uint64_t time_ns, std::span<const uint8_t> bytes)
{
    try {
        state_->push({.time_ns = time_ns, .kind = Kind::long_message, .bytes = {bytes.begin(), bytes.end()}});
    } catch (const std::bad_alloc&) {
        // Lost, as push loses one.
    }
}

void MidiSynth::all_notes_off(uint64_t time_ns) { state_->push({.time_ns = time_ns, .kind = Kind::notes_off}); }

void MidiSynth::render(int16_t* samples, uint32_t frames, uint16_t channels, uint64_t start_ns)
{
    State& s = *state_;
    if (!s.synth) {
        std::fill_n(samples, size_t(frames) * channels, int16_t(0));
        return;
    }
    std::lock_guard lock(s.render_mutex);
    const uint64_t span_ns = (uint64_t(frames) * 1'000'000'000 + s.rate - 1) / s.rate;
    uint32_t done = 0;
    for (;;) {
        Event event;
        uint32_t at = 0;
        {
            std::lock_guard queue_lock(s.queue_mutex);
            if (s.queue.empty())
                break;
            const uint64_t t = s.queue.front().time_ns;
            if (t >= start_ns) {
                if (t - start_ns >= span_ns)
                    break;
                at = uint32_t(std::min<uint64_t>((t - start_ns) * s.rate / 1'000'000'000, frames));
            }
            event = std::move(s.queue.front());
            s.queue.pop_front();
        }
        if (at > done) {
            s.write(samples, done, at - done, channels);
            done = at;
        }
        s.apply(event);
    }
    s.write(samples, done, frames - done, channels);
}

void MidiSynth::render_live(int16_t* samples, uint32_t frames, uint16_t channels, uint64_t delay_ns)
{
    State& s = *state_;
    if (!s.synth) {
        std::fill_n(samples, size_t(frames) * channels, int16_t(0));
        return;
    }
    const uint64_t now = midi_system_clock().now_ns();
    const uint64_t target = now > delay_ns ? now - delay_ns : 0;
    uint64_t start = s.live_anchor_ns + s.live_frames * 1'000'000'000 / s.rate;
    const uint64_t drift = start > target ? start - target : target - start;
    if (!s.live_started || drift > max_live_drift_ns) {
        s.live_started = true;
        s.live_anchor_ns = target;
        s.live_frames = 0;
        start = target;
    }
    render(samples, frames, channels, start);
    s.live_frames += frames;
}

namespace midi_detail {

void set_soundfont_checked_hook(SoundfontCheckedHook hook) { checked_hook = hook; }

} // namespace midi_detail

} // namespace platform
