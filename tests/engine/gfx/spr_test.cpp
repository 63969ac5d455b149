// Sprites and the dirty grid: rectangles, marks and the rectangles built
// from them.
#include "spr_test_support.h"

#include <tuple>
#include <vector>

namespace {

bool operator==(const rectTy& a, const rectTy& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

TEST(SprRect, IntersectTable)
{
    const std::tuple<rectTy, rectTy, rectTy, int> cases[] = {
        { { 0, 0, 10, 10 }, { 5, 5, 10, 10 }, { 5, 5, 5, 5 }, 1 },
        { { 5, 5, 10, 10 }, { 2, 3, 4, 5 }, { 5, 5, 1, 3 }, 1 },
        { { 0, 0, 10, 10 }, { 10, 0, 5, 5 }, { 10, 0, 0, 0 }, 0 }, // touching edges
        { { 0, 0, 10, 10 }, { -5, 20, 5, 5 }, { 0, 20, 0, 0 }, 0 },
        { { INT32_MAX - 1, 0, INT32_MAX, 4 }, { 0, 0, INT32_MAX, 2 }, { INT32_MAX - 1, 0, 1, 2 }, 1 },
    };
    for (const auto& [a, b, want, result] : cases) {
        rectTy out { 99, 99, 99, 99 };
        EXPECT_EQ(sprRectIntersect(&out, &a, &b), result);
        EXPECT_TRUE(out == want) << out.x << "," << out.y << "," << out.w << "," << out.h;
    }
}

TEST(SprImg, RectScaledAndMirrored)
{
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R5G6B5);
    img.SetSize(10, 6, &fmt);
    // op, scaled flag, scale x, scale y, mirror -> rectangle at (7, -3)
    const std::tuple<uint32_t, uint32_t, float, float, uint8_t, rectTy> cases[] = {
        { img_OP_COPY, 0, 2.0f, 2.0f, 0, { 7, -3, 10, 6 } }, // a scale alone does nothing
        { img_OP_SCALED, 0, 2.0f, 0.5f, 0, { 7, -3, 20, 3 } },
        { img_OP_ALPHA, 1, 1.5f, 1.5f, 0, { 7, -3, 15, 9 } },
        { img_OP_COPY, 0, 1.0f, 1.0f, 1, { 8, -3, 10, 6 } }, // one right of x
        { img_OP_SCALED, 0, 2.0f, 2.0f, 1, { 9, -3, 20, 12 } },
    };
    for (const auto& [op, scaled, sx, sy, mirror, want] : cases) {
        sprImgCTy s;
        s.SetImage(&img);
        s.SetPos(7, -3);
        s.prm = imgDrawPrmCTy { .op = op, .scaled = scaled, .scaleX = sx, .scaleY = sy };
        s.mirror = mirror;
        const rectTy r = s.GetRect();
        EXPECT_TRUE(r == want) << op << " " << int(mirror) << ": " << r.x << "," << r.y << "," << r.w << "," << r.h;
    }
    EXPECT_TRUE(sprImgCTy().GetRect() == (rectTy { 0, 0, 0, 0 }));
}

TEST(SprGrid, CellCounts)
{
    // w, h -> columns, rows, cell width, cell height
    const std::tuple<int32_t, int32_t, uint32_t, uint32_t, uint32_t, uint32_t> cases[] = {
        { 800, 600, 16, 20, 50, 30 }, { 17, 10, 17, 10, 1, 1 }, { 34, 48, 17, 16, 2, 3 },
        { 1009, 1, 1009, 1, 1, 1 },  { 0, 600, 0, 0, 0, 0 },   { 800, -1, 0, 0, 0, 0 },
    };
    for (const auto& [w, h, cols, rows, cw, ch] : cases) {
        sprDirtyGrid g;
        g.Resize(w, h);
        EXPECT_TRUE(g.cols == cols && g.rows == rows && g.cellW == cw && g.cellH == ch) << w << "x" << h;
    }
}

std::vector<rectTy> build(sprDirtyGrid& g)
{
    g.rects.clear();
    g.BuildRects();
    return g.rects;
}

void expect_rects(const std::vector<rectTy>& got, const std::vector<rectTy>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_TRUE(got[i] == want[i]) << i << ": " << got[i].x << "," << got[i].y << "," << got[i].w << "," << got[i].h;
}

TEST(SprGrid, RunsMergeOnlyAcrossFullRowsAndMarksLastTheirFrames)
{
    sprDirtyGrid g;
    g.Resize(80, 60); // 16 x 20 cells of 5 x 3
    const rectTy screen { 0, 0, 80, 60 };
    g.Mark({ 0, 0, 80, 6 }, screen, 1);             // rows 0-1 full
    g.Mark({ 0, 6, 10, 3 }, screen, 1);             // row 2: cells 0-1
    g.Mark({ 20, 6, 5, 3 }, screen, 3);             // row 2: cell 4, for 3 frames
    g.Mark({ 20, 6, 5, 3 }, screen, 3);             // set, not added
    g.Mark({ 0, 9, 80, 3 }, screen, 1);             // row 3 full, below a partial row
    g.Mark({ 0, 12, 80, 1 }, screen, 1);            // row 4 full: merges with row 3
    g.Mark({ 10, 10, 0, 0 }, screen, 3);            // 0 x 0: nothing
    g.Mark({ 10, 10, 5, 5 }, { 40, 40, 5, 5 }, 3);  // outside its clip: nothing
    expect_rects(build(g), { { 0, 0, 80, 6 }, { 0, 6, 10, 3 }, { 20, 6, 5, 3 }, { 0, 9, 80, 6 } });
    expect_rects(build(g), { { 20, 6, 5, 3 } });
    expect_rects(build(g), { { 20, 6, 5, 3 } });
    expect_rects(build(g), {});
}

// A mark reaching past the grid (a whole-screen mark made for a larger
// screen) redraws the part that lies on it.
TEST(SprGrid, MarksAreCutToTheGrid)
{
    // The grid is 80 x 60: 16 x 20 cells of 5 x 3.
    const rectTy wide { -100, -100, 1000, 1000 };
    const std::tuple<rectTy, rectTy, std::vector<rectTy>> cases[] = {
        { { 77, 57, 9, 9 }, { 0, 0, 99, 99 }, { { 75, 57, 5, 3 } } },
        { { 0, 0, 800, 600 }, { 0, 0, 800, 600 }, { { 0, 0, 80, 60 } } },
        { { -10, -10, 800, 600 }, wide, { { 0, 0, 80, 60 } } },
        { { -3, 10, 6, 2 }, wide, { { 0, 9, 5, 3 } } },
        { { 79, 59, 1, 1 }, wide, { { 75, 57, 5, 3 } } },
        { { 80, 0, 5, 5 }, wide, {} },
        { { 0, -5, 5, 5 }, wide, {} },
        { { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX }, { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX }, {} },
    };
    for (const auto& [r, clip, want] : cases) {
        SCOPED_TRACE(testing::Message() << r.x << "," << r.y << "," << r.w << "," << r.h);
        sprDirtyGrid g;
        g.Resize(80, 60);
        g.Mark(r, clip, 1);
        expect_rects(build(g), want);
    }
}

// Moves mark the old and the new area; so do hides. Sprites outside a list
// keep their state; a clip off the screen marks nothing.
TEST_F(SprTest, SpritesMarkWhatTheyCoverAndLeave)
{
    sprsCTy list;
    list.SetScrSize(80, 60);
    auto img = make_image(pel_FMT_R5G6B5, 10, 6, [](int32_t, int32_t) { return 1u; });
    sprImgCTy s;
    sprsCTy::Add(&list, &s);
    s.SetImage(img.get());
    s.Show();
    list.grid.Resize(80, 60);
    s.SetPos(10, 0);
    expect_rects(build(list.grid), { { 0, 0, 20, 3 }, { 0, 3, 20, 3 } });
    list.grid.Resize(80, 60);
    s.SetPos(10, 0);
    EXPECT_TRUE(build(list.grid).empty());
    s.Hide();
    expect_rects(build(list.grid), { { 10, 0, 10, 3 }, { 10, 3, 10, 3 } });
    list.grid.Resize(80, 60);
    const rectTy offScreen { 100, 100, 10, 10 };
    s.clip = &offScreen;
    s.SetPos(30, 30);
    s.Show();
    EXPECT_TRUE(build(list.grid).empty());

    sprImgCTy loose;
    loose.Show();
    loose.Hide();
    loose.SetZ(5);
    EXPECT_TRUE(loose.visible == 1 && loose.z == spr_Z_DEFAULT);
}

} // namespace

// A mirrored sprite of an RLE8 picture whose box starts at column 1 fills
// its rectangle with the box mirrored: the rectangle's column R.x + R.w - 1
// - k shows box column k / scale, drawn whole or one pel at a time, as the
// dirty grid and the hit test draw it.
TEST_F(SprTest, MirroredSpritesShowTheirBoxInTheirRectangleWholeOrCut)
{
    std::vector<uint32_t> colours(40);
    for (uint32_t i = 0; i < colours.size(); ++i)
        colours[i] = 0x102030u + i * 0x030507u;
    palCTy pal;
    pal.Set(colours.data(), uint32_t(colours.size()));
    const pelFmtCTy p8(pel_FMT_P8, &pal);
    constexpr int32_t W = 6, H = 3;
    imgRle8CTy img;
    img.SetSize(W, H, &p8);
    (void)img.SetColorKeyPel(0);
    (void)img.Lock(nullptr, 0);
    for (int32_t i = 0; i < W * H; ++i)
        static_cast<uint8_t*>(img.lockPtr)[i] = i % W ? uint8_t(1 + i) : 0;
    img.Unlock();
    ASSERT_EQ(img.box.x, 1);
    // op, scale (a power of two: each box pel fills exactly scale x scale pels)
    const std::tuple<const char*, uint32_t, int32_t> rows[] = {
        { "copy", img_OP_COPY, 1 },
        { "add onto black", img_OP_ADD, 1 },
        { "scaled by 2", img_OP_SCALED, 2 },
        { "scaled by 4", img_OP_SCALED, 4 },
    };
    const pelFmtCTy x8(pel_FMT_X8R8G8B8);
    for (const auto& [name, op, scale] : rows) {
        SCOPED_TRACE(name);
        sprImgCTy s;
        s.SetImage(&img);
        s.SetPos(5, 2);
        s.mirror = 1;
        s.prm = imgDrawPrmCTy { .op = op, .scaleX = float(scale), .scaleY = float(scale) };
        const rectTy R = s.GetRect();
        imgRowCTy whole, cut;
        whole.SetSize(40, 20, &x8);
        cut.SetSize(40, 20, &x8);
        whole.Fill(0, nullptr);
        cut.Fill(0, nullptr);
        const rectTy all { R.x - 5, R.y - 2, R.w, R.h };
        s.SetDrawTarget(&whole, 5, 2, &all);
        s.Draw();
        for (int32_t y = R.y; y < R.y + R.h; ++y)
            for (int32_t x = R.x; x < R.x + R.w; ++x) {
                const rectTy one { x - 5, y - 2, 1, 1 };
                s.SetDrawTarget(&cut, 5, 2, &one);
                s.Draw();
            }
        s.SetDrawTarget(nullptr, 0, 0, nullptr);
        for (int32_t y = 0; y < 20; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const bool in = x >= R.x && x < R.x + R.w && y >= R.y && y < R.y + R.h;
                const int32_t col = img.box.x + (R.x + R.w - 1 - x) / scale, row = (y - R.y) / scale;
                const uint32_t want = in ? colours[size_t(1 + row * W + col)] : 0;
                EXPECT_EQ(pel_at(whole, x, y) & 0xFFFFFF, want) << "whole, at " << x << "," << y;
                EXPECT_EQ(pel_at(cut, x, y) & 0xFFFFFF, want) << "one pel at a time, at " << x << "," << y;
            }
    }
}
