#include "engine/sound/sound_device.h"

#include "engine/sound/sound_mix.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace snd_device {

// Buffer state; every field is read and written under the device's lock,
// except `staging`, which belongs to whoever holds the buffer locked (the
// channel layer, under its own lock).
class Buffer {
public:
    BufferDesc desc;
    uint32_t block = 2;           // bytes per frame
    uint32_t frames = 0;          // whole frames in the ring
    std::vector<uint8_t> ring;
    std::vector<uint8_t> staging;
    mix::Voice voice;
    bool playing = false;
    bool looping = false;
    int32_t volume = 0;
    int32_t pan = 0;
    uint32_t play_calls = 0;
};

namespace {

std::mutex extra_mutex;
sndExtraSourceFn extra_source;

int32_t q16(double gain) { return int32_t(std::lround(gain * 65536.0)); }

} // namespace

void call_extra_source(int32_t* acc, uint32_t frames, const platform::AudioFormat& format)
{
    std::lock_guard lock(extra_mutex);
    if (extra_source)
        extra_source(acc, frames, format);
}

Gains gains_for(int32_t volume, int32_t pan)
{
    volume = std::clamp(volume, -10000, 0);
    pan = std::clamp(pan, -10000, 10000);
    const double v = std::pow(10.0, volume / 2000.0);
    Gains g;
    g.left = q16(v * (pan > 0 ? std::pow(10.0, -pan / 2000.0) : 1.0));
    g.right = q16(v * (pan < 0 ? std::pow(10.0, pan / 2000.0) : 1.0));
    // -10000 is silence by definition, not 10^-5.
    if (volume <= -10000)
        g.left = g.right = 0;
    return g;
}

Device::Device() = default;
Device::~Device() { close(); }

bool Device::open(const platform::AudioFormat& format, uint32_t buffer_frames)
{
    close();
    format_ = format;
    platform::AudioOutputDef def;
    def.format = format;
    def.buffer_frames = buffer_frames;
    def.fill = [this](int16_t* out, uint32_t frames) { mix(out, frames); };
    if (!platform::open_audio(def)) {
        format_ = {};
        return false;
    }
    open_ = true;
    platform::start_audio();
    return true;
}

void Device::close()
{
    if (open_) {
        // When close_audio returns, no mix runs any more.
        platform::close_audio();
        open_ = false;
    }
    std::lock_guard lock(mutex_);
    buffers_.clear();
}

Buffer* Device::create_buffer(const BufferDesc& desc)
{
    if ((desc.channels != 1 && desc.channels != 2) || (desc.bits != 8 && desc.bits != 16) || desc.rate == 0 ||
        desc.rate > 200000 || desc.bytes == 0)
        return nullptr;
    auto b = std::make_unique<Buffer>();
    b->desc = desc;
    b->block = desc.channels * desc.bits / 8u;
    b->frames = desc.bytes / b->block;
    if (b->frames == 0)
        return nullptr;
    b->ring.assign(desc.bytes, desc.bits == 8 ? 0x80 : 0);
    b->staging.resize(desc.bytes);
    b->voice.data = b->ring.data();
    b->voice.frames = b->frames;
    b->voice.channels = desc.channels;
    b->voice.bits = desc.bits;
    b->voice.step = (uint64_t(desc.rate) << 32) / std::max<uint32_t>(format_.rate, 1);
    std::lock_guard lock(mutex_);
    buffers_.push_back(std::move(b));
    return buffers_.back().get();
}

void Device::release(Buffer* buffer)
{
    if (!buffer)
        return;
    std::lock_guard lock(mutex_);
    std::erase_if(buffers_, [&](const auto& b) { return b.get() == buffer; });
}

void Device::set_app_active(bool active)
{
    std::lock_guard lock(mutex_);
    app_active_ = active;
}

void Device::mix(int16_t* out, uint32_t frames)
{
    const uint32_t channels = format_.channels;
    std::lock_guard lock(mutex_);
    acc_.assign(size_t(frames) * channels, 0);
    for (auto& b : buffers_) {
        if (!b->playing)
            continue;
        const bool muted = !app_active_ && !b->desc.global_focus;
        const bool still_playing = mix::mix_voice(b->voice, acc_.data(), frames, channels, b->looping, muted);
        if (!still_playing)
            b->playing = false;
    }
    call_extra_source(acc_.data(), frames, format_);
    mix::clip(acc_.data(), out, size_t(frames) * channels);
}

void Device::lock(Buffer* b, uint32_t offset, uint32_t bytes, uint8_t*& p1, uint32_t& n1, uint8_t*& p2, uint32_t& n2)
{
    // The staging copy mirrors the ring, so the parts are at the same offsets.
    const uint32_t size = b->desc.bytes;
    offset %= size;
    bytes = std::min(bytes, size);
    p1 = b->staging.data() + offset;
    n1 = std::min(bytes, size - offset);
    p2 = n1 < bytes ? b->staging.data() : nullptr;
    n2 = bytes - n1;
}

void Device::unlock(Buffer* b, const uint8_t* p1, uint32_t n1, const uint8_t* p2, uint32_t n2)
{
    std::lock_guard lock(mutex_);
    for (auto [p, n] : {std::pair{p1, n1}, std::pair{p2, n2}}) {
        if (!p || n == 0)
            continue;
        const size_t offset = size_t(p - b->staging.data());
        std::memcpy(b->ring.data() + offset, p, std::min<size_t>(n, b->ring.size() - offset));
    }
}

void Device::play(Buffer* b, bool looping)
{
    std::lock_guard lock(mutex_);
    // A buffer that played to its end starts over, as a static sound does
    // when it is played again.
    if (!b->playing && b->voice.position >= (uint64_t(b->frames) << 32))
        b->voice.position = 0;
    b->playing = true;
    b->looping = looping;
    ++b->play_calls;
}

void Device::stop(Buffer* b)
{
    std::lock_guard lock(mutex_);
    b->playing = false;
}

uint32_t Device::status(Buffer* b)
{
    std::lock_guard lock(mutex_);
    return (b->playing ? status_playing : 0) | (b->playing && b->looping ? status_looping : 0);
}

uint32_t Device::position(Buffer* b)
{
    std::lock_guard lock(mutex_);
    const uint64_t frame = std::min<uint64_t>(b->voice.position >> 32, b->frames);
    return uint32_t(frame % b->frames) * b->block;
}

void Device::set_volume(Buffer* b, int32_t volume)
{
    std::lock_guard lock(mutex_);
    b->volume = volume;
    const Gains g = gains_for(b->volume, b->pan);
    b->voice.gain_left = g.left;
    b->voice.gain_right = g.right;
}

void Device::set_pan(Buffer* b, int32_t pan)
{
    std::lock_guard lock(mutex_);
    b->pan = pan;
    const Gains g = gains_for(b->volume, b->pan);
    b->voice.gain_left = g.left;
    b->voice.gain_right = g.right;
}

uint32_t Device::play_calls(Buffer* b)
{
    std::lock_guard lock(mutex_);
    return b->play_calls;
}

} // namespace snd_device

void sndSetExtraSource(sndExtraSourceFn source)
{
    std::lock_guard lock(snd_device::extra_mutex);
    snd_device::extra_source = std::move(source);
}
