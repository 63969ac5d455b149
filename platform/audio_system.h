// The sound output contract of a backend. Private to platform/.
#pragma once

#include "platform/audio.h"

#include <atomic>
#include <mutex>

namespace platform {

// The generic part keeps the state and calls the fill; a backend provides
// the device and calls render() whenever the device wants samples.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;

    bool open(const AudioOutputDef& def);
    void close();
    void start();
    void pause();
    void stop();
    AudioState state() const { return state_.load(); }
    AudioFormat format() const { return def_.format; }
    uint32_t latency_frames() const { return latency_frames_; }
    uint64_t frames_played() const { return played_.load(); }
    uint32_t buffer_frames() const { return def_.buffer_frames; }

    // Fills `frames` frames: the engine's while playing, silence otherwise
    // and when the engine's fill throws.
    void render(int16_t* samples, uint32_t frames) noexcept;

protected:
    // Opens the device stopped (no render calls yet); latency in frames.
    virtual bool open_device(const AudioOutputDef& def, uint32_t& latency_frames) = 0;
    // Closes it; no render call runs once this returns.
    virtual void close_device() = 0;
    // The device pulls (true) or stands still (false).
    virtual void run_device(bool /*running*/) {}

private:
    std::mutex mutex_; // state changes from the main thread
    AudioOutputDef def_;
    std::atomic<AudioState> state_{AudioState::closed};
    std::atomic<uint64_t> played_{0};
    uint32_t latency_frames_ = 0;
};

} // namespace platform
