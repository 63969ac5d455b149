// The MIDI player object: owns the stream state and drives its steps.
#include "engine/sound/midi_player.h"

#include "engine/sound/mid_internal.h"
#include "engine/sound/snd_log.h"
#include "engine/sound/sound.h"
#include "platform/shown_text.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

// The synthesiser's sound joins the effects in the mixer while at least one
// player on a synthesiser device lives (a replaced player is destroyed
// after its successor is made, hence a count).
std::mutex mixUsersMutex;
int mixUsers = 0;

void addSynthToMix(int32_t* acc, uint32_t frames, const platform::AudioFormat& format)
{
    // One per mixing thread, grown once to the mixer's block size. It goes
    // with its thread: a buffer shared by the process would be destroyed at
    // exit while a device thread may still be mixing into it.
    thread_local std::vector<int16_t> pcm;
    pcm.resize(size_t(frames) * format.channels);
    if (!platform::midi_synth_render(pcm.data(), frames, format))
        return;
    for (size_t i = 0; i < pcm.size(); ++i)
        acc[i] += pcm[i];
}

void joinMix()
{
    std::lock_guard lock(mixUsersMutex);
    if (mixUsers++ == 0)
        sndSetExtraSource(addSynthToMix);
}

void leaveMix()
{
    std::lock_guard lock(mixUsersMutex);
    if (--mixUsers == 0)
        sndSetExtraSource({});
}

// The soundfont asked for, for the log line when it gives way to the
// system's (main thread only).
std::string soundfontAskedFor;
bool soundfontFallbackLogged = false;

// The synthesiser's library is opened once per process, so its failure is
// said once, whatever the players and soundfonts after it.
bool synthLibraryLogged = false;
// Likewise a system without a soundfont, or with one that does not load.
bool noSoundfontLogged = false;

// What the player can do when the library did not load. Only a library
// that is missing or broken is mended by its package: one that could not
// be opened for want of descriptors or memory is fine, and comes back at
// the next start that has them (the library is opened once per process).
std::string synthLibraryWayOut(const platform::MidiSoundfontState& state)
{
    switch (state.library_fault) {
    case platform::SynthLibraryFault::open_files:
        return "the game may open no more files: raise the limit on open files (ulimit -n) and start it again";
    case platform::SynthLibraryFault::system_files:
        return "the system has too many files open: close some programs and start the game again";
    case platform::SynthLibraryFault::memory:
        return "there is not enough memory to load it: close some programs, or raise the memory limit "
               "(ulimit -v), and start the game again";
    case platform::SynthLibraryFault::none:
    case platform::SynthLibraryFault::broken:
        break;
    }
    return "install the package " + state.library_package + " ('sudo apt-get install --reinstall "
        + state.library_package + "')";
}

// Without its library the music is silent whatever the settings: said, with
// its cause's way out, and not as the soundfont's fault, which no other
// soundfont would mend.
void logSynthLibraryFailure(const platform::MidiSoundfontState& state)
{
    if (state.library_why.empty() || synthLibraryLogged)
        return;
    synthLibraryLogged = true;
    const std::string text = "can't load the synthesiser library (" + state.library_why + "); the music is silent: "
        + synthLibraryWayOut(state);
    std::fprintf(stderr, "%s\n", text.c_str());
    quarn::open_entry(snd_log_warning) << text << std::endl;
}

// The packages that put a General MIDI soundfont where the system's are
// searched: the small one first, as it loads in a fraction of the time.
std::string soundfontWayOut()
{
    return "install one ('sudo apt-get install timgm6mb-soundfont', or fluid-soundfont-gm), or name one with the "
           "setting 'soundfont'";
}

// The system's soundfont is installed but does not load (unreadable, or
// damaged): named with its reason. No package is missing, and installing
// one mends nothing: this one is mended, or another named.
std::string systemSoundfontFailure(const platform::MidiSoundfontState& state)
{
    return "the system's soundfont \"" + platform::shown_text(state.system_failed) + "\" (" + state.system_why + ")";
}
const char* const brokenSoundfontWayOut = "the music is silent: make it readable, or reinstall the package that "
                                          "installed it ('dpkg -S' with its path names it), or name another soundfont "
                                          "with the setting 'soundfont'";

// A system without a soundfont that loads plays no music: said once (the
// synthesiser is made once per process), or the player hears silence and
// never learns why. Not a box: the game goes on without music.
void logNoSoundfont(const platform::MidiSoundfontState& state)
{
    if ((!state.none_installed && state.system_failed.empty()) || state.refused || noSoundfontLogged)
        return;
    noSoundfontLogged = true;
    const std::string text = state.none_installed
        ? "no soundfont is set, and none is installed in " + platform::shown_text(platform::midi_soundfont_folder())
            + "/sf2; the music is silent: " + soundfontWayOut()
        : "can't load " + systemSoundfontFailure(state) + ", and no soundfont is set; " + brokenSoundfontWayOut;
    std::fprintf(stderr, "%s\n", text.c_str());
    quarn::open_entry(snd_log_warning) << text << std::endl;
}

void logSynthesiserFailures()
{
    const platform::MidiSoundfontState state = platform::midi_soundfont_state();
    logSynthLibraryFailure(state);
    logNoSoundfont(state);
    if (!state.refused || soundfontFallbackLogged)
        return;
    soundfontFallbackLogged = true;
    std::string text =
        "can't load the soundfont \"" + platform::shown_text(soundfontAskedFor) + "\" (" + state.why + "); ";
    if (!state.system_failed.empty())
        text += "nor " + systemSoundfontFailure(state) + "; " + brokenSoundfontWayOut;
    else if (state.loaded.empty())
        text += "no other soundfont is installed, the music is silent: " + soundfontWayOut();
    else
        text += "the music plays with \"" + platform::shown_text(state.loaded) + "\"";
    // The player set the soundfont: told where they look, not only in the log.
    std::fprintf(stderr, "%s\n", text.c_str());
    quarn::open_entry(snd_log_warning) << text << std::endl;
}

} // namespace

void MidiPlayer::SetSoundfont(const char* path)
{
    soundfontAskedFor = path ? path : "";
    soundfontFallbackLogged = false;
    platform::set_midi_soundfont(soundfontAskedFor);
}

MidiPlayer::MidiPlayer(platform::WindowHandle notifyWindow) : deviceId_(MID_NO_DEVICE), notifyWindow_(notifyWindow)
{
    state_ = new (std::nothrow) midStateTy;
    if (state_) {
        state_->notifyWindow = notifyWindow;
        if (midAllocBuffers(*state_) != MID_OK) {
            delete state_;
            state_ = nullptr;
        }
    }
}

void MidiPlayer::OpenDevice()
{
    // Asking for the device loads the synthesiser library and its
    // soundfont: a player that never plays (music off) never pays for them.
    if (deviceOpened_)
        return;
    deviceOpened_ = true;
    platform::MidiOutCaps caps;
    if (platform::midi_out_device_count() > 0 &&
        platform::midi_out_caps(platform::midi_mapper, caps) == platform::MidiResult::ok) {
        deviceId_ = platform::midi_mapper;
        rendersAudio_ = caps.renders_audio;
        if (rendersAudio_)
            joinMix();
    }
    logSynthesiserFailures();
}

MidiPlayer::~MidiPlayer()
{
    if (rendersAudio_)
        leaveMix();
    if (!state_)
        return;
    platform::MidiStream* stream = nullptr;
    {
        std::unique_lock lock(state_->mutex);
        if (state_->stream) {
            state_->state = MID_RESETTING;
            (void)platform::midi_stream_reset(state_->stream);
            state_->buffersBack.wait(lock, [&] { return state_->buffersOut == 0; });
            stream = state_->stream;
            state_->stream = nullptr;
        }
    }
    // Every buffer is back, so no callback touches the state any more; the
    // stream's thread is joined without the state's lock held.
    if (stream) {
        for (uint32_t i = 0; i < state_->bufferCount; ++i)
            (void)platform::midi_unprepare_buffer(stream, &state_->buffers[i]);
        if (state_->stateBlock)
            (void)platform::midi_unprepare_buffer(stream, &state_->stateBuffer);
        (void)platform::midi_stream_close(stream);
    }
    delete state_;
}

void MidiPlayer::Play(const char* fileName)
{
    if (!state_ || !fileName)
        return;
    OpenDevice();
    {
        // Only midOpen reads the name, under the same lock.
        std::lock_guard lock(state_->mutex);
        fileName_ = fileName;
        state_->fileName = fileName_.c_str();
    }
    // A second Play fails here (a song is read already); the song that
    // plays goes on.
    if (const uint32_t result = midOpen(*state_); result != 0) {
        if (result != MCIERR_UNSUPPORTED_FUNCTION)
            quarn::open_entry(snd_log_warning) << "can't read the music \"" << platform::shown_text(fileName)
                                               << "\"; no music plays"
                                               << std::endl;
        return;
    }
    if (Prepare())
        (void)midStart(*state_);
}

void MidiPlayer::OnMessage(uint32_t message)
{
    if (message == MID_END_MESSAGE && Prepare())
        (void)midStart(*state_);
}

bool MidiPlayer::Prepare()
{
    if (!state_)
        return false;
    uint64_t end;
    {
        std::lock_guard lock(state_->mutex);
        state_->deviceId = deviceId_;
        // The end is exclusive: one past the song's last tick, so that the
        // events at that tick (the closing note-offs) are played too.
        end = uint64_t(state_->songLength) + 1;
    }
    return midPrepare(*state_, 0, end) == 0;
}
