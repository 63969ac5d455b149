// The MIDI file reader: strict checks on crafted bytes, and the order of
// events against a plain merge of the tracks.
#include "engine/sound/mid_internal.h"
#include "tests/engine/sound/midi_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

using namespace miditest;

namespace {

int parse(const Bytes& bytes)
{
    midFileTy song;
    song.data = bytes;
    return midParseFile(song);
}

uint32_t open_file(const Bytes& bytes)
{
    const auto path = scratch_path("quarn_mid_file_test");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    midStateTy state;
    const std::string name = path.string();
    state.fileName = name.c_str();
    const uint32_t result = midOpen(state);
    std::filesystem::remove(path);
    EXPECT_EQ(state.state, result == 0 ? MID_OPENED : MID_CLOSED);
    return result;
}

Track note_track() { return Track{}.raw(0, {0x90, 60, 100}).raw(96, {0x80, 60, 0}).end(); }

} // namespace

TEST(MidFile, RefusesMalformedFilesWithTheInvalidFileResult)
{
    const Bytes good = smf(96, {note_track()});
    Bytes not_mthd = good;
    not_mthd[1] = 'X';
    Bytes short_header = good;
    short_header[7] = 5;
    Bytes not_mtrk = good;
    not_mtrk[14 + 3] = 'x';
    Bytes past_end = good;
    past_end[14 + 7] += 1;
    Bytes many_tracks = good;
    many_tracks[10] = 0xFF;
    many_tracks[11] = 0xFF;

    struct Case {
        const char* name;
        Bytes bytes;
        int result;
    } cases[] = {
        {"good", good, MID_OK},
        {"empty", {}, MID_INVALID_FILE},
        {"not MThd", not_mthd, MID_INVALID_FILE},
        {"header length below 6", short_header, MID_INVALID_FILE},
        {"chunk other than MTrk", not_mtrk, MID_INVALID_FILE},
        {"chunk length past the end", past_end, MID_INVALID_FILE},
        {"more tracks than the file holds", many_tracks, MID_INVALID_FILE},
        {"running status without status", smf(96, {Track{}.raw(0, {60, 100}).end()}), MID_INVALID_FILE},
        {"running status after a meta event",
         smf(96, {Track{}.raw(0, {0x90, 60, 1}).meta(0, 1, {'x'}).raw(0, {60, 0}).end()}), MID_INVALID_FILE},
        {"tempo of 2 bytes", smf(96, {Track{}.meta(0, 0x51, {7, 0xA1}).end()}), MID_INVALID_FILE},
        {"tempo of 4 bytes", smf(96, {Track{}.meta(0, 0x51, {0, 7, 0xA1, 0x20}).end()}), MID_INVALID_FILE},
        {"system exclusive past the track", smf(96, {Track{}.raw(0, {0xF0, 0x7F, 1, 2}).end()}), MID_INVALID_FILE},
        {"meta length past the track", smf(96, {Track{}.raw(0, {0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F})}), MID_INVALID_FILE},
        {"track without end", smf(96, {Track{}.raw(0, {0x90, 60, 1}).raw(0, {0x80, 60, 0})}), MID_INVALID_FILE},
        {"no tracks", smf(96, {}), MID_OK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse(c.bytes), c.result) << c.name;
    for (int status = 0xF1; status <= 0xFE; ++status) {
        if (status == 0xF7)
            continue;
        EXPECT_EQ(parse(smf(96, {Track{}.raw(0, {uint8_t(status), 0, 0}).end()})), MID_INVALID_FILE) << status;
    }
}

TEST(MidFile, OpensPlainAndRmidFilesAndMapsFailuresToMciCodes)
{
    const Bytes song_bytes = smf(96, {note_track()});
    EXPECT_EQ(open_file(song_bytes), 0u);
    EXPECT_EQ(open_file(riff(song_bytes)), 0u);
    EXPECT_EQ(open_file(riff(song_bytes, "WAVE")), MCIERR_INVALID_FILE);
    Bytes cut = riff(song_bytes);
    cut.pop_back(); // the 'data' chunk claims a byte more than there is
    EXPECT_EQ(open_file(cut), MCIERR_INVALID_FILE);
    EXPECT_EQ(open_file({'M', 'T', 'h', 'd'}), MCIERR_INVALID_FILE);

    midStateTy missing;
    missing.fileName = "/nonexistent/quarn/music.mid";
    EXPECT_EQ(midOpen(missing), MCIERR_INVALID_FILE);
    midStateTy twice;
    twice.state = MID_OPENED;
    EXPECT_EQ(midOpen(twice), MCIERR_UNSUPPORTED_FUNCTION);
}

// The reader's order against a plain model: all events of all tracks,
// sorted stably by absolute tick, then by track.
TEST(MidFile, TakesEventsInTimeOrderWithTiesInTrackOrder)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        std::vector<Track> tracks(1 + seed % 5);
        std::vector<std::tuple<uint32_t, size_t, size_t, uint8_t, uint8_t>> expected; // tick, track, index, status, key
        uint32_t rnd = seed;
        for (size_t t = 0; t < tracks.size(); ++t) {
            uint32_t tick = 0;
            for (size_t i = 0; i < 30; ++i) {
                rnd = rnd * 1664525u + 1013904223u;
                const uint32_t delta = (rnd >> 24) % 4 * 20; // many ties
                tick += delta;
                const uint8_t key = uint8_t((rnd >> 8) & 0x7F);
                tracks[t].raw(delta, {uint8_t(0x90 | t), key, 64});
                expected.emplace_back(tick, t, i, uint8_t(0x90 | t), key);
            }
            tracks[t].end();
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b)); });
        midFileTy song;
        song.data = smf(96, tracks);
        ASSERT_EQ(midParseFile(song), MID_OK);
        midRewind(song);
        midEventTy event;
        uint32_t tick = 0;
        size_t n = 0;
        while (midNextEvent(song, event, MID_NO_TICK_LIMIT) == MID_OK) {
            tick += event.delta;
            if (event.status == 0xFF)
                continue;
            ASSERT_LT(n, expected.size());
            EXPECT_EQ(tick, std::get<0>(expected[n])) << seed << " " << n;
            EXPECT_EQ(event.status, std::get<3>(expected[n])) << seed << " " << n;
            EXPECT_EQ(event.data[0], std::get<4>(expected[n])) << seed << " " << n;
            ++n;
        }
        EXPECT_EQ(n, expected.size());
        EXPECT_EQ(song.songLength, std::get<0>(*std::max_element(expected.begin(), expected.end())));
    }
}
