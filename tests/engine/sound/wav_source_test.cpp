// WAV images: the parse table, and files that play as silence.
#include "sound_fixture.h"

#include "engine/sound/snd_sources.h"
#include "tests/engine/sound/mpeg/mpeg_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace soundtest;

namespace {

TEST(WavParse, Table)
{
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6};
    struct Row {
        const char* what;
        WavSpec spec;
        bool ok;
        uint32_t length;  // of the data, when it parses
        size_t cut;       // bytes taken off the image's end
    };
    const Row rows[] = {
        {"plain", {}, true, 6, 0},
        {"18-byte fmt", {.fmt_size = 18}, true, 6, 0},
        {"odd chunk with pad first", {.extra_chunk = true}, true, 6, 0},
        {"stereo 8-bit", {.channels = 2, .bits = 8}, true, 6, 0},
        {"14-byte fmt", {.fmt_size = 14}, false, 0, 0},
        {"no data chunk", {.with_data = false}, false, 0, 0},
        {"no fmt chunk", {.with_fmt = false}, false, 0, 0},
        {"not WAVE", {.form = "AVI "}, false, 0, 0},
        {"not PCM", {.tag = 2}, false, 0, 0},
        {"zero channels", {.channels = 0}, false, 0, 0},
        {"data claims more", {.data_size_delta = 1000}, true, 6, 0},
        {"truncated data", {}, true, 3, 3},
        {"truncated in the header", {}, false, 0, 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto image = wav_image(row.spec, data);
        image.resize(image.size() - row.cut);
        std::unique_ptr<wavInfo> info(wavParse(nullptr, image.data(), image.size()));
        ASSERT_EQ(info != nullptr, row.ok);
        if (!info)
            continue;
        EXPECT_EQ(info->dataLength, row.length);
        EXPECT_EQ(info->channels, row.spec.channels);
        EXPECT_EQ(info->bitsPerSample, row.spec.bits);
        EXPECT_EQ(info->samplesPerSec, row.spec.rate);
        EXPECT_EQ(std::vector<uint8_t>(info->data, info->data + info->dataLength),
                  std::vector<uint8_t>(data.begin(), data.begin() + row.length));
    }
}

// A missing or damaged file opens as the silent sound and leaves no file.
TEST(WavOpen, MissingOrDamagedIsSilent)
{
    const auto dir = mpegtest::work_dir();
    const std::string missing = (dir / "missing.wav").string();
    const std::string damaged = (dir / "damaged.wav").string();
    write_file(damaged, wav_image({.fmt_size = 14}, {1, 2}));
    for (const std::string& path : {missing, damaged}) {
        wavSource* source = wavOpen(path.c_str());
        ASSERT_NE(source, nullptr);
        const wavInfo* info = wavSourceInfo(source);
        EXPECT_EQ(info->channels, 1);
        EXPECT_EQ(info->samplesPerSec, 22050u);
        EXPECT_EQ(info->bitsPerSample, 16);
        EXPECT_EQ(info->dataLength, 4u);
        EXPECT_EQ(info->data[0] | info->data[1] | info->data[2] | info->data[3], 0);
        wavClose(source);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
}

} // namespace
