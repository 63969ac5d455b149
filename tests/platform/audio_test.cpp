// The sound output on the headless backend: rendered only when advanced.
#include "platform/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

namespace {

// A fill that writes a running counter into every sample and logs the
// sizes it was asked for.
struct Ramp {
    int16_t next = 0;
    std::vector<uint32_t> calls;
};

platform::AudioOutputDef ramp_output(std::shared_ptr<Ramp> ramp, uint16_t channels = 2, uint32_t buffer = 256)
{
    return {.format = {.rate = 22050, .channels = channels},
            .buffer_frames = buffer,
            .fill = [ramp, channels](int16_t* samples, uint32_t frames) {
                ramp->calls.push_back(frames);
                for (uint32_t i = 0; i < frames * channels; ++i)
                    samples[i] = ramp->next++;
            }};
}

class HeadlessAudio : public testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
    }
    void TearDown() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
    }
};

TEST_F(HeadlessAudio, OpensOnlyWithAUsableDefinitionAndOnlyOnce)
{
    auto ramp = std::make_shared<Ramp>();
    auto def = ramp_output(ramp);
    def.format.rate = 0;
    EXPECT_FALSE(platform::open_audio(def));
    def = ramp_output(ramp, 3);
    EXPECT_FALSE(platform::open_audio(def));
    def = ramp_output(ramp, 2, 0);
    EXPECT_FALSE(platform::open_audio(def));
    def = ramp_output(ramp);
    def.fill = nullptr;
    EXPECT_FALSE(platform::open_audio(def));
    EXPECT_EQ(platform::audio_state(), platform::AudioState::closed);

    ASSERT_TRUE(platform::open_audio(ramp_output(ramp)));
    EXPECT_EQ(platform::audio_state(), platform::AudioState::stopped);
    EXPECT_FALSE(platform::open_audio(ramp_output(ramp)));
    EXPECT_EQ(platform::audio_format(), (platform::AudioFormat{22050, 2}));
    EXPECT_EQ(platform::audio_latency_frames(), 256u);
}

TEST_F(HeadlessAudio, WithoutADeviceNothingOpens)
{
    platform::headless::set_audio_device_present(false);
    EXPECT_FALSE(platform::open_audio(ramp_output(std::make_shared<Ramp>())));
    EXPECT_EQ(platform::audio_state(), platform::AudioState::closed);
    EXPECT_EQ(platform::headless::advance_audio(100), 0u);
}

TEST_F(HeadlessAudio, TheFillRunsOnlyWhilePlayingInPiecesOfTheBufferSize)
{
    auto ramp = std::make_shared<Ramp>();
    ASSERT_TRUE(platform::open_audio(ramp_output(ramp)));
    // Stopped: silence reaches the capture, the fill is not asked.
    EXPECT_EQ(platform::headless::advance_audio(10), 10u);
    EXPECT_TRUE(ramp->calls.empty());

    platform::start_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::playing);
    EXPECT_EQ(platform::headless::advance_audio(1000), 1000u);
    EXPECT_EQ(ramp->calls, (std::vector<uint32_t>{256, 256, 256, 232}));
    EXPECT_EQ(platform::audio_frames_played(), 1000u);

    const auto captured = platform::headless::captured_audio();
    ASSERT_EQ(captured.size(), 2u * 1010);
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(captured[i], 0);
    for (size_t i = 20; i < captured.size(); ++i)
        ASSERT_EQ(captured[i], int16_t(i - 20));
}

// What the fill throws (memory that ran out for a buffer) once left SDL's
// device thread and ended the process through std::terminate: that piece
// is silence, half-written samples and all, and the next is played.
TEST_F(HeadlessAudio, APieceWhoseFillThrowsIsSilence)
{
    auto ramp = std::make_shared<Ramp>();
    auto def = ramp_output(ramp);
    def.fill = [ramp, fill = def.fill](int16_t* samples, uint32_t frames) {
        fill(samples, frames);
        if (ramp->calls.size() == 1)
            throw std::bad_alloc();
    };
    ASSERT_TRUE(platform::open_audio(def));
    platform::start_audio();
    EXPECT_EQ(platform::headless::advance_audio(512), 512u);
    EXPECT_EQ(platform::audio_frames_played(), 256u);
    const auto captured = platform::headless::captured_audio();
    ASSERT_EQ(captured.size(), 2u * 512);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(captured[i], 0) << i;
    for (size_t i = 512; i < captured.size(); ++i)
        ASSERT_EQ(captured[i], int16_t(i)) << i;
}

TEST_F(HeadlessAudio, PauseKeepsThePlayedCountStopStartsItAgain)
{
    auto ramp = std::make_shared<Ramp>();
    ASSERT_TRUE(platform::open_audio(ramp_output(ramp, 1)));
    platform::start_audio();
    (void)platform::headless::advance_audio(100);
    platform::pause_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::paused);
    (void)platform::headless::advance_audio(50);
    EXPECT_EQ(platform::audio_frames_played(), 100u);
    platform::start_audio();
    (void)platform::headless::advance_audio(20);
    EXPECT_EQ(platform::audio_frames_played(), 120u);
    // Resumed where it was: the ramp goes on without a gap.
    const auto captured = platform::headless::captured_audio();
    ASSERT_EQ(captured.size(), 170u);
    EXPECT_EQ(captured[99], 99);
    EXPECT_EQ(captured[149], 0);
    EXPECT_EQ(captured[150], 100);
    platform::stop_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::stopped);
    EXPECT_EQ(platform::audio_frames_played(), 0u);
}

TEST_F(HeadlessAudio, ClosingLetsTheFillGo)
{
    auto ramp = std::make_shared<Ramp>();
    ASSERT_TRUE(platform::open_audio(ramp_output(ramp)));
    platform::start_audio();
    EXPECT_GT(ramp.use_count(), 1);
    platform::close_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::closed);
    EXPECT_EQ(ramp.use_count(), 1);
    EXPECT_EQ(platform::headless::advance_audio(10), 0u);
    platform::start_audio();
    EXPECT_EQ(platform::audio_state(), platform::AudioState::closed);
    // And it can be opened again.
    EXPECT_TRUE(platform::open_audio(ramp_output(ramp)));
}

TEST_F(HeadlessAudio, CaptureIsWrittenAsPcmWav)
{
    auto ramp = std::make_shared<Ramp>();
    ASSERT_TRUE(platform::open_audio(ramp_output(ramp, 2)));
    platform::start_audio();
    (void)platform::headless::advance_audio(300);
    const auto path = std::filesystem::temp_directory_path() / "platform_audio_capture.wav";
    ASSERT_TRUE(platform::headless::write_captured_wav(path.string()));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    auto le32 = [&](size_t at) { return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24; };
    auto le16 = [&](size_t at) { return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8; };
    ASSERT_EQ(f.size(), 44u + 1200u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
    EXPECT_EQ(le32(4), 36u + 1200u);
    EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(16), 16u);
    EXPECT_EQ(le16(20), 1u);
    EXPECT_EQ(le16(22), 2u);
    EXPECT_EQ(le32(24), 22050u);
    EXPECT_EQ(le32(28), 22050u * 4);
    EXPECT_EQ(le16(32), 4u);
    EXPECT_EQ(le16(34), 16u);
    EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
    EXPECT_EQ(le32(40), 1200u);
    EXPECT_EQ(le16(44 + 2 * 7), 7u);
    platform::headless::clear_captured_audio();
    EXPECT_TRUE(platform::headless::captured_audio().empty());
}

} // namespace
