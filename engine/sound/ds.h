// The channel layer: one sound device, ten channels claimed by priority, a
// queue of waiting starts, and the feeder thread that keeps streaming
// buffers filled from their sources. Private to engine/sound.
//
// Locks: the channel lock (re-entrant) guards the channels and the queue;
// the feeder holds it for a whole pass, the sources' reading included. The
// thread lock guards the feeder's wake-up and stop flags. Whoever holds
// both takes the channel lock first. The device's own lock is innermost
// and is held only for short copies.
#pragma once

#include "platform/audio.h"
#include "platform/window.h"

#include <cstdint>

namespace snd_device {
class Buffer;
class Device;
}

// What a source hands to a start.
struct dsFormat {
    uint16_t channels = 0;          // 1 or 2
    uint32_t samplesPerSec = 0;
    uint16_t bitsPerSample = 0;     // 8 or 16
    uint32_t dataLength = 0;        // bytes the source can deliver; 0x7fffffff: ends by itself
    uint32_t bufferLength = 0;      // bytes of buffer the source asks for
};

inline constexpr uint32_t DS_OPEN_LENGTH = 0x7fffffff;

// Writes count bytes of PCM from the source's byte position into dst and
// returns the new position (position + count when all came). A result at or
// beyond the data length means the data have ended. Called with the channel
// lock held, on the feeder thread or on the thread that starts the channel.
using dsReadFn = uint32_t (*)(void* context, uint8_t* dst, uint32_t position, uint32_t count, int32_t channel);

// A parsed WAV in memory.
struct wavInfo {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t dataLength = 0;
    const uint8_t* data = nullptr;
};

// Channel state bits.
inline constexpr uint32_t DS_ACTIVE = 0x1;
inline constexpr uint32_t DS_SECOND_HALF_NEXT = 0x4;
inline constexpr uint32_t DS_NOTIFY = 0x8;
inline constexpr uint32_t DS_END_ARMED = 0x10;
inline constexpr uint32_t DS_DEFERRED = 0x20;
// Start flags, and the layer's own play flags.
inline constexpr uint32_t DS_LOOP = 0x1;
inline constexpr uint32_t DS_REFUSE_DUPLICATE = 0x2;
inline constexpr uint32_t DS_QUEUE = 0x4;
inline constexpr uint32_t DS_DEFER = 0x8;
inline constexpr uint32_t DS_STATIC = 0x40;
inline constexpr uint32_t DS_SILENCE_PENDING = 0x80;

inline constexpr int DS_CHANNELS = 10;
inline constexpr uint32_t DS_MSG_CHANNEL_END = 953;
inline constexpr intptr_t DS_MSG_TAG = 0x44530000;

// Results.
inline constexpr int32_t DS_ERR_NO_DEVICE = -63;
inline constexpr int32_t DS_ERR_REFUSED = -1;
inline constexpr int32_t DS_ERR_BUSY = -4;

struct dsChan {
    uint32_t state = 0;
    uint32_t playFlags = 0;
    snd_device::Buffer* buffer = nullptr;
    uint32_t bufferBytes = 0;
    uint32_t endPosition = 0;
    void* context = nullptr;
    uint32_t readPosition = 0;
    int32_t volume = 0;
    int32_t pan = 0;
    uint8_t priority = 0;
    dsFormat format;
    dsReadFn read = nullptr;
    uint32_t lastPlayCursor = 0;
    uint32_t unchangedPolls = 0;
};

// How the layer runs. Tests set it before dsInit; the defaults are the
// game's.
struct dsConfig {
    platform::AudioFormat output{22050, 2};   // the mixing rate of the device
    // The device's buffer, which the mixer fills in one call: 256 frames
    // are 11.6 ms at 22.05 kHz, short enough that closing the device (which
    // waits up to three of these) stays quick, long enough that a busy
    // desktop's sound server is not starved. The mix of a full scene with
    // the synthesiser takes well under a tenth of one.
    uint32_t outputFrames = 256;
    // No feeder thread: the caller runs the passes with dsFeedPass().
    bool manualFeed = false;
    uint32_t pollMs = 50;
};
void dsSetConfig(const dsConfig& config);

// Starts the layer on the window; without a sound device the layer stays
// without one and every operation returns at once. Returns 0.
int32_t dsInit(platform::WindowHandle window);
// Stops the feeder (joined), every channel and the device.
void dsDone();

[[nodiscard]] int32_t dsChanStart(const dsFormat* format, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan,
                                  int32_t first, int32_t last, dsReadFn read, void* context);
[[nodiscard]] int32_t dsChanStartMem(const wavInfo* info, uint8_t priority, uint32_t flags, int32_t volume,
                                     int32_t pan, int32_t first, int32_t last);
void dsChanStop(int32_t channel);
// Stops every channel that plays this context.
void dsChanStopContext(const void* context);
int32_t dsChanSetVolume(int32_t channel, int32_t volume);
int32_t dsChanNotify(int32_t channel);
int32_t dsChanQuery(int32_t channel, uint32_t* playing);
uint32_t memRead(void* context, uint8_t* dst, uint32_t position, uint32_t count, int32_t channel);

// One pass of the feeder over the ten channels; true when a channel was
// active. The thread runs it every poll; with manualFeed the tests do.
bool dsFeedPass();

// For tests: the device (null without one), a copy of a channel's record,
// the passes the feeder thread has finished, and whether it exists.
snd_device::Device* dsDevice();
dsChan dsChannel(int32_t channel);
uint64_t dsPassesDone();
// Blocks until the feeder thread has finished `count` passes in all or has
// gone idle waiting for a start; returns the passes done.
uint64_t dsWaitPasses(uint64_t count);
bool dsFeederRunning();
void dsSetAppActive(bool active);
// The global-focus flag that buffers are created with.
void dsSetGlobalFocus(bool on);
