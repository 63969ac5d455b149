// Writes the seed inputs of the MIDI fuzz target: songs from the tests'
// fixture builder, plain and wrapped in RIFF, with long system-exclusive
// events, running status and several buffer sizes. Usage: make_seeds <dir>
#include "tests/engine/sound/midi_fixture.h"

#include <fstream>
#include <string>

using namespace miditest;

namespace {

// The target takes its buffer size from the last byte: a byte of padding
// after the song picks it without changing the song.
void save(const std::string& dir, const std::string& name, uint8_t buffer_choice, const Bytes& file)
{
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    out.put(char(buffer_choice));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::string dir = argv[1];
    Bytes sysex(300);
    for (size_t i = 0; i < sysex.size(); ++i)
        sysex[i] = uint8_t(i & 0x7F);
    sysex.back() = 0xF7;
    const Bytes mixed = smf(96, {Track{}
                                     .tempo(0, 500000)
                                     .raw(0, {0xB0, 7, 100})
                                     .raw(0, {0xC0, 5})
                                     .raw(0, {0x90, 60, 100})
                                     .raw(10, {62, 100})
                                     .meta(20, 0x01, {'t', 'e', 'x', 't'})
                                     .sysex(5, 0xF0, sysex)
                                     .sysex(5, 0xF7, {1, 2, 0xF7})
                                     .raw(0, {0xE0, 0, 64})
                                     .raw(3, {0xD0, 9})
                                     .raw(3, {0xA0, 60, 9})
                                     .end(40),
                                 Track{}.raw(0, {0x91, 40, 90}).raw(96, {0x81, 40, 0}).end()});
    save(dir, "mixed_small_buffers", 0, mixed);
    save(dir, "mixed_rmid", 252, riff(mixed));
    save(dir, "song_4_tracks", 50, song(120, 4, 11));
    save(dir, "song_1_track_smpte", 7, smf(0xE728, {Track{}.raw(0, {0x90, 1, 1}).raw(25, {0x80, 1, 0}).end()}, 0));
    return 0;
}
