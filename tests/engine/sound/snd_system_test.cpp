// Named sounds and instances over the stepped channel layer.
#include "sound_fixture.h"

#include "engine/sound/snd_system.h"
#include "tests/engine/sound/mpeg/mpeg_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace soundtest;

namespace {

class SndSystem : public testing::Test {
protected:
    std::filesystem::path dir = mpegtest::work_dir() / "DATA";
    void SetUp() override
    {
        std::filesystem::create_directories(dir);
        dsConfig config;
        config.manualFeed = true;
        dsSetConfig(config);
        sndInit(nullptr);
    }
    void TearDown() override
    {
        sndDone();
        dsSetConfig(dsConfig{});
        std::filesystem::remove_all(dir);
    }
    std::string file(const char* name, size_t frames = 1000)
    {
        const std::string path = (dir / name).string();
        write_file(path, wav_image({}, bytes_of(pcm16(frames, uint32_t(frames)))));
        return path;
    }
    std::vector<std::string> loaded()
    {
        std::vector<std::string> names;
        for (auto* r : snd.sounds)
            names.push_back(std::filesystem::path(r->name).filename().string());
        return names;
    }
};

// With the base file and two variants, each play draws rand() % 3; a gap
// at 1 leaves only the base name.
TEST_F(SndSystem, VariantsByRand)
{
    const std::string base = file("hit.wav");
    file("hit1.wav");
    file("hit2.wav");
    std::srand(99);
    std::vector<int> expected;
    for (int i = 0; i < 10; ++i)
        expected.push_back(std::rand() % 3);
    std::srand(99);
    for (int i = 0; i < 10; ++i) {
        sndPlayFile(base.c_str());
        const sndInst* inst = snd.channelInstances[i];
        ASSERT_NE(inst, nullptr);
        const sndRec* rec = sndFindByHandle(inst->handle);
        const char* names[] = {"hit.wav", "hit1.wav", "hit2.wav"};
        EXPECT_EQ(std::filesystem::path(rec->name).filename().string(), names[expected[i]]) << i;
        // The folder and the name are joined with one separator.
        EXPECT_EQ(rec->name, (dir / names[expected[i]]).string());
    }
    // Switching the effects off and on frees the channels.
    sndSetVolume(0);
    sndSetVolume(100);
    std::filesystem::remove(dir / "hit1.wav");
    std::srand(5);
    for (int i = 0; i < 7; ++i)
        sndPlayFile(base.c_str());
    // One sound plays on at most six channels at one priority.
    for (int c = 0; c < 6; ++c) {
        ASSERT_NE(snd.channelInstances[c], nullptr);
        EXPECT_EQ(std::filesystem::path(sndFindByHandle(snd.channelInstances[c]->handle)->name).filename(), "hit.wav");
    }
    EXPECT_EQ(snd.channelInstances[6], nullptr);
    EXPECT_EQ(snd.sounds.size(), 1u);
    EXPECT_EQ(snd.sounds[0]->references, 6);
}

TEST_F(SndSystem, LoadOnceAndUnloadWithTheLastInstance)
{
    const std::string path = file("lap.wav");
    std::string upper = path;
    upper.replace(upper.size() - 7, 3, "LAP");
    sndInst* a = sndInstCreate(path.c_str(), 0, 0, false);
    sndInst* b = sndInstCreate(upper.c_str(), 0, 0, false);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->handle, b->handle);
    ASSERT_EQ(snd.sounds.size(), 1u);
    EXPECT_EQ(snd.sounds[0]->references, 2);
    sndInstStart(a);
    EXPECT_EQ(a->channel, 0);
    sndInstFree(a);
    EXPECT_EQ(snd.sounds[0]->references, 1);
    sndInstFree(b);
    EXPECT_TRUE(snd.sounds.empty());
    EXPECT_EQ(sndInstCreate((dir / "x.mid").string().c_str(), 0, 0, false), nullptr);
    EXPECT_TRUE(snd.sounds.empty());
}

TEST_F(SndSystem, VolumeSwitchesEffects)
{
    const std::string path = file("click.wav", 50000);
    sndPlayFile(path.c_str());
    ASSERT_NE(snd.channelInstances[0], nullptr);
    sndSetVolume(150);
    EXPECT_EQ(snd.effectsVolume, 100);
    sndSetVolume(40);
    EXPECT_EQ(dsChannel(0).volume, -6000);
    sndSetVolume(-5);
    EXPECT_EQ(snd.effectsVolume, 0);
    EXPECT_FALSE(snd.effectsEnabled);
    EXPECT_EQ(snd.channelInstances[0], nullptr);
    EXPECT_EQ(dsChannel(0).state, 0u);
    EXPECT_TRUE(snd.sounds.empty());
    sndPlayFile(path.c_str());
    EXPECT_EQ(snd.channelInstances[0], nullptr);
    sndSetVolume(50);
    EXPECT_TRUE(snd.effectsEnabled);
    sndPlayFile(path.c_str());
    EXPECT_NE(snd.channelInstances[0], nullptr);
    EXPECT_EQ(dsChannel(0).volume, -5000);
}

TEST_F(SndSystem, DistanceVolumePanPriority)
{
    struct Row {
        int32_t x, y, volume, pan;
        uint8_t priority;
    };
    const Row rows[] = {
        {0, 0, 100, 0, 255},        {4000, 0, 50, 50, 127},    {0, -4000, 50, 0, 127},
        {-3000, 4000, 38, -37, 95}, {7937, 0, 1, 99, 1},       {7999, 0, 1, 99, 0},
        {8000, 0, 0, 100, 0},       {-20000, 0, 0, -100, 0},
    };
    sndInst inst;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.x);
        inst.x = r.x;
        inst.y = r.y;
        EXPECT_EQ(sndDistVolume(&inst), r.volume);
        EXPECT_EQ(sndPan(&inst), r.pan);
        EXPECT_EQ(sndPriority(&inst), r.priority);
    }
    // A priority outside 0..255 is computed; inside it is used as given.
    sndInst* near = sndInstCreate(file("gate.wav").c_str(), 100, 0, false);
    sndInstPlay(near, 0, 0, 0, 300);
    EXPECT_EQ(dsChannel(near->channel).priority, 251);
    sndInstPlay(near, 0, 0, 0, 17);
    EXPECT_EQ(dsChannel(near->channel).priority, 17);
    sndInstFree(near);
}

TEST(SndSystemIdle, NothingBeforeInitOrAfterDone)
{
    sndSetVolume(50);
    sndPlayFile("DATA/hit.wav");
    EXPECT_EQ(sndInstCreate("DATA/hit.wav", 0, 0, true), nullptr);
    EXPECT_EQ(sndDistVolume(nullptr), 0);
    sndInst inst;
    EXPECT_EQ(sndPriority(&inst), 0);
    EXPECT_TRUE(snd.sounds.empty());
    EXPECT_EQ(sndOutputFormat().rate, 0u);
    sndDone();
}

} // namespace
