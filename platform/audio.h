// Sound output: one stream of signed 16-bit samples that the engine's mixer
// fills. Mixing, volumes and channels are the engine's business.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

struct AudioFormat {
    uint32_t rate = 22050;  // frames per second
    uint16_t channels = 2;  // 1 or 2; a frame holds one sample per channel
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// Writes `frames` frames of interleaved signed 16-bit samples. It runs on
// the output's own thread (sdl2) or on the thread that advances the output
// (headless), never on two threads at once; it must not wait for the main
// thread while the main thread opens, stops or closes the output.
using AudioFill = std::function<void(int16_t* samples, uint32_t frames)>;

struct AudioOutputDef {
    AudioFormat format;
    uint32_t buffer_frames = 1024; // frames asked of the fill per call
    AudioFill fill;
};

enum class AudioState { closed, stopped, paused, playing };

// Opens the output, stopped. False when there is no sound device, the
// format is unsupported (rate 0, channels not 1 or 2, no buffer, no fill),
// or an output is open already.
[[nodiscard]] bool open_audio(const AudioOutputDef& def);
// Stops and releases the output; when this returns the fill is not running
// and will not be called again.
void close_audio();

// Start calling the fill. From paused, playing resumes where it was.
void start_audio();
// No more fill calls; the device plays silence. The count of played frames
// is kept.
void pause_audio();
// As pause, and the count of played frames starts again from 0.
void stop_audio();

AudioState audio_state();
// The format the output runs at (what was asked; conversions are the
// backend's), and its buffering: frames between a fill and the speaker.
AudioFormat audio_format();
uint32_t audio_latency_frames();
// Frames the fill has produced since the output was opened or stopped.
uint64_t audio_frames_played();

} // namespace platform
