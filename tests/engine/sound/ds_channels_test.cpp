// Claiming channels: priorities, the per-context limit, refusal, the queue,
// range clamping and failed buffers.
#include "sound_fixture.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

struct Sounds {
    std::vector<std::vector<int16_t>> pcm;
    std::vector<wavInfo> info;
    explicit Sounds(size_t count, size_t frames = 2000)
    {
        for (size_t i = 0; i < count; ++i)
            pcm.push_back(pcm16(frames, uint32_t(i)));
        for (auto& p : pcm)
            info.push_back(info_of(p, 1, 22050));
    }
};

std::vector<int32_t> active_priorities()
{
    std::vector<int32_t> out;
    for (int32_t c = 0; c < DS_CHANNELS; ++c)
        out.push_back(dsChannel(c).state & DS_ACTIVE ? dsChannel(c).priority : -1);
    return out;
}

TEST(DsChannels, ClaimByPriority)
{
    Rig rig;
    Sounds s(12);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(dsChanStartMem(&s.info[i], uint8_t(10 + (i == 4 ? -5 : 0) + (i == 7 ? -5 : 0)), 0, 0, 0, -3, 10), i);
    // Full: an equal priority is refused, a higher one takes the first
    // channel of lowest priority.
    EXPECT_EQ(dsChanStartMem(&s.info[10], 5, 0, 0, 0, 0, 9), DS_ERR_BUSY);
    EXPECT_EQ(dsChanStartMem(&s.info[10], 6, 0, 0, 0, 0, 9), 4);
    EXPECT_EQ(dsChanStartMem(&s.info[11], 6, 0, 0, 0, 0, 9), 7);
    EXPECT_EQ(dsChanStartMem(&s.info[11], 6, 0, 0, 0, 0, 9), DS_ERR_BUSY);
    EXPECT_EQ(active_priorities(), (std::vector<int32_t>{10, 10, 10, 10, 6, 10, 10, 6, 10, 10}));
    // Within a range only.
    EXPECT_EQ(dsChanStartMem(&s.info[0], 200, 0, 0, 0, 8, 8), 8);
}

TEST(DsChannels, SixPerContextAndRefusal)
{
    Rig rig;
    Sounds s(2);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dsChanStartMem(&s.info[0], 50, 0, 0, 0, 0, 9), i);
    EXPECT_EQ(dsChanStartMem(&s.info[0], 50, 0, 0, 0, 0, 9), DS_ERR_REFUSED);
    EXPECT_EQ(dsChanStartMem(&s.info[0], 51, 0, 0, 0, 0, 9), 6);
    // Flag 2: refused while the context plays at that priority anywhere.
    EXPECT_EQ(dsChanStartMem(&s.info[0], 51, DS_REFUSE_DUPLICATE, 0, 0, 0, 9), DS_ERR_REFUSED);
    EXPECT_EQ(dsChanStartMem(&s.info[0], 52, DS_REFUSE_DUPLICATE, 0, 0, 0, 9), 7);
    EXPECT_EQ(dsChanStartMem(&s.info[1], 51, DS_REFUSE_DUPLICATE, 0, 0, 0, 9), 8);
}

// A stream of a constant value, as a decoding source would deliver it.
uint32_t constant_read(void*, uint8_t* dst, uint32_t position, uint32_t count, int32_t)
{
    for (uint32_t i = 0; i < count; i += 2) {
        dst[i] = 0x34;
        dst[i + 1] = 0x12;
    }
    return position + count;
}

// With flag 4 a start waits for the first channel of its range that ends,
// and plays there, with its own format and read function, from its first
// byte.
TEST(DsChannels, QueuedStartTakesTheFirstChannelThatEnds)
{
    Rig rig(22050, 1);
    Sounds long_ones(10, 40000);
    Sounds short_one(1, 1500);
    for (int i = 0; i < 10; ++i) {
        const wavInfo* info = i == 6 ? &short_one.info[0] : &long_ones.info[i];
        ASSERT_EQ(dsChanStartMem(info, 10, 0, -10000, 0, 0, 9), i);
    }
    const dsFormat stream{1, 22050, 16, DS_OPEN_LENGTH, 32768};
    int marker = 0;
    EXPECT_EQ(dsChanStart(&stream, 200, DS_QUEUE, 0, 0, 0, 9, constant_read, &marker), DS_ERR_REFUSED);
    for (int i = 0; i < 3; ++i)
        rig.step();
    const dsChan c = dsChannel(6);
    EXPECT_TRUE(c.state & DS_ACTIVE);
    EXPECT_EQ(c.context, &marker);
    EXPECT_EQ(c.read, constant_read);
    EXPECT_EQ(c.priority, 200);
    EXPECT_EQ(c.bufferBytes, 32768u);
    rig.step();
    EXPECT_EQ(rig.capture().back(), 0x1234);
}

// A buffer that cannot be made fails the start and leaves the channel idle.
TEST(DsChannels, FailedBufferIsAFailedStart)
{
    Rig rig;
    wavInfo zero{};
    const std::vector<int16_t> pcm(100, 1);
    zero.data = reinterpret_cast<const uint8_t*>(pcm.data());
    zero.dataLength = 200;
    EXPECT_LT(dsChanStartMem(&zero, 10, 0, 0, 0, 0, 9), 0);
    EXPECT_EQ(dsChannel(0).state, 0u);
    EXPECT_EQ(dsChannel(0).buffer, nullptr);
}

TEST(DsChannels, NothingWithoutDevice)
{
    Sounds s(1);
    EXPECT_EQ(dsChanStartMem(&s.info[0], 10, 0, 0, 0, 0, 9), DS_ERR_NO_DEVICE);
    EXPECT_EQ(dsChanSetVolume(0, 0), DS_ERR_NO_DEVICE);
    EXPECT_EQ(dsChanNotify(0), DS_ERR_NO_DEVICE);
    uint32_t playing = 7;
    EXPECT_EQ(dsChanQuery(0, &playing), DS_ERR_NO_DEVICE);
    EXPECT_FALSE(dsFeedPass());
}

} // namespace
