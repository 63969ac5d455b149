// Fixture builder of the MPEG audio tests: test signals, WAV files, encoding
// with the command-line encoders, decoding with our decoder (in the calling
// order of the sound system's MP3 source) and with libavcodec as the outside
// reference, and signal measures.
#pragma once

#include "engine/sound/mpeg/mpeg.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mpegtest {

struct Signal {
    int32_t rate = 44100;
    int32_t channels = 1;
    std::vector<int16_t> pcm;  // interleaved
};

// A sine per channel (f_right used for the second channel) at amplitude amp
// (0..1 of full scale).
Signal sine(int32_t rate, int32_t channels, double seconds, double f_left, double f_right, double amp);
// A linear chirp from f0 to f1 on every channel.
Signal chirp(int32_t rate, int32_t channels, double seconds, double f0, double f1, double amp);
// Sine with short bursts of noise, so encoders switch to short blocks.
Signal clicks(int32_t rate, int32_t channels, double seconds, double f, double amp);

// A folder of its own under the system's temporary folder, removed at exit.
const std::filesystem::path& work_dir();
bool have_tool(const char* name);
void write_wav(const std::filesystem::path& path, const Signal& s);
std::vector<uint8_t> read_file(const std::filesystem::path& path);

// Encodes s with "lame -t --quiet <args>" or "twolame --quiet <args>";
// empty on failure.
std::vector<uint8_t> lame(const Signal& s, const std::string& args, const std::string& name);
std::vector<uint8_t> twolame(const Signal& s, const std::string& args, const std::string& name);

struct Decoded {
    bool ok = false;
    mpaInfo info{};
    int32_t frames = 0;
    std::vector<int16_t> pcm;   // 16-bit output
    std::vector<uint8_t> pcm8;  // 8-bit output
};

Decoded decode(const std::vector<uint8_t>& data, int32_t reduction = 0, int32_t convert = 0,
               int32_t freq_limit = 24000);
Decoded decode_reference(const std::vector<uint8_t>& data);

// Channels of each frame of a stream, stepping from header to header by the
// lengths the headers give (free-format frames take the last measured
// length); *samples_per_frame is set from the headers.
std::vector<int32_t> frame_channels(const std::vector<uint8_t>& data, int32_t* samples_per_frame);
// A reference output that follows each frame's channel count, put in the
// decoder's output channels: a single-channel frame plays on both channels,
// a two-channel frame in a single-channel stream plays its left channel.
std::vector<int16_t> in_output_channels(const std::vector<int16_t>& ref, const std::vector<int32_t>& channels,
                                        int32_t spf, int32_t out_channels);

// 10 log10 of the reference's power over the difference's, over the common
// length from `skip` values on.
double snr_db(const std::vector<int16_t>& ref, const std::vector<int16_t>& got, size_t skip = 0);
// One channel of interleaved PCM.
std::vector<double> channel(const std::vector<int16_t>& pcm, int32_t channels, int32_t ch);
// Frequency of the strongest spectral peak of x[from, from + 8192).
double dominant_frequency(const std::vector<double>& x, int32_t rate, size_t from);
// Least-squares fit of a sinusoid at f over x[from, from + count): its
// power over the residual's, in dB.
double tone_snr_db(const std::vector<double>& x, int32_t rate, double f, size_t from, size_t count);
double rms(const std::vector<double>& x, size_t from, size_t count);

}  // namespace mpegtest
