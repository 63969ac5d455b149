// Starting and stopping the layer, claiming channels, and the channel
// operations of the main thread.
#include "engine/sound/ds_state.h"

#include "engine/base/err.h"

#include <algorithm>
#include <cstring>

dsLayer ds;

void dsSetConfig(const dsConfig& config)
{
    std::lock_guard lock(ds.channelLock);
    ds.config = config;
}

void dsSetGlobalFocus(bool on)
{
    std::lock_guard lock(ds.channelLock);
    ds.globalFocus = on;
}

void dsSetAppActive(bool active)
{
    std::lock_guard lock(ds.channelLock);
    if (ds.device)
        ds.device->set_app_active(active);
}

int32_t dsInit(platform::WindowHandle window)
{
    std::lock_guard lock(ds.channelLock);
    if (ds.device)
        return 0;
    for (auto& c : ds.channels)
        c = dsChan{};
    ds.feederFailureReported = false;
    auto device = std::make_unique<snd_device::Device>();
    if (device->open(ds.config.output, ds.config.outputFrames))
        ds.device = std::move(device);
    ds.window = window;
    return 0;
}

void dsDone()
{
    {
        std::lock_guard chan(ds.channelLock);
        if (!ds.device)
            return;
        std::lock_guard thread(ds.threadLock);
        ds.requests.clear();
        ds.stop = true;
        ds.wakeCv.notify_all();
    }
    // The feeder finishes its pass (it needs the channel lock for it) and
    // sees the stop flag; joining under the lock would wait for ever.
    dsStopFeeder();
    std::lock_guard chan(ds.channelLock);
    for (auto& c : ds.channels) {
        c.state &= ~DS_NOTIFY;
        dsChanClear(c);
    }
    ds.device->close();
    ds.device.reset();
    std::lock_guard thread(ds.threadLock);
    ds.stop = false;
    ds.wake = false;
    ds.suspended = false;
}

void dsChanClear(dsChan& chan)
{
    if (chan.buffer) {
        ds.device->stop(chan.buffer);
        ds.device->release(chan.buffer);
    }
    chan = dsChan{};
}

namespace {

// Without a feeder nothing ends a sound: a start frees the channels whose
// buffers have stopped by themselves.
void free_stopped_channels()
{
    for (auto& c : ds.channels)
        if ((c.state & DS_ACTIVE) && c.buffer && !(ds.device->status(c.buffer) & snd_device::status_playing))
            dsChanClear(c);
}

int32_t start_locked(const dsFormat* format, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan,
                     int32_t first, int32_t last, dsReadFn read, void* context, bool& reportFeeder)
{
    if (!ds.device || !format || !read)
        return DS_ERR_NO_DEVICE;
    first = std::max(first, 0);
    if (last < 0 || last > DS_CHANNELS - 1)
        last = DS_CHANNELS - 1;

    if (flags & DS_REFUSE_DUPLICATE) {
        for (const auto& c : ds.channels)
            if ((c.state & DS_ACTIVE) && c.context == context && c.priority == priority)
                return DS_ERR_REFUSED;
    }
    if (!dsWakeFeeder()) {
        // The layer goes on without streaming: a sound that its buffer holds
        // whole still plays, a stream (or a start left to the feeder) is
        // refused. The failure is reported once; later starts try again.
        reportFeeder = !ds.feederFailureReported;
        ds.feederFailureReported = true;
        if (format->dataLength > format->bufferLength || (flags & (DS_DEFER | DS_QUEUE)))
            return DS_ERR_REFUSED;
        free_stopped_channels();
    }

    // At most six channels play one context at one priority, counting those
    // before the first idle channel.
    int32_t idle = -1, same = 0;
    for (int32_t i = first; i <= last; ++i) {
        const dsChan& c = ds.channels[i];
        if (!(c.state & DS_ACTIVE)) {
            idle = i;
            break;
        }
        if (c.context == context && c.priority == priority)
            ++same;
    }
    if (same > 5)
        return DS_ERR_REFUSED;

    if (idle < 0) {
        if (flags & DS_QUEUE) {
            ds.requests.push_back(dsRequest{*format, read, context, flags, volume, pan, first, last, priority});
            return DS_ERR_REFUSED;
        }
        int32_t lowest = -1;
        for (int32_t i = first; i <= last; ++i)
            if (lowest < 0 || ds.channels[i].priority < ds.channels[lowest].priority)
                lowest = i;
        if (lowest < 0 || priority <= ds.channels[lowest].priority)
            return DS_ERR_BUSY;
        dsChanClear(ds.channels[lowest]);
        idle = lowest;
    }

    dsChan& c = ds.channels[idle];
    c = dsChan{};
    c.volume = volume;
    c.pan = pan;
    c.read = read;
    c.priority = priority;
    c.context = context;
    c.playFlags = flags;
    c.format = *format;
    if (flags & DS_DEFER) {
        c.state = DS_ACTIVE | DS_DEFERRED;
        return idle;
    }
    // A buffer that cannot be made is a failed start, not a silent channel.
    const int32_t result = dsCreateBuffer(idle, c);
    if (result != 0) {
        dsChanClear(c);
        return result;
    }
    return idle;
}

} // namespace

int32_t dsChanStart(const dsFormat* format, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan,
                    int32_t first, int32_t last, dsReadFn read, void* context)
{
    bool reportFeeder = false;
    int32_t result;
    {
        std::lock_guard lock(ds.channelLock);
        result = start_locked(format, priority, flags, volume, pan, first, last, read, context, reportFeeder);
    }
    if (reportFeeder) {
        // Reported outside the lock, and without unwinding to an enclosing
        // frame: the start has returned its result all the same.
        // The game goes on without this sound: Return on its box goes on.
        const errModeScope no_unwind(ERR_MODE_NO_UNWIND);
        const errOptionalAct optional;
        (void)errReportEx(nullptr, ERR_LEVEL_ERROR, ERR_NOT_CREATED, 0, "Can't create the sound feeder thread",
                          nullptr, __FILE__, __LINE__);
    }
    return result;
}

uint32_t memRead(void* context, uint8_t* dst, uint32_t position, uint32_t count, int32_t /*channel*/)
{
    const auto* info = static_cast<const wavInfo*>(context);
    // Bytes past the data read as silence, so a bad request cannot leave
    // the image.
    const uint32_t have = position < info->dataLength ? std::min(count, info->dataLength - position) : 0;
    if (have)
        std::memcpy(dst, info->data + position, have);
    if (have < count)
        std::memset(dst + have, info->bitsPerSample == 8 ? 0x80 : 0, count - have);
    return position + count;
}

int32_t dsChanStartMem(const wavInfo* info, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan,
                       int32_t first, int32_t last)
{
    if (!info)
        return DS_ERR_NO_DEVICE;
    dsFormat f;
    f.channels = info->channels;
    f.samplesPerSec = info->samplesPerSec;
    f.bitsPerSample = info->bitsPerSample;
    f.dataLength = info->dataLength;
    // Two seconds of sound, computed in 64 bits so a damaged header cannot
    // wrap it around to a small buffer.
    const uint64_t second = uint64_t(info->channels) * info->bitsPerSample * info->samplesPerSec / 8;
    f.bufferLength = uint32_t(std::min<uint64_t>(2 * second, DS_OPEN_LENGTH));
    return dsChanStart(&f, priority, flags, volume, pan, first, last, memRead, const_cast<wavInfo*>(info));
}

void dsChanStop(int32_t channel)
{
    std::lock_guard lock(ds.channelLock);
    if (!ds.device || channel < 0 || channel >= DS_CHANNELS)
        return;
    dsChan& c = ds.channels[channel];
    if (!(c.state & DS_ACTIVE))
        return;
    c.state &= ~DS_NOTIFY;
    dsChanClear(c);
}

void dsChanStopContext(const void* context)
{
    std::lock_guard lock(ds.channelLock);
    if (!ds.device)
        return;
    for (int32_t i = 0; i < DS_CHANNELS; ++i)
        if ((ds.channels[i].state & DS_ACTIVE) && ds.channels[i].context == context)
            dsChanStop(i);
}

int32_t dsChanSetVolume(int32_t channel, int32_t volume)
{
    std::lock_guard lock(ds.channelLock);
    if (!ds.device)
        return DS_ERR_NO_DEVICE;
    if (channel < 0 || channel >= DS_CHANNELS || !(ds.channels[channel].state & DS_ACTIVE))
        return DS_ERR_BUSY;
    dsChan& c = ds.channels[channel];
    c.volume = volume;
    if (c.buffer) {
        // A nearby value first, so that the change is always a change.
        const int32_t nearby = (volume > -10000 && volume < 0) ? volume - 1 : volume == 0 ? -1 : -9999;
        ds.device->set_volume(c.buffer, nearby);
        ds.device->set_volume(c.buffer, volume);
    }
    return 0;
}

int32_t dsChanNotify(int32_t channel)
{
    std::lock_guard lock(ds.channelLock);
    if (!ds.device)
        return DS_ERR_NO_DEVICE;
    if (channel < 0 || channel >= DS_CHANNELS || !(ds.channels[channel].state & DS_ACTIVE))
        return DS_ERR_BUSY;
    ds.channels[channel].state |= DS_NOTIFY;
    return 0;
}

int32_t dsChanQuery(int32_t channel, uint32_t* playing)
{
    std::lock_guard lock(ds.channelLock);
    if (!ds.device)
        return DS_ERR_NO_DEVICE;
    if (channel < 0 || channel >= DS_CHANNELS)
        return DS_ERR_BUSY;
    if (playing)
        *playing = ds.channels[channel].state & DS_ACTIVE;
    return 0;
}

snd_device::Device* dsDevice() { return ds.device.get(); }

dsChan dsChannel(int32_t channel)
{
    std::lock_guard lock(ds.channelLock);
    return channel >= 0 && channel < DS_CHANNELS ? ds.channels[channel] : dsChan{};
}
