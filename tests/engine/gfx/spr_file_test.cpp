#include "gfx_test_support.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

struct Frame {
    int32_t hotX, hotY, width;
    std::vector<std::vector<uint8_t>> rows; // codes
};

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A sprite-set file as the tools write it; the ignored header words hold
// junk on purpose.
std::vector<uint8_t> sprite_set(const std::vector<Frame>& frames)
{
    std::vector<uint8_t> b(spr_FILE_HEADER + 4 * frames.size(), 0xCD);
    for (size_t i = 0; i < 256; ++i) {
        b[16 + 4 * i] = static_cast<uint8_t>(i);
        b[17 + 4 * i] = static_cast<uint8_t>(255 - i);
        b[18 + 4 * i] = static_cast<uint8_t>(i * 7);
    }
    b[16] = 0xFF; // entry 0: pure red
    b[17] = 0;
    b[18] = 0;
    for (size_t f = 0; f < frames.size(); ++f) {
        put32(b, spr_FILE_HEADER + 4 * f, static_cast<uint32_t>(b.size()));
        const size_t at = b.size();
        b.resize(at + spr_FRAME_HEADER + 4 * frames[f].rows.size(), 0xEE);
        put32(b, at + 8, static_cast<uint32_t>(frames[f].hotX));
        put32(b, at + 12, static_cast<uint32_t>(frames[f].hotY));
        put32(b, at + 16, static_cast<uint32_t>(frames[f].width));
        put32(b, at + 20, static_cast<uint32_t>(frames[f].rows.size()));
        uint32_t off = 0;
        for (size_t r = 0; r < frames[f].rows.size(); ++r) {
            put32(b, at + spr_FRAME_HEADER + 4 * r, off);
            off += static_cast<uint32_t>(frames[f].rows[r].size());
        }
        for (const auto& row : frames[f].rows)
            b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

class SprFileTest : public GfxTest {
protected:
    std::string write(const std::vector<uint8_t>& bytes)
    {
        // Test processes run in parallel: a random tag keeps their files apart.
        static const unsigned tag = std::random_device {}();
        static std::atomic<int> n { 0 };
        const auto path = std::filesystem::temp_directory_path()
            / ("spr_file_test_" + std::to_string(tag) + "_" + std::to_string(n++) + ".spr");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        paths_.push_back(path);
        return path.string();
    }
    void TearDown() override
    {
        for (const auto& p : paths_)
            std::filesystem::remove(p);
        gScrFmt = gScrFmtTy {};
        GfxTest::TearDown();
    }
    std::vector<std::filesystem::path> paths_;
};

const std::vector<Frame> two_frames {
    { 3, -2, 4, { { 0x01, 0x83, 5, 6, 7 }, { 0xC4, 9 } } },
    { 0, 0, 2, { { 0x02 } } },
};

TEST_F(SprFileTest, FramesAndPaletteFromAWrittenFile)
{
    sprFileCTy* file = sprFileOpen(write(sprite_set(two_frames)).c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->palette[0], 0xF800);
    // Entry 1 = red 1, green 254, blue 7 on 5:6:5.
    EXPECT_EQ(file->palette[1], static_cast<uint16_t>(0 << 11 | (254 >> 2) << 5 | 0));
    EXPECT_EQ(file->palette[255], static_cast<uint16_t>((255 >> 3) << 11 | 0 << 5 | ((255 * 7 & 255) >> 3)));

    sprFrameTy f;
    ASSERT_EQ(sprFileGetFrame(file, 0, &f), 0);
    EXPECT_EQ(f.hotX, 3);
    EXPECT_EQ(f.hotY, -2);
    EXPECT_EQ(f.width, 4);
    EXPECT_EQ(f.height, 2);
    EXPECT_EQ(f.palette, file->palette);
    EXPECT_EQ(f.words[0], 0xEEEEEEEEu);
    std::vector<uint8_t> pic(8, 0);
    for (int32_t r = 0; r < f.height; ++r)
        rle8DecodeRow(sprFrameRow(&f, r), 0, f.width, pic.data() + 4 * r);
    EXPECT_EQ(pic, (std::vector<uint8_t> { 0, 5, 6, 7, 9, 9, 9, 9 }));
    ASSERT_EQ(sprFileGetFrame(file, 1, &f), 0);
    EXPECT_EQ(f.width, 2);
    EXPECT_EQ(sprFrameRow(&f, 0)[0], 0x02);
    EXPECT_TRUE(reports().empty());

    // No entry for a third frame.
    EXPECT_EQ(sprFileGetFrame(file, 2, &f), ERR_DATA);
    EXPECT_EQ(sprFileGetFrame(file, 0xFFFFFFFF, &f), ERR_DATA);
    EXPECT_EQ(f.width, 2);
    sprFileClose(file);
}

TEST_F(SprFileTest, PaletteFollowsTheScreenLayout)
{
    gScrFmtSet(15, 0x7C00, 0x03E0, 0x001F);
    sprFileCTy* file = sprFileOpen(write(sprite_set({})).c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->palette[0], 0x7C00);
    sprFileClose(file);
}

TEST_F(SprFileTest, DamagedFilesAreRefused)
{
    EXPECT_EQ(sprFileOpen("/nonexistent/dir/x.spr"), nullptr);
    ASSERT_FALSE(reports().empty());
    EXPECT_EQ(reports().back().code, ERR_OPEN);

    reports().clear();
    EXPECT_EQ(sprFileOpen(write(std::vector<uint8_t>(1000, 0)).c_str()), nullptr);
    ASSERT_FALSE(reports().empty());
    EXPECT_EQ(reports().back().code, ERR_DATA);

    const auto good = sprite_set(two_frames);
    const size_t frame0 = spr_FILE_HEADER + 8;
    auto refused = [&](std::vector<uint8_t> bytes, uint32_t index) {
        sprFileCTy* file = sprFileOpen(write(bytes).c_str());
        ASSERT_NE(file, nullptr);
        sprFrameTy f {};
        EXPECT_EQ(sprFileGetFrame(file, index, &f), ERR_DATA);
        EXPECT_EQ(f.rowData, nullptr);
        sprFileClose(file);
    };
    auto b = good;
    put32(b, spr_FILE_HEADER, static_cast<uint32_t>(good.size() - 10)); // frame past the end
    refused(b, 0);
    b = good;
    put32(b, frame0 + 20, 1000); // row table past the end
    refused(b, 0);
    // Rows may run on into the next bytes, but not past the file's end.
    b = good;
    put32(b, good.size() - 1 - 4 - spr_FRAME_HEADER + 16, 3);
    refused(b, 1);
    b = good;
    put32(b, frame0 + spr_FRAME_HEADER + 4, 500); // row offset past the data
    refused(b, 0);
    // Frame 1's single row is its file's last byte: a literal there runs out.
    b = good;
    b.back() = 0x82;
    refused(b, 1);
}

} // namespace

TEST(ScrPicture, FreesThePelsOnlyWhenTheItemOwnsThem)
{
    static std::vector<void*> freed;
    freed.clear();
    const memHooksTy saved = memHooks;
    memHooks.free = [](void* block) {
        freed.push_back(block);
        std::free(block);
    };
    void* pels = memAlloc(16);
    for (uint32_t owner : { 0u, 1u }) {
        auto* item = static_cast<scrPictureTy*>(memAlloc(sizeof(scrPictureTy)));
        *item = scrPictureTy { owner, pels };
        scrFreePicture(item);
        EXPECT_EQ(freed, owner ? (std::vector<void*> { pels, item }) : (std::vector<void*> { item }));
        freed.clear();
    }
    scrFreePicture(nullptr);
    EXPECT_TRUE(freed.empty());
    memHooks = saved;
}
