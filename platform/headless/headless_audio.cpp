#include "platform/headless/headless_backend.h"

#include <algorithm>

namespace platform::headless_impl {

bool HeadlessAudio::open_device(const AudioOutputDef& def, uint32_t& latency_frames)
{
    if (!device_present)
        return false;
    latency_frames = def.buffer_frames;
    capture_format = def.format;
    return true;
}

uint64_t HeadlessAudio::advance(uint64_t frames)
{
    if (state() == AudioState::closed)
        return 0;
    const uint32_t channels = format().channels;
    const uint32_t piece = buffer_frames();
    uint64_t done = 0;
    while (done < frames) {
        const auto n = uint32_t(std::min<uint64_t>(piece, frames - done));
        const size_t start = capture.size();
        capture.resize(start + size_t(n) * channels);
        render(capture.data() + start, n);
        done += n;
    }
    return done;
}

} // namespace platform::headless_impl
