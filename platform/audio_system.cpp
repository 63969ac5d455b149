#include "platform/backend.h"

#include <cstring>

namespace platform {

bool AudioSystem::open(const AudioOutputDef& def)
{
    std::lock_guard lock(mutex_);
    if (state_ != AudioState::closed)
        return false;
    if (def.format.rate == 0 || (def.format.channels != 1 && def.format.channels != 2) || def.buffer_frames == 0 || !def.fill)
        return false;
    def_ = def;
    played_ = 0;
    uint32_t latency = 0;
    if (!open_device(def_, latency)) {
        def_ = {};
        return false;
    }
    latency_frames_ = latency;
    state_ = AudioState::stopped;
    return true;
}

void AudioSystem::close()
{
    std::lock_guard lock(mutex_);
    if (state_ == AudioState::closed)
        return;
    state_ = AudioState::stopped;
    close_device();
    state_ = AudioState::closed;
    // The fill may hold the engine's objects; let them go with the output.
    def_ = {};
    latency_frames_ = 0;
}

void AudioSystem::start()
{
    std::lock_guard lock(mutex_);
    if (state_ == AudioState::closed || state_ == AudioState::playing)
        return;
    state_ = AudioState::playing;
    run_device(true);
}

void AudioSystem::pause()
{
    std::lock_guard lock(mutex_);
    if (state_ != AudioState::playing)
        return;
    // The device stops first, so no fill runs once pause() returns.
    run_device(false);
    state_ = AudioState::paused;
}

void AudioSystem::stop()
{
    std::lock_guard lock(mutex_);
    if (state_ == AudioState::closed)
        return;
    run_device(false);
    state_ = AudioState::stopped;
    played_ = 0;
}

void AudioSystem::render(int16_t* samples, uint32_t frames) noexcept
{
    if (state_.load() == AudioState::playing) {
        // The device's thread (SDL's) calls this: what the mix throws
        // (memory that ran out for a buffer) would end the process through
        // std::terminate there. The piece is silent instead.
        try {
            def_.fill(samples, frames);
            played_ += frames;
            return;
        } catch (...) {
        }
    }
    std::memset(samples, 0, size_t(frames) * def_.format.channels * sizeof(int16_t));
}

bool open_audio(const AudioOutputDef& def) { return current_backend().audio().open(def); }
void close_audio() { current_backend().audio().close(); }
void start_audio() { current_backend().audio().start(); }
void pause_audio() { current_backend().audio().pause(); }
void stop_audio() { current_backend().audio().stop(); }
AudioState audio_state() { return current_backend().audio().state(); }
AudioFormat audio_format() { return current_backend().audio().format(); }
uint32_t audio_latency_frames() { return current_backend().audio().latency_frames(); }
uint64_t audio_frames_played() { return current_backend().audio().frames_played(); }

} // namespace platform
