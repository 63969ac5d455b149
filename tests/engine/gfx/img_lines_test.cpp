#include "gfx_test_support.h"

#include <set>
#include <utility>

namespace {

using ImgLinesTest = GfxTest;

constexpr uint8_t guard = 0xA5;

// A w x h image of `format` inside a larger block: the pels in the middle,
// guard bytes around them, so that any write outside the image shows.
struct Guarded {
    imgRowCTy img;
    std::vector<uint8_t> block;
    size_t margin;
    Guarded(int32_t w, int32_t h, uint32_t format)
    {
        pelFmtCTy fmt(format);
        img.SetSize(w, h, &fmt);
        const size_t size = img.BodySize();
        margin = 64;
        block.assign(size + 2 * margin, guard);
        std::memset(block.data() + margin, 0, size);
        memFree(img.pels);
        img.pels = block.data() + margin;
        img.inPlace = 1; // the block is not the image's to free
    }
    ~Guarded() { img.pels = nullptr; }
    uint32_t bpp() const { return pelSize(img.pelFmt.format); }
    const uint8_t* at(int32_t x, int32_t y) const
    {
        return block.data() + margin + (static_cast<size_t>(y) * img.width + x) * bpp();
    }
    bool written(int32_t x, int32_t y) const
    {
        for (uint32_t i = 0; i < bpp(); ++i)
            if (at(x, y)[i] != 0)
                return true;
        return false;
    }
    std::set<std::pair<int32_t, int32_t>> points() const
    {
        std::set<std::pair<int32_t, int32_t>> out;
        for (int32_t y = 0; y < img.height; ++y)
            for (int32_t x = 0; x < img.width; ++x)
                if (written(x, y))
                    out.insert({ x, y });
        return out;
    }
    bool guards_intact() const
    {
        for (size_t i = 0; i < margin; ++i)
            if (block[i] != guard || block[block.size() - 1 - i] != guard)
                return false;
        return true;
    }
};

using Points = std::set<std::pair<int32_t, int32_t>>;

TEST_F(ImgLinesTest, DashPatternsCountFromTheLineStart)
{
    for (uint32_t format : { pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, pel_FMT_P8, pel_FMT_R8G8B8, pel_FMT_Z32 }) {
        Guarded g(40, 40, format);
        g.img.DrawHLine(0xFFFFFFFF, 1, 2, 5, 0x55555555);
        EXPECT_EQ(g.points(), (Points { { 1, 2 }, { 3, 2 }, { 5, 2 } })) << format;
        g.img.DrawHLine(0xFFFFFFFF, 0, 3, 40, 0);
        g.img.DrawVLine(0xFFFFFFFF, 7, 0, 36, 0x80000001); // rows 0, 31, 32
        EXPECT_TRUE(g.written(7, 0));
        EXPECT_TRUE(g.written(7, 31));
        EXPECT_TRUE(g.written(7, 32));
        EXPECT_FALSE(g.written(7, 1));
        EXPECT_FALSE(g.written(7, 33));
        EXPECT_EQ(g.points().size(), 6u);
        EXPECT_TRUE(g.guards_intact());
    }
}

TEST_F(ImgLinesTest, PelsAreStoredUnchanged)
{
    Guarded rgb(4, 4, pel_FMT_R8G8B8);
    rgb.img.DrawVLine(0xFF102030, 1, 0, 4, 0xFFFFFFFF);
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(std::vector<uint8_t>(rgb.at(1, y), rgb.at(1, y) + 3), (std::vector<uint8_t> { 0x30, 0x20, 0x10 }));
    EXPECT_FALSE(rgb.written(2, 0));

    Guarded x555(4, 4, pel_FMT_X1R5G5B5);
    x555.img.DrawLine(0xFFFF8001, 0, 0, 3, 0, 0);
    uint16_t v;
    std::memcpy(&v, x555.at(3, 0), 2);
    EXPECT_EQ(v, 0x8001); // bit 15 included

    Guarded argb(4, 4, pel_FMT_A8R8G8B8);
    const uint32_t colour = 0x80123456;
    argb.img.DrawHLineRgb(&colour, 0, 1, 2, 0xFFFFFFFF);
    uint32_t w;
    std::memcpy(&w, argb.at(1, 1), 4);
    EXPECT_EQ(w, argb.img.ColorToPel(colour));
    argb.img.DrawVLineRgb(&colour, 3, 0, 4, 0xFFFFFFFF);
    EXPECT_EQ(argb.points().size(), 6u);
}

TEST_F(ImgLinesTest, FreeLinesWalkThePelCountNotTheDistance)
{
    Guarded g(12, 12, pel_FMT_R5G6B5);
    g.img.DrawLine(0xFFFF, 0, 0, 10, 10, 0);
    EXPECT_EQ(g.points(), (Points { { 0, 0 }, { 1, 1 }, { 2, 2 }, { 3, 3 }, { 4, 4 }, { 5, 5 }, { 6, 5 }, { 7, 6 },
                                    { 8, 7 }, { 9, 8 }, { 10, 9 } }));
    Guarded a(12, 12, pel_FMT_R5G6B5);
    a.img.DrawLine(0xFFFF, 10, 0, 0, 10, 0);
    EXPECT_EQ(a.points(), (Points { { 0, 10 }, { 1, 9 }, { 2, 8 }, { 3, 7 }, { 4, 6 }, { 5, 5 }, { 6, 5 }, { 7, 4 },
                                    { 8, 3 }, { 9, 2 }, { 10, 1 } }));
    Guarded b(12, 12, pel_FMT_P8);
    b.img.DrawLine(0xFF, 0, 0, 3, 10, 0);
    EXPECT_EQ(b.points(), (Points { { 0, 0 }, { 0, 1 }, { 1, 2 }, { 1, 3 }, { 1, 4 }, { 1, 5 }, { 2, 6 }, { 2, 7 },
                                    { 2, 8 }, { 2, 9 }, { 3, 10 } }));
    // The same line given from its other end.
    Guarded c(12, 12, pel_FMT_P8);
    c.img.DrawLine(0xFF, 3, 10, 0, 0, 0);
    EXPECT_EQ(c.points().size(), 11u);
    Guarded d(12, 12, pel_FMT_P8);
    d.img.DrawLine(0xFF, 4, 4, 4, 4, 0);
    EXPECT_EQ(d.points(), (Points { { 4, 4 } }));
    d.img.DrawLine(0xFF, 1, 7, 9, 7, 0); // the pattern is not used
    EXPECT_EQ(d.points().size(), 10u);
}

TEST_F(ImgLinesTest, LinesPastTheEdgesAreClipped)
{
    Guarded g(8, 6, pel_FMT_X8R8G8B8);
    g.img.DrawHLine(1, -5, 2, 20, 0xFFFFFFFF);
    g.img.DrawHLine(1, -3, 4, 6, 0x55555555);
    g.img.DrawVLine(1, 6, -10, 100, 0xFFFFFFFF);
    g.img.DrawVLine(1, 9, 0, 3, 0xFFFFFFFF);
    g.img.DrawHLine(1, 0, 6, 3, 0xFFFFFFFF);
    g.img.DrawHLine(1, 0, 0, -4, 0xFFFFFFFF);
    g.img.DrawLine(1, -4, -4, 20, 20, 0);
    g.img.DrawLine(1, 100, 100, 200, 300, 0);
    g.img.DrawLine(1, INT32_MIN, 0, INT32_MAX, 0, 0); // walks only the image's columns
    g.img.DrawLine(1, 7, INT32_MIN, 7, INT32_MAX, 0);
    EXPECT_TRUE(g.guards_intact());
    for (int32_t x = 0; x < 8; ++x)
        EXPECT_TRUE(g.written(x, 2));
    // Row 4: pels -3..2 with bits 0..5; the even bits fall on -3, -1, 1.
    EXPECT_TRUE(g.written(1, 4));
    EXPECT_FALSE(g.written(2, 4));
    EXPECT_FALSE(g.written(0, 4));
    for (int32_t y = 0; y < 6; ++y) {
        EXPECT_TRUE(g.written(6, y));
        EXPECT_TRUE(g.written(7, y));
    }
    // The diagonal through the corner: (0, 0) to (5, 5) inside.
    EXPECT_TRUE(g.written(3, 3));
    EXPECT_TRUE(g.written(0, 0));
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgLinesTest, FormatsWithoutPelsReport)
{
    imgRowCTy img;
    pelFmtCTy fmt(7);
    img.SetSize(4, 4, &fmt);
    std::memset(img.pels, 0, img.BodySize());
    img.DrawHLine(0xFFFF, 0, 0, 4, 0xFFFFFFFF);
    img.DrawVLine(0xFFFF, 0, 0, 4, 0xFFFFFFFF);
    img.DrawLine(0xFFFF, 0, 0, 3, 3, 0);
    EXPECT_EQ(messages(), (std::vector<std::string> { "imgCTy::DrawHLine: This is not impelmetned yet",
                                                      "imgCTy::DrawVLine: This is not impelmetned yet",
                                                      "imgCTy::DrawLine: This is not impelmetned yet" }));
    EXPECT_EQ(std::count(img.pels, img.pels + img.BodySize(), 0), 32);
    EXPECT_EQ(img.lockPtr, nullptr);
}

TEST_F(ImgLinesTest, LinesOnAnRle8ImageReEncodeIt)
{
    imgRle8CTy img;
    auto pal = make_palette({ 0, 0xFFFFFF });
    pelFmtCTy fmt(pel_FMT_P8, pal.get());
    img.SetSize(10, 10, &fmt);
    img.SetColorKeyPel(0);
    img.Lock(nullptr, img_LOCK_WRITE);
    img.Unlock();
    img.DrawHLine(1, 2, 3, 4, 0xFFFFFFFF);
    const rectTy box = img.GetRect();
    EXPECT_EQ(box.x, 2);
    EXPECT_EQ(box.y, 3);
    EXPECT_EQ(box.w, 4);
    EXPECT_EQ(box.h, 1);
}

} // namespace
