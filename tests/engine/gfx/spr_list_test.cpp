// The sprite list: dirty-grid frames against full redraws, depth order,
// hit tests and lifetimes.
#include "spr_test_support.h"

#include <random>
#include <vector>

namespace {

constexpr int32_t kW = 96, kH = 64;

std::unique_ptr<imgRowCTy> make_target(int32_t w, int32_t h)
{
    return make_image(pel_FMT_R5G6B5, w, h, [](int32_t, int32_t) { return 0xFFFFu; });
}

// The reference: every visible sprite drawn over the whole screen.
std::unique_ptr<imgRowCTy> full_redraw(sprsCTy& list, int32_t w, int32_t h)
{
    auto ref = make_target(w, h);
    list.DrawRect(ref.get(), list.originX, list.originY, nullptr);
    return ref;
}

using SprList = SprTest;

// Random scenes: sprites move (partly off the screen), appear, disappear,
// change depth (often to a depth already taken), image, mirror and scale.
// After every frame the target must equal a full redraw.
TEST_F(SprList, DirtyFramesEqualFullRedraws)
{
    std::mt19937 rng(1234);
    auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };

    sprsCTy list;
    list.SetScrSize(kW, kH);
    list.originX = 5;
    list.originY = -3;
    auto bgImg = make_image(pel_FMT_R5G6B5, kW, kH, [](int32_t x, int32_t y) { return uint32_t(x * 31 + y * 7); });
    sprImgCTy bg;
    bg.world = 0;
    sprsCTy::Add(&list, &bg);
    bg.SetImage(bgImg.get());
    bg.SetZ(1000);
    bg.Show();

    // Keyed images: the pel value 0x1234 is transparent.
    std::vector<std::unique_ptr<imgRowCTy>> images;
    for (int i = 0; i < 4; ++i) {
        const int32_t w = pick(3, 20), h = pick(3, 20);
        const uint32_t seed = uint32_t(pick(1, 5000));
        auto img = std::make_unique<MirrorImage>();
        const pelFmtCTy fmt(pel_FMT_R5G6B5);
        img->SetSize(w, h, &fmt);
        auto* p = reinterpret_cast<uint16_t*>(img->pels);
        for (int32_t k = 0; k < w * h; ++k)
            p[k] = uint16_t((k * 13 + 7) % 5 == 0 ? 0x1234 : seed + uint32_t(k) * 977);
        img->SetColorKeyPel(0x1234);
        images.push_back(std::move(img));
    }

    const rectTy clips[2] = { { 10, 8, 40, 30 }, { 60, 0, 8, 64 } };
    std::vector<std::unique_ptr<sprImgCTy>> sprites;
    for (int i = 0; i < 12; ++i) {
        auto s = std::make_unique<sprImgCTy>();
        s->world = i % 3 != 0;
        if (!s->world && i % 2 == 0)
            s->clip = &clips[i / 6];
        sprsCTy::Add(&list, s.get());
        s->SetImage(images[size_t(i) % images.size()].get());
        s->SetZ(pick(0, 4));
        s->SetPos(pick(-10, kW), pick(-10, kH));
        s->Show();
        sprites.push_back(std::move(s));
    }

    auto target = make_target(kW, kH);
    for (int frame = 0; frame < 120; ++frame) {
        for (int change = pick(0, 4); change > 0; --change) {
            sprImgCTy& s = *sprites[size_t(pick(0, int32_t(sprites.size()) - 1))];
            switch (pick(0, 6)) {
            case 0:
            case 1:
                s.SetPos(s.x + pick(-6, 6), s.y + pick(-6, 6));
                break;
            case 2:
                s.visible ? s.Hide() : s.Show();
                break;
            case 3:
                s.SetZ(pick(0, 4));
                break;
            case 4:
                s.SetImage(images[size_t(pick(0, 3))].get());
                break;
            default:
                // Fields without setters: the caller marks around them.
                s.MarkDirty();
                // The test's mirrored image does not scale: one or the other.
                if (s.prm.op != img_OP_SCALED && (s.mirror || pick(0, 1))) {
                    s.mirror = !s.mirror;
                } else if (!s.mirror) {
                    const bool scaled = s.prm.op != img_OP_SCALED;
                    s.prm.op = scaled ? img_OP_SCALED : img_OP_COPY;
                    s.prm.scaleX = scaled ? float(pick(1, 3)) : 1.0f;
                    s.prm.scaleY = scaled ? float(pick(1, 3)) : 1.0f;
                }
                s.MarkDirty();
                break;
            }
        }
        list.Draw(target.get());
        ASSERT_TRUE(same_pels(*target, *full_redraw(list, kW, kH))) << "frame " << frame;
        EXPECT_TRUE(list.grid.rects.empty());
    }
    // A target smaller than the screen takes no pel past its edges.
    const rectTy everything { -100, -100, 1000, 1000 };
    list.DrawRect(make_target(20, 10).get(), list.originX, list.originY, &everything);
}

// Two sprites at one depth: the first added lies in front, for the draw and
// for the hit test. A keyed pel lets the test fall through to the sprite
// behind; an opaque black pel is a hit.
TEST_F(SprList, DepthOrderAndHitTests)
{
    sprsCTy list;
    list.SetScrSize(40, 40);
    auto red = make_image(pel_FMT_R5G6B5, 8, 8, [](int32_t, int32_t) { return 0xF800u; });
    auto keyed = make_image(pel_FMT_R5G6B5, 8, 8, [](int32_t x, int32_t y) {
        return x == 2 && y == 2 ? 0x07E0u : x == 4 && y == 4 ? 0u : 0x001Fu;
    });
    keyed->SetColorKeyPel(0x07E0);
    sprImgCTy front, back, other;
    for (sprImgCTy* s : { &front, &back, &other }) {
        sprsCTy::Add(&list, s);
        s->SetImage(red.get());
        s->SetZ(5);
        s->SetPos(10, 10);
        s->Show();
    }
    front.SetImage(keyed.get());
    other.SetZ(9);

    auto target = make_target(40, 40);
    list.Draw(target.get());
    EXPECT_EQ(pel_at(*target, 11, 11), 0x001Fu);
    EXPECT_EQ(pel_at(*target, 12, 12), 0xF800u);

    EXPECT_EQ(list.HitTest(0, 100, 11, 11, nullptr), &front);
    EXPECT_EQ(list.HitTest(0, 100, 14, 14, nullptr), &front); // black, opaque
    EXPECT_EQ(list.HitTest(0, 100, 12, 12, nullptr), &back);  // keyed pel
    EXPECT_EQ(list.HitTest(0, 100, 11, 11, &front), &back);
    EXPECT_EQ(list.HitTest(0, 100, 11, 11, &back), &other);
    EXPECT_EQ(list.HitTest(6, 100, 11, 11, nullptr), &other);
    EXPECT_EQ(list.HitTest(0, 4, 11, 11, nullptr), nullptr);
    EXPECT_EQ(list.HitTest(0, 100, 18, 11, nullptr), nullptr); // right of every sprite

    // Given depth 5 again, `back` goes after `front`: still behind it.
    back.SetZ(6);
    back.SetZ(5);
    front.Hide();
    EXPECT_EQ(list.HitTest(0, 100, 11, 11, nullptr), &back);
    // A screen sprite is hit in list coordinates: its place plus the origin.
    list.originX = 100;
    back.world = 0;
    EXPECT_EQ(list.HitTest(0, 5, 111, 11, nullptr), &back);
}

// A listed sprite destroyed first leaves the list; a list destroyed first
// disowns its sprites.
TEST_F(SprList, SpritesAndListsDieInEitherOrder)
{
    sprsCTy list;
    list.SetScrSize(32, 32);
    auto bgImg = make_image(pel_FMT_R5G6B5, 32, 32, [](int32_t, int32_t) { return 0x0101u; });
    auto img = make_image(pel_FMT_R5G6B5, 4, 4, [](int32_t, int32_t) { return 0x0202u; });
    sprImgCTy bg;
    auto target = make_target(32, 32);
    for (sprImgCTy* s : { &bg, new sprImgCTy }) {
        sprsCTy::Add(&list, s);
        s->SetImage(s == &bg ? bgImg.get() : img.get());
        s->SetZ(s == &bg ? 2 : 1);
        s->Show();
    }
    list.Draw(target.get());
    EXPECT_EQ(pel_at(*target, 1, 1), 0x0202u);
    delete list.order.begin()->second;
    list.AddDirty(list.scr, list.scr, 1);
    list.Draw(target.get());
    EXPECT_EQ(pel_at(*target, 1, 1), 0x0101u);

    bg.Remove();
    auto early = std::make_unique<sprsCTy>();
    sprsCTy::Add(early.get(), &bg);
    early.reset();
    EXPECT_EQ(bg.owner, nullptr);
    bg.SetPos(1, 1);
}

// A prime-width screen has one-pel columns: every other one dirty in two
// rows makes 1010 rectangles in one frame.
TEST_F(SprList, MoreThanAThousandRectangles)
{
    constexpr int32_t w = 1009;
    sprsCTy list;
    list.SetScrSize(w, 2);
    auto bgImg = make_image(pel_FMT_R5G6B5, w, 2, [](int32_t x, int32_t y) { return uint32_t(x + y); });
    sprImgCTy bg;
    sprsCTy::Add(&list, &bg);
    bg.SetImage(bgImg.get());
    bg.Show();
    list.grid.Resize(w, 2); // forget the marks of Show
    for (int32_t x = 0; x < w; x += 2)
        list.AddDirty({ x, 0, 1, 2 }, list.scr, 2);
    list.grid.BuildRects();
    EXPECT_EQ(list.grid.rects.size(), 1010u);
    list.grid.rects.clear();
    auto target = make_target(w, 2);
    list.Draw(target.get());
    for (int32_t x = 0; x < w; ++x)
        ASSERT_EQ(pel_at(*target, x, 1), x % 2 == 0 ? uint32_t(x + 1) : 0xFFFFu) << x;
}

} // namespace
