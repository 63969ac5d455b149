// The software sound device: secondary sound buffers (mono or stereo, 8 or
// 16 bits, any rate; static or streaming rings) mixed into the platform's
// audio output. Private to engine/sound.
//
// The buffer model is the one the channel layer was designed for: a buffer
// is locked in up to two parts, written, unlocked, and played once or as a
// loop; its play cursor is a byte offset. Writes go to a staging copy and
// reach the ring only at unlock, under the mixer's lock for a memcpy, so
// the mixer never waits for a decoder and never reads a half-written part.
#pragma once

#include "engine/sound/sound.h"

#include "platform/audio.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace snd_device {

struct BufferDesc {
    uint16_t channels = 1;        // 1 or 2
    uint32_t rate = 22050;        // frames per second
    uint16_t bits = 16;           // 8 (unsigned) or 16 (signed)
    uint32_t bytes = 0;           // ring size
    bool is_static = false;       // holds the whole sound
    bool global_focus = false;    // keeps playing aloud while the app is inactive
};

// Status bits as the channel layer reads them.
inline constexpr uint32_t status_playing = 1;
inline constexpr uint32_t status_looping = 4;

// DirectSound-style failure of a call with an unusable argument.
inline constexpr int32_t err_invalid_param = int32_t(0x80070057u);

class Buffer;

// Gains in 16.16 fixed point from a volume in hundredths of a decibel
// (-10000..0) and a pan (-10000 left .. 10000 right): the far side of the
// pan is attenuated by |pan| hundredths of a decibel, as a panned voice.
struct Gains {
    int32_t left = 65536;
    int32_t right = 65536;
};
Gains gains_for(int32_t volume, int32_t pan);

// One device: the buffers and the output they are mixed into.
class Device {
public:
    Device();
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Opens the platform output at `format` and starts it. False when there
    // is no sound device.
    [[nodiscard]] bool open(const platform::AudioFormat& format, uint32_t buffer_frames);
    void close();
    const platform::AudioFormat& format() const { return format_; }

    // A new stopped buffer with its cursor at 0, or null for an unusable
    // description (channels, bits, rate or size).
    Buffer* create_buffer(const BufferDesc& desc);
    // Stops and frees the buffer.
    void release(Buffer* buffer);

    // While the application is inactive, buffers without global focus play
    // on muted.
    void set_app_active(bool active);

    // Mixes `frames` frames into `out` (interleaved at the device's channel
    // count): every playing buffer, then the extra source, summed in 32 bits
    // and clipped once. The output's fill; the benchmark calls it directly.
    void mix(int16_t* out, uint32_t frames);

    // Buffer operations, under the mixer's lock.
    void lock(Buffer* b, uint32_t offset, uint32_t bytes, uint8_t*& p1, uint32_t& n1, uint8_t*& p2, uint32_t& n2);
    void unlock(Buffer* b, const uint8_t* p1, uint32_t n1, const uint8_t* p2, uint32_t n2);
    void play(Buffer* b, bool looping);
    void stop(Buffer* b);
    uint32_t status(Buffer* b);
    uint32_t position(Buffer* b);
    void set_volume(Buffer* b, int32_t volume);
    void set_pan(Buffer* b, int32_t pan);

    // How often play() was called on the buffer; lets tests see restarts.
    uint32_t play_calls(Buffer* b);

private:
    std::mutex mutex_;
    platform::AudioFormat format_{};
    bool open_ = false;
    bool app_active_ = true;
    std::vector<std::unique_ptr<Buffer>> buffers_;
    std::vector<int32_t> acc_;
};

// The extra source, shared by every device: set with sndSetExtraSource().
void call_extra_source(int32_t* acc, uint32_t frames, const platform::AudioFormat& format);

} // namespace snd_device
