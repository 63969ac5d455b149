// The channel layer's shared state, for its own files only.
#pragma once

#include "engine/sound/ds.h"
#include "engine/sound/sound_device.h"
#include "platform/thread.h"

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

// A queued start. It keeps the format and the read function, so that a
// streamed source waits as safely as a WAV does.
struct dsRequest {
    dsFormat format;
    dsReadFn read = nullptr;
    void* context = nullptr;
    uint32_t flags = 0;
    int32_t volume = 0;
    int32_t pan = 0;
    int32_t first = 0;
    int32_t last = 0;
    uint8_t priority = 0;
};

struct dsLayer {
    dsConfig config;
    platform::WindowHandle window = nullptr;
    std::unique_ptr<snd_device::Device> device;
    dsChan channels[DS_CHANNELS];
    std::list<dsRequest> requests;
    bool globalFocus = false;

    std::recursive_mutex channelLock;

    // Feeder thread; its flags are guarded by threadLock.
    std::unique_ptr<platform::Thread> feeder;
    // A feeder that could not be made has been reported since dsInit.
    bool feederFailureReported = false;
    std::mutex threadLock;
    std::condition_variable wakeCv;   // the feeder waits here
    std::condition_variable passCv;   // tests wait here for passes
    bool running = false;  // the thread exists (created, not yet joined)
    bool stop = false;
    bool wake = false;
    bool suspended = false;
    uint64_t passes = 0;
};

extern dsLayer ds;

// Creates the channel's buffer and fills it; 0 or the device's failure, in
// which case nothing of the buffer is left.
int32_t dsCreateBuffer(int32_t number, dsChan& chan);
// Stops and releases the channel's buffer and clears its record.
void dsChanClear(dsChan& chan);
// Wakes the feeder thread, creating it first when needed. False when there
// is no feeder because the thread could not be created. Channel lock held.
bool dsWakeFeeder();
// Stops and joins the feeder thread.
void dsStopFeeder();
