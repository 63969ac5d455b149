// Stream buffers from songs: golden bytes of the events written, the delta
// carried over events that write nothing, long events split over buffers,
// and the state before a start tick.
#include "engine/sound/mid_internal.h"
#include "tests/engine/sound/midi_fixture.h"

#include <gtest/gtest.h>

using namespace miditest;

namespace {

struct Filled {
    int result;
    Bytes bytes;
};

struct Song {
    midFileTy song;
    explicit Song(const Bytes& file)
    {
        song.data = file;
        EXPECT_EQ(midParseFile(song), MID_OK);
        midRewind(song);
    }
    Filled fill(uint32_t size, uint64_t end = MID_NO_TICK_LIMIT)
    {
        Bytes storage(size, 0xEE);
        platform::MidiBuffer b{.data = storage.data(), .length = size};
        const int result = midFillBuffer(song, b, end);
        storage.resize(b.bytes_recorded);
        return {result, storage};
    }
};

Bytes event(uint32_t delta, uint32_t word, const Bytes& params = {})
{
    Bytes out;
    put_le32(out, delta);
    put_le32(out, 0);
    put_le32(out, word);
    out.insert(out.end(), params.begin(), params.end());
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(MidFill, WritesShortTempoAndPaddedLongEventsAndCarriesDeltasOverMetaEvents)
{
    Song s(smf(96, {Track{}
                        .raw(0, {0x90, 60, 100})
                        .meta(60, 0x01, {'h', 'i'})
                        .raw(40, {0x80, 60, 0})
                        .tempo(5, 0x07A120)
                        .sysex(0, 0xF0, {1, 2, 3, 4, 0xF7})
                        .sysex(7, 0xF7, {9})
                        .raw(1, {0xC3, 5})
                        .end(3)}));
    const Filled f = s.fill(1024);
    EXPECT_EQ(f.result, MID_END_OF_SONG);
    EXPECT_EQ(f.bytes, cat({event(0, 0x00643C90),
                            event(100, 0x00003C80), // 60 ticks to the text event, 40 more to the note
                            event(5, 0x0107A120),
                            event(0, 0x80000006, {0xF0, 1, 2, 3, 4, 0xF7, 0, 0}), // F0 and 5 bytes, padded to 8
                            event(7, 0x80000001, {9, 0, 0, 0}),
                            event(1, 0x000005C3)}));
}

TEST(MidFill, SplitsALongEventAcrossBuffersWithDeltaZero)
{
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i);
    Song s(smf(96, {Track{}.raw(0, {0x90, 60, 1}).sysex(9, 0xF0, data).raw(2, {0x80, 60, 0}).end()}));
    // 64-byte buffers: a note, then 64 - 12 - 12 = 40 bytes of the message.
    Bytes sent;
    const Filled first = s.fill(64);
    ASSERT_EQ(first.bytes.size(), 64u);
    EXPECT_EQ(Bytes(first.bytes.begin() + 12, first.bytes.begin() + 24), event(9, 0x80000028));
    sent.insert(sent.end(), first.bytes.begin() + 24, first.bytes.end());
    const Filled second = s.fill(64);
    EXPECT_EQ(Bytes(second.bytes.begin(), second.bytes.begin() + 12), event(0, 0x80000034));
    sent.insert(sent.end(), second.bytes.begin() + 12, second.bytes.end());
    const Filled third = s.fill(64);
    EXPECT_EQ(third.result, MID_END_OF_SONG);
    EXPECT_EQ(Bytes(third.bytes.begin(), third.bytes.begin() + 12), event(0, 0x80000009));
    sent.insert(sent.end(), third.bytes.begin() + 12, third.bytes.begin() + 21);
    Bytes whole{0xF0};
    whole.insert(whole.end(), data.begin(), data.end());
    EXPECT_EQ(sent, whole);
    EXPECT_EQ(Bytes(third.bytes.end() - 12, third.bytes.end()), event(2, 0x00003C80));
}

TEST(MidFill, StopsBeforeTheEndTickAndPlaysTheLastTickWithAnEndOnePast)
{
    const Bytes file = smf(96, {Track{}.raw(0, {0x90, 60, 1}).raw(96, {0x80, 60, 0}).end()});
    Song cut(file);
    EXPECT_EQ(cut.fill(1024, cut.song.songLength).bytes, event(0, 0x00013C90));
    Song whole(file);
    EXPECT_EQ(whole.fill(1024, whole.song.songLength + 1).bytes,
              cat({event(0, 0x00013C90), event(96, 0x00003C80)}));
}

TEST(MidFill, StateBeforeTheStartTickKeepsTempoProgramsAndControllersBelow120)
{
    Song s(smf(96, {Track{}
                        .tempo(0, 600000)
                        .raw(0, {0xB2, 7, 90})
                        .raw(0, {0xB2, 7, 80})
                        .raw(0, {0xBF, 123, 0}) // all notes off: not a state to restore
                        .raw(0, {0xC1, 33})
                        .raw(0, {0x9F, 60, 1})
                        .raw(50, {0xB0, 10, 5}) // at the start tick: not before it
                        .end()}));
    Bytes storage(256);
    platform::MidiBuffer b{.data = storage.data(), .length = 256};
    ASSERT_EQ(midSeekState(s.song, 50, b), MID_OK);
    storage.resize(b.bytes_recorded);
    EXPECT_EQ(storage, cat({event(0, 0x010927C0), event(0, 0x000021C1), event(0, 0x005007B2)}));
    platform::MidiBuffer small{.data = storage.data(), .length = 20};
    EXPECT_EQ(midSeekState(s.song, 50, small), MID_NO_MEMORY);
}
