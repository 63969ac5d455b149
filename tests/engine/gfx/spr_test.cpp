// Sprites and the dirty grid: rectangles, marks and their rectangles.
#include "spr_test_support.h"

#include <tuple>
#include <vector>

namespace {

bool operator==(const rectTy& a, const rectTy& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

TEST(SprRect, IntersectTable)
{
    struct Case {
        rectTy a, b, out;
        int result;
    } cases[] = {
        { { 0, 0, 10, 10 }, { 5, 5, 10, 10 }, { 5, 5, 5, 5 }, 1 },
        { { 5, 5, 10, 10 }, { 0, 0, 10, 10 }, { 5, 5, 5, 5 }, 1 },
        { { 0, 0, 10, 10 }, { 2, 3, 4, 5 }, { 2, 3, 4, 5 }, 1 },
        { { 0, 0, 10, 10 }, { 10, 0, 5, 5 }, { 10, 0, 0, 0 }, 0 }, // touching edges
        { { 0, 0, 10, 10 }, { -5, 20, 5, 5 }, { 0, 20, 0, 0 }, 0 },
        { { 0, 0, 0, 0 }, { 0, 0, 10, 10 }, { 0, 0, 0, 0 }, 0 },
        { { INT32_MAX - 1, 0, INT32_MAX, 4 }, { 0, 0, INT32_MAX, 2 }, { INT32_MAX - 1, 0, 1, 2 }, 1 },
    };
    for (const Case& c : cases) {
        rectTy out { 99, 99, 99, 99 };
        EXPECT_EQ(sprRectIntersect(&out, &c.a, &c.b), c.result);
        EXPECT_TRUE(out == c.out) << out.x << "," << out.y << "," << out.w << "," << out.h;
    }
}

TEST(SprImg, RectScaledAndMirrored)
{
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R5G6B5);
    img.SetSize(10, 6, &fmt);
    struct Case {
        uint32_t op, scaled;
        float sx, sy;
        uint8_t mirror;
        rectTy want;
    } cases[] = {
        { img_OP_COPY, 0, 1.0f, 1.0f, 0, { 7, -3, 10, 6 } },
        { img_OP_COPY, 0, 2.0f, 2.0f, 0, { 7, -3, 10, 6 } }, // scale alone does nothing
        { img_OP_SCALED, 0, 2.0f, 0.5f, 0, { 7, -3, 20, 3 } },
        { img_OP_ALPHA, 1, 1.5f, 1.5f, 0, { 7, -3, 15, 9 } },
        { img_OP_COPY, 0, 1.0f, 1.0f, 1, { 8, -3, 10, 6 } }, // one right of x
        { img_OP_SCALED, 0, 2.0f, 2.0f, 1, { 9, -3, 20, 12 } },
    };
    for (const Case& c : cases) {
        sprImgCTy s;
        s.SetImage(&img);
        s.SetPos(7, -3);
        s.prm.op = c.op;
        s.prm.scaled = c.scaled;
        s.prm.scaleX = c.sx;
        s.prm.scaleY = c.sy;
        s.mirror = c.mirror;
        const rectTy r = s.GetRect();
        EXPECT_TRUE(r == c.want) << c.op << " " << int(c.mirror) << ": " << r.x << "," << r.y << "," << r.w << ","
                                 << r.h;
    }
    sprImgCTy none;
    EXPECT_TRUE(none.GetRect() == (rectTy { 0, 0, 0, 0 }));
}

TEST(SprGrid, CellCounts)
{
    // {w, h} -> {cols, rows, cell w, cell h}
    const std::tuple<int32_t, int32_t, uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
        { 800, 600, 16, 20, 50, 30 }, { 17, 10, 17, 10, 1, 1 }, { 34, 48, 17, 16, 2, 3 },
        { 1009, 1, 1009, 1, 1, 1 },  { 0, 600, 0, 0, 0, 0 },   { 800, -1, 0, 0, 0, 0 },
    };
    for (const auto& [w, h, cols, rows, cw, ch] : cases) {
        sprDirtyGrid g;
        g.Resize(w, h);
        EXPECT_EQ(g.cols, cols) << w;
        EXPECT_EQ(g.rows, rows) << h;
        EXPECT_EQ(g.cellW, cw) << w;
        EXPECT_EQ(g.cellH, ch) << h;
        EXPECT_EQ(g.cells.size(), size_t(cols) * rows);
    }
}

std::vector<rectTy> build(sprDirtyGrid& g)
{
    g.rects.clear();
    g.BuildRects();
    return g.rects;
}

TEST(SprGrid, RunsMergeOnlyAcrossFullRows)
{
    sprDirtyGrid g;
    g.Resize(80, 60); // 16 x 20 cells of 5 x 3
    const rectTy screen { 0, 0, 80, 60 };
    g.Mark({ 0, 0, 80, 6 }, screen, 1);  // rows 0-1 full
    g.Mark({ 0, 6, 10, 3 }, screen, 1);  // row 2: cells 0-1
    g.Mark({ 20, 6, 5, 3 }, screen, 1);  // row 2: cell 4
    g.Mark({ 0, 9, 80, 3 }, screen, 1);  // row 3 full, below a partial row
    g.Mark({ 0, 12, 80, 1 }, screen, 1); // row 4 full: merges with row 3
    g.Mark({ 77, 57, 9, 9 }, { 0, 0, 99, 99 }, 1); // reaches outside the grid: nothing
    const std::vector<rectTy> want = {
        { 0, 0, 80, 6 }, { 0, 6, 10, 3 }, { 20, 6, 5, 3 }, { 0, 9, 80, 6 },
    };
    const auto got = build(g);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_TRUE(got[i] == want[i]) << i;
    EXPECT_TRUE(build(g).empty());
}

TEST(SprGrid, MarksAreSetNotAddedAndLastTheirFrames)
{
    sprDirtyGrid g;
    g.Resize(32, 32); // 16 x 16 cells of 2 x 2
    const rectTy screen { 0, 0, 32, 32 };
    g.Mark({ 3, 4, 1, 1 }, screen, 3);
    g.Mark({ 3, 4, 1, 1 }, screen, 3);
    g.Mark({ 10, 10, 0, 0 }, screen, 3); // 0 x 0 marks nothing
    g.Mark({ 10, 10, 5, 5 }, { 20, 20, 5, 5 }, 3); // outside its clip
    for (int frame = 0; frame < 3; ++frame) {
        const auto got = build(g);
        ASSERT_EQ(got.size(), 1u) << frame;
        EXPECT_TRUE(got[0] == (rectTy { 2, 4, 2, 2 }));
    }
    EXPECT_TRUE(build(g).empty());
}

class SprMarks : public SprTest {
protected:
    void SetUp() override
    {
        SprTest::SetUp();
        list.SetScrSize(80, 60);
        img = make_image(pel_FMT_R5G6B5, 10, 6, [](int32_t, int32_t) { return 1u; });
        sprsCTy::Add(&list, &s);
        s.SetImage(img.get());
        s.Show();
        for (int i = 0; i < 3; ++i)
            frame();
    }
    std::vector<rectTy> frame() { return build(list.grid); }

    sprsCTy list;
    std::unique_ptr<imgRowCTy> img;
    sprImgCTy s;
};

TEST_F(SprMarks, MovesMarkOldAndNewAreas)
{
    s.SetPos(10, 0); // old (0..9) and new (10..19): cells 0-3 of row 0-1
    auto got = frame();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0] == (rectTy { 0, 0, 20, 3 }));
    EXPECT_TRUE(got[1] == (rectTy { 0, 3, 20, 3 }));
    frame();
    frame();
    s.SetPos(10, 0);
    EXPECT_TRUE(frame().empty());
    // Hidden sprites still mark (so hiding clears the area they leave).
    s.Hide();
    EXPECT_FALSE(frame().empty());
}

TEST_F(SprMarks, UnlistedSpritesKeepStateAndClipsOffScreenMarkNothing)
{
    sprImgCTy loose;
    loose.Show();
    loose.Hide();
    loose.SetZ(5);
    EXPECT_EQ(loose.visible, 1u);
    EXPECT_EQ(loose.z, spr_Z_DEFAULT);

    const rectTy offScreen { 100, 100, 10, 10 };
    s.clip = &offScreen;
    s.SetPos(30, 30);
    s.Hide();
    EXPECT_TRUE(frame().empty());
}

} // namespace
