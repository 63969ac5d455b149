// Fixture builder of the sound tests: PCM and RIFF WAVE images made in
// code, and a rig that runs the channel layer over the headless output with
// the feeder's passes stepped by hand.
#pragma once

#include "engine/sound/ds.h"
#include "tests/engine/sound/mpeg/mpeg_fixture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

// Seeded noise-like 16-bit PCM that never repeats within a test's length
// and has no zero runs, so gaps and shifts show.
std::vector<int16_t> pcm16(size_t samples, uint32_t seed);

// A RIFF WAVE image: header, an optional extra chunk before "fmt " (odd
// sized, with its pad byte), the format (fmt_size bytes, at least 16 unless
// smaller is wanted), then the data.
struct WavSpec {
    uint16_t tag = 1, channels = 1, bits = 16;
    uint32_t rate = 22050;
    uint32_t fmt_size = 16;
    bool extra_chunk = false;
    bool with_fmt = true;
    bool with_data = true;
    std::string form = "WAVE";
    uint32_t data_size_delta = 0;  // the data chunk claims this many bytes more than it has
};
std::vector<uint8_t> wav_image(const WavSpec& spec, const std::vector<uint8_t>& data);
std::vector<uint8_t> bytes_of(const std::vector<int16_t>& pcm);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// The channel layer over the headless output at `rate` Hz stereo, without
// its thread: step() renders frames and runs one feeder pass, as the
// thread's poll would.
class Rig {
public:
    explicit Rig(uint32_t rate = 22050, uint16_t channels = 2, bool manual = true);
    ~Rig();
    void step(uint32_t frames = 1024);
    // Steps until the channel is idle; the frames captured when it was
    // found idle (0 when it never was within `limit` frames).
    uint64_t run_until_idle(int32_t channel, uint64_t limit);
    std::vector<int16_t> capture() const;
    uint64_t captured_frames() const;
    uint16_t channels;
};

// An Ogg Vorbis stream of the signal made with libvorbisenc (empty on
// failure). A non-zero `other_serial` multiplexes a made-up logical stream
// of that serial number into it: its beginning page first, then its data
// and end pages after the first and second audio pages (when there are).
std::vector<uint8_t> vorbis_encode(const mpegtest::Signal& s, int other_serial = 0);

wavInfo info_of(const std::vector<int16_t>& pcm, uint16_t channels, uint32_t rate);

} // namespace soundtest
