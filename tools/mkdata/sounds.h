// The game's sound effects and its music, synthesised.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkdata {

inline constexpr uint32_t sound_rate = 22050;

struct Sound {
    std::string name; // file name without ".wav"
    std::vector<int16_t> samples;
};

// start, checkpoint, lap, hit, click and gameover; gameover lasts longer
// than two seconds.
std::vector<Sound> make_sounds();

// A short tune as a format-1 standard MIDI file: a tempo track and two
// instrument tracks, eight bars, ending after the last note.
std::vector<uint8_t> make_music();

} // namespace mkdata
