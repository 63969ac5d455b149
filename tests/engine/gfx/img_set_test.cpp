// Image sets written through the legacy object writer in both versions,
// shared palettes, and damaged sets.
#include "gfx_test_support.h"

#include <filesystem>
#include <functional>

namespace {

struct Entry {
    imgCTy* image;
    uint32_t classIndex;
    uint16_t palIndex = imgs_NO_PALETTE;
};

// What a set file holds; the fields past the images let a test damage it.
struct SetSpec {
    bool versioned = true;
    uint32_t version = imgs_VERSION_1;
    std::vector<std::string> names = { "imgRowCTy", "imgAlpha", "imgRle8CTy" };
    std::vector<palCTy*> palettes;
    std::vector<Entry> entries;
    int64_t countOverride = -1;
    uint32_t offsetShift = 0; // added to the last offset
};

// Composes a ".imgs" file with the image classes' own header and body
// writers, as a data-building tool does.
void write_set(const std::string& path, const SetSpec& s)
{
    rwCTy* w = rwWrOpen(path.c_str(), RW_PACKED, RW_PACKER_ZLIB);
    const auto n = uint32_t(s.countOverride >= 0 ? s.countOverride : int64_t(s.entries.size()));
    if (s.versioned)
        rwWriteU32(w, s.version);
    rwWriteU32(w, n);
    rwWriteU32(w, uint32_t(s.palettes.size()));
    for (palCTy* pal : s.palettes)
        pal->Write(w);
    if (!s.palettes.empty())
        for (const Entry& e : s.entries) {
            const uint8_t b[2] = { uint8_t(e.palIndex), uint8_t(e.palIndex >> 8) };
            rwWrite(w, b, 2);
        }
    const size_t offsetsAt = w->position;
    for (size_t i = 0; i < s.entries.size(); ++i)
        rwWriteU32(w, 0);
    for (const std::string& name : s.names)
        rwWriteStr(w, name.c_str());
    rwWriteU32(w, RW_NULL_STRING);
    std::vector<uint32_t> offsets;
    if (s.versioned && s.version == imgs_VERSION_1) {
        for (const Entry& e : s.entries) {
            rwWriteU32(w, e.classIndex);
            e.image->WriteHeader(w);
        }
        for (const Entry& e : s.entries) {
            offsets.push_back(uint32_t(w->position));
            e.image->WriteBody(w);
        }
    } else {
        for (const Entry& e : s.entries) {
            offsets.push_back(uint32_t(w->position));
            rwWriteU32(w, e.classIndex);
            e.image->Write(w);
        }
    }
    if (!offsets.empty())
        offsets.back() += s.offsetShift;
    const size_t end = w->position;
    rwSeek(w, offsetsAt);
    for (uint32_t o : offsets)
        rwWriteU32(w, o);
    rwSeek(w, end);
    ASSERT_EQ(rwClose(w), 0);
}

std::vector<uint8_t> pels_of(imgCTy* img)
{
    img->Lock(nullptr, img_LOCK_READ);
    const size_t bpp = pelSize(img->pelFmt.format);
    const auto* p = static_cast<const uint8_t*>(img->lockPtr);
    std::vector<uint8_t> out;
    for (int32_t y = 0; p && y < img->height; ++y)
        out.insert(out.end(), p + size_t(y) * size_t(img->pitch) * bpp,
                   p + (size_t(y) * size_t(img->pitch) + size_t(img->width)) * bpp);
    img->Unlock();
    return out;
}

class ImgSetTest : public GfxTest {
protected:
    std::string path = (std::filesystem::temp_directory_path()
                        / ("quarn_imgs_" + std::to_string(testing::UnitTest::GetInstance()->random_seed()) + "_"
                           + testing::UnitTest::GetInstance()->current_test_info()->name() + ".imgs"))
                           .string();
    std::unique_ptr<palCTy> shared = make_palette({ 0xFF000000, 0xFF112233, 0xFFFFFFFF });
    imgRowCTy a, b, plain;
    imgAlpha alpha;

    void SetUp() override
    {
        GfxTest::SetUp();
        const pelFmtCTy p8(pel_FMT_P8);
        for (imgRowCTy* img : { &a, &b }) {
            img->SetSize(3, 2, &p8);
            img->AttachPalette(shared.get()); // written as a shared palette
        }
        a.Fill(1, nullptr);
        b.Fill(2, nullptr);
        const pelFmtCTy rgb(pel_FMT_R5G6B5);
        plain.SetSize(2, 2, &rgb);
        plain.Fill(0xF81F, nullptr);
        alpha.SetSize(2, 1, nullptr);
        alpha.Lock(nullptr, img_LOCK_WRITE);
        static_cast<uint32_t*>(alpha.lockPtr)[1] = 0x80102030;
        alpha.Unlock();
    }
    void TearDown() override
    {
        std::filesystem::remove(path);
        GfxTest::TearDown();
    }
    SetSpec full() const
    {
        SetSpec s;
        s.palettes = { shared.get() };
        s.entries = { { const_cast<imgRowCTy*>(&a), 0, 0 }, { const_cast<imgAlpha*>(&alpha), 1 },
                      { const_cast<imgRowCTy*>(&b), 0, 0 }, { const_cast<imgRowCTy*>(&plain), 0 } };
        return s;
    }
    void check_loaded(imgsCTy& set)
    {
        ASSERT_EQ(set.count, 4);
        EXPECT_STREQ(set.GetImage(1)->GetClassName(), "imgAlpha");
        EXPECT_EQ(set.GetImage(4), nullptr);
        EXPECT_EQ(set.GetImage(-1), nullptr);
        for (int i : { 0, 2 }) {
            // Both share the set's one palette without owning it.
            EXPECT_EQ(set.GetImage(i)->pelFmt.palette, set.palettes[0]);
            EXPECT_EQ(set.GetImage(i)->pelFmt.ownsPal, 0u);
        }
        EXPECT_EQ(set.GetImage(2)->ColorAtXY(2, 1), 0xFFFFFFFFu);
        EXPECT_EQ(pels_of(set.GetImage(0)), pels_of(&a));
        EXPECT_EQ(pels_of(set.GetImage(1)), pels_of(&alpha));
        EXPECT_EQ(pels_of(set.GetImage(3)), pels_of(&plain));
    }
};

TEST_F(ImgSetTest, BothVersionsLoadWithSharedPalettesFreedOnce)
{
    for (bool versioned : { true, false }) {
        SCOPED_TRACE(versioned ? "version 0xFFFF0001" : "unversioned");
        SetSpec s = full();
        s.versioned = versioned;
        write_set(path, s);
        imgsCTy set;
        ASSERT_EQ(set.Load(path.c_str()), 0);
        check_loaded(set);
        EXPECT_EQ(set.stream, nullptr);
        set.Clear(); // images first, then the one palette (ASan sees a double free)
        EXPECT_EQ(set.count, 0);
        EXPECT_EQ(set.palettes, nullptr);
        // The same from a stream that is open already.
        StreamPtr r(rwRdOpen(path.c_str()));
        ASSERT_EQ(set.LoadStream(r.get()), 0);
        check_loaded(set);
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgSetTest, WithoutPalettesThereIsNoIndexArray)
{
    SetSpec s;
    s.versioned = false; // a first word of 0xFFFF0000 would be a count
    s.entries = { { &plain, 0 }, { &alpha, 1 } };
    write_set(path, s);
    imgsCTy set;
    ASSERT_EQ(set.Load(path.c_str()), 0);
    EXPECT_EQ(set.palIndexes, nullptr);
    ASSERT_EQ(set.count, 2);
    EXPECT_EQ(pels_of(set.GetImage(0)), pels_of(&plain));
    // Another version reads the palettes and names, but no images.
    s.versioned = true;
    s.version = 0xFFFF0007;
    write_set(path, s);
    imgsCTy other;
    EXPECT_EQ(other.Load(path.c_str()), 0);
    EXPECT_EQ(other.count, 0);
}

TEST_F(ImgSetTest, DamagedSetsAreRefusedAndCleared)
{
    struct Case {
        const char* what;
        std::function<void(SetSpec&)> damage;
        int code;
    };
    const Case cases[] = {
        { "unknown class", [](SetSpec& s) { s.names[0] = "imgNothing"; }, ERR_USER_MSG },
        { "class index past the table", [](SetSpec& s) { s.entries[3].classIndex = 3; }, ERR_DATA },
        { "51 names", [](SetSpec& s) { s.names.resize(51, "imgRowCTy"); }, ERR_DATA },
        { "palette index past the palettes", [](SetSpec& s) { s.entries[2].palIndex = 1; }, ERR_DATA },
        { "shared palette never given", [](SetSpec& s) { s.entries[2].palIndex = imgs_NO_PALETTE; }, ERR_DATA },
        { "huge image count", [](SetSpec& s) { s.countOverride = 0x7FFFFFF0; }, ERR_DATA },
        { "offset past the data", [](SetSpec& s) { s.offsetShift = 1000000; }, ERR_DATA },
        { "offset into the wrong place", [](SetSpec& s) { s.offsetShift = 4; }, ERR_END_OF_DATA },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetSpec s = full();
        c.damage(s);
        write_set(path, s);
        reports().clear();
        imgsCTy set;
        EXPECT_LT(set.Load(path.c_str()), 0);
        EXPECT_EQ(set.count, 0);
        EXPECT_EQ(set.images, nullptr);
        EXPECT_EQ(set.palettes, nullptr);
        ASSERT_FALSE(reports().empty());
        EXPECT_EQ(reports()[0].code, c.code);
    }
    imgsCTy missing;
    EXPECT_LT(missing.Load((path + ".none").c_str()), 0);
}

} // namespace
