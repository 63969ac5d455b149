// MIDI streams on a manual clock into the recording sink: event times from
// ticks, tempo and division; buffers back in order; reset, close and the
// refusals of the buffer functions.
#include "platform/midi.h"
#include "platform/midi/midi_internal.h"

#include <gtest/gtest.h>

#include <mutex>
#include <new>
#include <vector>

using platform::MidiBuffer;
using platform::MidiResult;

namespace {

struct Events {
    std::vector<uint8_t> bytes;
    MidiBuffer buffer;
    explicit Events(size_t capacity = 256) : bytes(capacity) { buffer = {.data = bytes.data(), .length = uint32_t(capacity)}; }
    Events& add(uint32_t delta, uint32_t word, std::initializer_list<uint8_t> params = {})
    {
        for (uint32_t v : {delta, 0u, word}) {
            for (int i = 0; i < 4; ++i)
                bytes[buffer.bytes_recorded++] = uint8_t(v >> (8 * i));
        }
        for (uint8_t p : params)
            bytes[buffer.bytes_recorded++] = p;
        buffer.bytes_recorded = (buffer.bytes_recorded + 3) & ~3u;
        return *this;
    }
};

class MidiStreamTest : public testing::Test {
protected:
    platform::MidiRecorder recorder;
    platform::ManualMidiClock clock;
    platform::MidiStream* stream = nullptr;
    std::mutex mutex;
    std::vector<MidiBuffer*> returned;

    void SetUp() override
    {
        platform::set_midi_device_override(&recorder, &clock);
        ASSERT_EQ(platform::midi_stream_open(&stream, platform::midi_mapper,
                                             [this](platform::MidiStream*, MidiBuffer* b) {
                                                 std::lock_guard lock(mutex);
                                                 returned.push_back(b);
                                             }),
                  MidiResult::ok);
    }
    void TearDown() override
    {
        if (stream) {
            (void)platform::midi_stream_reset(stream);
            platform::midi_wait_idle();
            EXPECT_EQ(platform::midi_stream_close(stream), MidiResult::ok);
        }
        platform::set_midi_device_override(nullptr, nullptr);
    }
    void queue(MidiBuffer& b)
    {
        ASSERT_EQ(platform::midi_prepare_buffer(stream, &b), MidiResult::ok);
        ASSERT_EQ(platform::midi_stream_out(stream, &b), MidiResult::ok);
    }
    void run_ms(uint32_t ms)
    {
        for (uint32_t i = 0; i < ms; ++i) {
            clock.advance_ms(1);
            platform::midi_wait_idle();
        }
    }
    std::vector<MidiBuffer*> back()
    {
        std::lock_guard lock(mutex);
        return returned;
    }
};

} // namespace

TEST(MidiTicks, TicksBecomeTimeThroughTempoOrFramesPerSecond)
{
    using platform::midi_detail::ticks_to_ns;
    EXPECT_EQ(ticks_to_ns(480, 480, 500000), 500'000'000u);
    EXPECT_EQ(ticks_to_ns(100, 480, 250000), 52'083'333u);
    EXPECT_EQ(ticks_to_ns(250, 0xE728, 123), 250'000'000u); // 25 fps x 40 ticks: 1 ms a tick
    EXPECT_EQ(ticks_to_ns(30, 0xE301, 0), 1'001'000'000u);   // "29" is 29.97 fps
    EXPECT_EQ(ticks_to_ns(UINT64_MAX / 2, 1, 0xFFFFFF), UINT64_MAX);
}

TEST_F(MidiStreamTest, PlaysEachEventAtItsTickTimeAndReturnsBuffersInOrder)
{
    ASSERT_EQ(platform::midi_stream_set_time_division(stream, 480), MidiResult::ok);
    Events a, b;
    a.add(0, 0x00643C90)
        .add(480, 0x00003C80)
        .add(0, 0x0103D090) // tempo 250000 us a quarter from here
        .add(960, 0x00504090)
        .add(240, 0x80000005, {0xF0, 1, 2, 3, 0xF7});
    b.add(100, 0x00004080);
    queue(a.buffer);
    queue(b.buffer);
    clock.advance_ns(1000);
    run_ms(5);
    EXPECT_TRUE(recorder.entries().empty()) << "a paused stream plays nothing";
    ASSERT_EQ(platform::midi_stream_restart(stream), MidiResult::ok);
    const uint64_t t0 = clock.now_ns();
    run_ms(1300);
    using E = platform::MidiRecorder::Entry;
    const uint64_t t1 = t0 + 500'000'000, t2 = t1 + 500'000'000, t3 = t2 + 125'000'000;
    EXPECT_EQ(recorder.entries(), (std::vector<E>{{t0, {0x90, 60, 100}},
                                                   {t1, {0x80, 60, 0}},
                                                   {t2, {0x90, 64, 80}},
                                                   {t3, {0xF0, 1, 2, 3, 0xF7}},
                                                   {t3 + 52'083'333, {0x80, 64, 0}}}));
    EXPECT_EQ(back(), (std::vector<MidiBuffer*>{&a.buffer, &b.buffer}));
    EXPECT_EQ(a.buffer.flags & (platform::midi_buffer_queued | platform::midi_buffer_done), platform::midi_buffer_done);
}

TEST_F(MidiStreamTest, ResetSilencesAndHandsBackEveryQueuedBuffer)
{
    Events a, b, c;
    a.add(10, 0x00643C90);
    b.add(1000, 0x00643C90);
    c.add(0, 0x00643C90);
    EXPECT_EQ(platform::midi_stream_out(stream, &a.buffer), MidiResult::unprepared);
    ASSERT_EQ(platform::midi_prepare_buffer(stream, &a.buffer), MidiResult::ok);
    queue(a.buffer); // preparing twice is harmless
    queue(b.buffer);
    queue(c.buffer);
    EXPECT_EQ(platform::midi_stream_out(stream, &a.buffer), MidiResult::still_playing);
    EXPECT_EQ(platform::midi_unprepare_buffer(stream, &b.buffer), MidiResult::still_playing);
    EXPECT_EQ(platform::midi_stream_close(stream), MidiResult::still_playing);
    ASSERT_EQ(platform::midi_stream_restart(stream), MidiResult::ok);
    run_ms(200);
    EXPECT_EQ(back(), std::vector<MidiBuffer*>{&a.buffer});
    EXPECT_EQ(platform::midi_stream_reset(stream), MidiResult::ok);
    platform::midi_wait_idle();
    EXPECT_EQ(back(), (std::vector<MidiBuffer*>{&a.buffer, &b.buffer, &c.buffer}));
    EXPECT_EQ(recorder.entries().size(), 1u);
    EXPECT_EQ(recorder.notes_off_count(), 1u);
    EXPECT_EQ(platform::midi_unprepare_buffer(stream, &b.buffer), MidiResult::ok);

    recorder.refuse_buffers_after(0);
    EXPECT_EQ(platform::midi_stream_out(stream, &a.buffer), MidiResult::error);
}

TEST_F(MidiStreamTest, ClosesFromItsOwnCallback)
{
    std::mutex m;
    std::vector<MidiResult> results;
    platform::MidiStream* own = nullptr;
    ASSERT_EQ(platform::midi_stream_open(&own, 0,
                                         [&](platform::MidiStream* s, MidiBuffer*) {
                                             std::lock_guard lock(m);
                                             results.push_back(platform::midi_stream_close(s));
                                         }),
              MidiResult::ok);
    Events a;
    a.add(0, 0x00643C90);
    ASSERT_EQ(platform::midi_prepare_buffer(own, &a.buffer), MidiResult::ok);
    ASSERT_EQ(platform::midi_stream_out(own, &a.buffer), MidiResult::ok);
    ASSERT_EQ(platform::midi_stream_restart(own), MidiResult::ok);
    platform::midi_wait_idle();
    std::lock_guard lock(m);
    EXPECT_EQ(results, std::vector<MidiResult>{MidiResult::ok});
    EXPECT_EQ(platform::midi_stream_restart(own), MidiResult::invalid_handle);
    EXPECT_EQ(recorder.notes_off_count(), 1u);
}

// Memory that runs out in the program's callback (a message it posts) once
// left the stream's thread and ended the process through std::terminate.
// The buffer counts as handed back and the stream plays on.
TEST(MidiStream, ACallbackThatThrowsEndsNeitherTheStreamNorTheProcess)
{
    platform::MidiRecorder recorder;
    platform::ManualMidiClock clock;
    platform::set_midi_device_override(&recorder, &clock);
    std::mutex m;
    std::vector<MidiBuffer*> returned;
    platform::MidiStream* stream = nullptr;
    ASSERT_EQ(platform::midi_stream_open(&stream, platform::midi_mapper,
                                         [&](platform::MidiStream*, MidiBuffer* b) {
                                             std::lock_guard lock(m);
                                             returned.push_back(b);
                                             if (returned.size() == 1)
                                                 throw std::bad_alloc();
                                         }),
              MidiResult::ok);
    Events a, b;
    a.add(0, 0x00643C90);
    b.add(10, 0x00003C80);
    for (MidiBuffer* buffer : {&a.buffer, &b.buffer}) {
        ASSERT_EQ(platform::midi_prepare_buffer(stream, buffer), MidiResult::ok);
        ASSERT_EQ(platform::midi_stream_out(stream, buffer), MidiResult::ok);
    }
    ASSERT_EQ(platform::midi_stream_restart(stream), MidiResult::ok);
    for (int i = 0; i < 100; ++i) {
        clock.advance_ms(1);
        platform::midi_wait_idle();
    }
    EXPECT_EQ(recorder.entries().size(), 2u);
    {
        std::lock_guard lock(m);
        EXPECT_EQ(returned, (std::vector<MidiBuffer*>{&a.buffer, &b.buffer}));
    }
    EXPECT_EQ(platform::midi_stream_close(stream), MidiResult::ok);
    platform::set_midi_device_override(nullptr, nullptr);
}
