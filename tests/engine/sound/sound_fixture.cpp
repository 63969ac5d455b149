#include "sound_fixture.h"

#include "platform/headless.h"

#include <fstream>

namespace soundtest {

std::vector<int16_t> pcm16(size_t samples, uint32_t seed)
{
    std::vector<int16_t> out(samples);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& s : out) {
        x = x * 1664525u + 1013904223u;
        s = int16_t((x >> 16) | 1);
    }
    return out;
}

std::vector<uint8_t> bytes_of(const std::vector<int16_t>& pcm)
{
    std::vector<uint8_t> b;
    for (int16_t s : pcm) {
        b.push_back(uint8_t(s));
        b.push_back(uint8_t(uint16_t(s) >> 8));
    }
    return b;
}

namespace {

void put(std::vector<uint8_t>& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

void tag(std::vector<uint8_t>& b, const char* t)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(t[i]));
}

} // namespace

std::vector<uint8_t> wav_image(const WavSpec& spec, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> b;
    tag(b, "RIFF");
    put(b, 0, 4);
    tag(b, spec.form.c_str());
    if (spec.extra_chunk) {
        tag(b, "LIST");
        put(b, 3, 4);
        for (uint8_t c : {'a', 'b', 'c', '\0'})
            b.push_back(c);
    }
    if (spec.with_fmt) {
        tag(b, "fmt ");
        put(b, spec.fmt_size, 4);
        std::vector<uint8_t> f;
        const uint16_t block = uint16_t(spec.channels * spec.bits / 8);
        put(f, spec.tag, 2);
        put(f, spec.channels, 2);
        put(f, spec.rate, 4);
        put(f, spec.rate * block, 4);
        put(f, block, 2);
        put(f, spec.bits, 2);
        f.resize(spec.fmt_size, 0);
        b.insert(b.end(), f.begin(), f.end());
    }
    if (spec.with_data) {
        tag(b, "data");
        put(b, uint32_t(data.size()) + spec.data_size_delta, 4);
        b.insert(b.end(), data.begin(), data.end());
    }
    const uint32_t riff = uint32_t(b.size() - 8) + spec.data_size_delta;
    for (int i = 0; i < 4; ++i)
        b[4 + i] = uint8_t(riff >> (8 * i));
    return b;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

wavInfo info_of(const std::vector<int16_t>& pcm, uint16_t channels, uint32_t rate)
{
    wavInfo w;
    w.formatTag = 1;
    w.channels = channels;
    w.samplesPerSec = rate;
    w.bitsPerSample = 16;
    w.blockAlign = uint16_t(channels * 2);
    w.avgBytesPerSec = rate * w.blockAlign;
    w.dataLength = uint32_t(pcm.size() * 2);
    w.data = reinterpret_cast<const uint8_t*>(pcm.data());
    return w;
}

Rig::Rig(uint32_t rate, uint16_t ch, bool manual) : channels(ch)
{
    dsConfig config;
    config.output = {rate, ch};
    config.manualFeed = manual;
    config.pollMs = 1;
    dsSetConfig(config);
    platform::headless::clear_captured_audio();
    dsInit(nullptr);
}

Rig::~Rig()
{
    dsDone();
    dsSetConfig(dsConfig{});
    platform::headless::clear_captured_audio();
}

void Rig::step(uint32_t frames)
{
    platform::headless::advance_audio(frames);
    dsFeedPass();
}

uint64_t Rig::run_until_idle(int32_t channel, uint64_t limit)
{
    while (captured_frames() < limit) {
        step();
        uint32_t playing = 1;
        if (dsChanQuery(channel, &playing) == 0 && !playing)
            return captured_frames();
    }
    return 0;
}

std::vector<int16_t> Rig::capture() const { return platform::headless::captured_audio(); }

uint64_t Rig::captured_frames() const { return platform::headless::captured_audio().size() / channels; }

} // namespace soundtest
