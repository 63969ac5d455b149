#include "ImgTestImages.h"
#include "ImgTestModel.h"

#include "img/Assign.h"
#include "img/Dispatch.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

Palette make_palette(uint32_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> quads(size_t(count) * 4);
    for (auto& b : quads)
        b = uint8_t(random());
    Palette palette;
    palette.set_rgba(quads.data(), count);
    return palette;
}

// Runs the operation through the generic path for the scope.
struct ForcedGeneric {
    ForcedGeneric() { force_generic_path(true); }
    ~ForcedGeneric() { force_generic_path(false); }
};

TEST(Assign, EdgeCasesOfTheMemberTable)
{
    auto one = [](uint32_t target_id, uint32_t target_value, uint32_t source_id, uint32_t source_value) {
        GuardedImage t(1, 1, PelFmt(target_id));
        GuardedImage s(1, 1, PelFmt(source_id));
        t.set_value(0, 0, target_value);
        s.set_value(0, 0, source_value);
        t.image().assign(0, 0, s.image());
        EXPECT_TRUE(t.untouched_outside());
        return t.value(0, 0);
    };
    // Rgbx8888 into Rgba8888 is opaque; the alpha byte lands in an x byte.
    EXPECT_EQ(one(format_id::rgba8888, 0, format_id::rgbx8888, 0x12345678), 0xFF345678u);
    EXPECT_EQ(one(format_id::rgbx8888, 0, format_id::rgba8888, 0x12345678), 0x12345678u);
    // Alpha to x of the same layout keeps the target's x; x to x copies it.
    EXPECT_EQ(one(format_id::rgbx5551, 0x8000, format_id::rgba5551, 0x0123), 0x8123u);
    EXPECT_EQ(one(format_id::rgbx5551, 0x0000, format_id::rgba5551, 0x8123), 0x0123u);
    EXPECT_EQ(one(format_id::rgbx4444, 0xA000, format_id::rgba4444, 0x5123), 0xA123u);
    EXPECT_EQ(one(format_id::rgbx5551, 0x0000, format_id::rgbx5551, 0x8123), 0x8123u);
    EXPECT_EQ(one(format_id::rgbx4444, 0x0000, format_id::rgbx4444, 0x5123), 0x5123u);
    // Rgb888 into Rgbx8888 keeps the fourth byte.
    EXPECT_EQ(one(format_id::rgbx8888, 0xAB000000, format_id::rgb888, 0x00123456), 0xAB123456u);
    EXPECT_EQ(one(format_id::rgb565, 0, format_id::rgb888, 0x00FFFFFF), 0xFFFFu);
    EXPECT_EQ(one(format_id::rgba4444, 0, format_id::rgb565, 0x001F), 0xF00Fu);
    // A direct-colour source leaves an index target alone.
    EXPECT_EQ(one(format_id::pal8, 0x42, format_id::rgb565, 0xFFFF), 0x42u);
}

TEST(Assign, ColourKeysCompareTheBitsOfTheSourceFormat)
{
    auto copied = [](uint32_t source_id, uint32_t key, uint32_t pixel) {
        GuardedImage t(1, 1, PelFmt(format_id::rgba8888));
        GuardedImage s(1, 1, PelFmt(source_id));
        t.set_value(0, 0, 0x01020304);
        s.set_value(0, 0, pixel);
        s.image().set_color_key(key);
        t.image().assign(0, 0, s.image());
        return t.value(0, 0) != 0x01020304;
    };
    EXPECT_FALSE(copied(format_id::rgbx8888, 0x00112233, 0xFF112233));
    EXPECT_TRUE(copied(format_id::rgba8888, 0x00112233, 0xFF112233));
    EXPECT_FALSE(copied(format_id::rgba8888, 0xFF112233, 0xFF112233));
    EXPECT_FALSE(copied(format_id::rgb888, 0xFF112233, 0x00112233));
    EXPECT_FALSE(copied(format_id::rgbx5551, 0x0421, 0x8421));
    EXPECT_TRUE(copied(format_id::rgba5551, 0x0421, 0x8421));
    EXPECT_FALSE(copied(format_id::rgbx4444, 0x0421, 0xF421));
    EXPECT_TRUE(copied(format_id::rgba4444, 0x0421, 0xF421));
    EXPECT_FALSE(copied(format_id::rgb565, 0x10421, 0x0421));
    EXPECT_TRUE(copied(format_id::rgb565, 0x0420, 0x0421));
}

TEST(Assign, PaletteSourcesLookUpTheirEntriesAndKeyOnTheWholeKey)
{
    Palette palette = make_palette(3, 1);
    GuardedImage s(4, 1, PelFmt(format_id::pal8, &palette));
    for (int x = 0; x < 4; ++x)
        s.set_value(x, 0, uint32_t(x == 3 ? 255 : x));
    GuardedImage t(4, 1, PelFmt(format_id::rgb565));
    t.image().assign(0, 0, s.image());
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(t.value(x, 0), palette.get(uint32_t(x), format_id::rgb565));
    // Index 255 lies past the three entries: it reads as 0.
    EXPECT_EQ(t.value(3, 0), 0u);
    EXPECT_TRUE(t.untouched_outside());

    // A key of 256 or more matches no index.
    for (int x = 0; x < 4; ++x)
        t.set_value(x, 0, 0x5555);
    s.image().set_color_key(0x100);
    t.image().assign(0, 0, s.image());
    EXPECT_EQ(t.value(0, 0), palette.get(0, format_id::rgb565));
    s.image().set_color_key(1);
    t.set_value(1, 0, 0x5555);
    t.image().assign(0, 0, s.image());
    EXPECT_EQ(t.value(1, 0), 0x5555u);
}

TEST(Assign, IndexCopiesKeyOnTheLowByteAndDoNotTranslate)
{
    Palette source_palette = make_palette(256, 2);
    Palette target_palette = make_palette(16, 3);
    GuardedImage s(3, 1, PelFmt(format_id::pal8, &source_palette));
    GuardedImage t(3, 1, PelFmt(format_id::pal8, &target_palette));
    s.set_value(0, 0, 7);
    s.set_value(1, 0, 255);
    s.set_value(2, 0, 200);
    t.set_value(1, 0, 9);
    s.image().set_color_key(0x1FF);
    t.image().assign(0, 0, s.image());
    EXPECT_EQ(t.value(0, 0), 7u);
    EXPECT_EQ(t.value(1, 0), 9u);
    EXPECT_EQ(t.value(2, 0), 200u);
    // Pal8 without a palette on either side copies too.
    GuardedImage plain(3, 1, PelFmt(format_id::pal8));
    plain.image().assign(0, 0, s.image());
    EXPECT_EQ(plain.value(2, 0), 200u);
}

TEST(Assign, ClipsBothRectanglesToTheirImages)
{
    std::mt19937 random(11);
    GuardedImage s(10, 10, PelFmt(format_id::rgb565));
    s.randomise(random);
    // The example of a clipping image: (-3, -2) copies source (3, 2)..(9, 9)
    // to target (0, 0)..(6, 7).
    GuardedImage t(10, 10, PelFmt(format_id::rgb565));
    t.image().set_clip_rect({ 0, 0, 10, 10 });
    t.image().assign(-3, -2, s.image());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool copied = x <= 6 && y <= 7;
            if (copied)
                EXPECT_EQ(t.value(x, y), s.value(x + 3, y + 2));
            else
                EXPECT_EQ(t.value(x, y), 0xA5A5u);
        }

    // Without clipping, positions and source rectangles that reach outside
    // either image read and write only inside.
    struct Case {
        int x, y;
        Rect source;
    };
    const Case cases[] = {
        { -5, -5, { 0, 0, 10, 10 } },
        { 7, 8, { 0, 0, 10, 10 } },
        { 2, 3, { -4, -1, 6, 12 } },
        { 0, 0, { 8, 8, 20, 20 } },
        { 12, 0, { 0, 0, 10, 10 } },
        { 0, 0, { 10, 10, 14, 14 } },
        { -2147483647, 2147483000, { 0, 0, 10, 10 } },
        { 0, 0, { -2147483647, -2147483647, 2147483647, 2147483647 } },
    };
    for (const Case& c : cases) {
        GuardedImage target(6, 7, PelFmt(format_id::rgb565), 2, true);
        target.image().assign(c.x, c.y, s.image(), &c.source);
        EXPECT_TRUE(target.untouched_outside());
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 6; ++x) {
                // The source pixel that lands here, in 64 bits: the far-off
                // positions would overflow 32.
                const int64_t sx = int64_t(x) - c.x + c.source.x0, sy = int64_t(y) - c.y + c.source.y0;
                const bool inside = sx >= c.source.x0 && sx < c.source.x1 && sy >= c.source.y0 && sy < c.source.y1
                    && sx >= 0 && sx < 10 && sy >= 0 && sy < 10;
                EXPECT_EQ(target.value(x, y), inside ? s.value(int32_t(sx), int32_t(sy)) : 0xA5A5u) << x << "," << y;
            }
    }
}

TEST(Assign, BottomUpSourcesGiveTheSamePicture)
{
    std::mt19937 random(5);
    GuardedImage top(7, 5, PelFmt(format_id::rgba8888));
    top.randomise(random);
    GuardedImage bottom(7, 5, PelFmt(format_id::rgba8888), 4, true);
    bottom.image().assign(0, 0, top.image());
    GuardedImage a(7, 5, PelFmt(format_id::rgb565));
    GuardedImage b(7, 5, PelFmt(format_id::rgb565), 0, true);
    a.image().assign(0, 0, top.image());
    b.image().assign(0, 0, bottom.image());
    EXPECT_EQ(a.pixel_bytes(), b.pixel_bytes());
    EXPECT_TRUE(b.untouched_outside());
}

TEST(Assign, OverlappingSelfCopyRunsInReadingOrder)
{
    GuardedImage img(6, 1, PelFmt(format_id::rgb565));
    for (int x = 0; x < 6; ++x)
        img.set_value(x, 0, uint32_t(x + 1));
    const Rect first_four { 0, 0, 4, 1 };
    img.image().assign(1, 0, img.image(), &first_four);
    // Each pixel is read after the one before it was written.
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(img.value(x, 0), 1u);
    EXPECT_EQ(img.value(5, 0), 6u);
}

// Every running cell of the table, plain and keyed, against the generic
// kernel on random pictures: same bytes, same bytes outside the pixels.
TEST(Assign, EveryTableRowMatchesTheGenericPath)
{
    std::mt19937 random(1234);
    Palette palette = make_palette(100, 9);
    const auto& table = assign_table();
    int rows = 0;
    for (uint32_t tid = 1; tid <= 9; ++tid) {
        for (uint32_t sid = 1; sid <= 10; ++sid) {
            // sid 10 stands for a Pal8 source with a palette.
            const bool palette_source = sid == 10;
            const PelFmt source_format = palette_source ? PelFmt(format_id::pal8, &palette) : PelFmt(sid);
            const PelFmt target_format = tid == 9 ? PelFmt(format_id::pal8) : PelFmt(tid);
            for (bool keyed : { false, true }) {
                GuardedImage source(9, 4, source_format, 1, keyed);
                source.randomise(random);
                if (keyed)
                    source.image().set_color_key(source.value(2, 1));
                GuardedImage fast(11, 6, target_format, 3);
                fast.randomise(random);
                GuardedImage slow(11, 6, target_format, 3, true);
                slow.image().assign(0, 0, fast.image());
                const auto cell = table.cell(format_slot(fast.image()), format_slot(source.image()));
                if (cell.action != Action::run)
                    continue;
                ++rows;
                const Rect part { 1, 0, 9, 4 };
                fast.image().assign(2, 1, source.image(), &part);
                {
                    ForcedGeneric forced;
                    slow.image().assign(2, 1, source.image(), &part);
                }
                EXPECT_EQ(fast.pixel_bytes(), slow.pixel_bytes())
                    << table.row_name(format_slot(fast.image()), format_slot(source.image())) << " keyed " << keyed;
                EXPECT_TRUE(fast.untouched_outside());
                EXPECT_TRUE(slow.untouched_outside());
            }
        }
    }
    // 8 direct targets from 9 sources, and Pal8 from Pal8 with and without a
    // palette; each plain and keyed.
    EXPECT_EQ(rows, 2 * (8 * 9 + 2));
}

TEST(Assign, RowNamesSpellOutThePair)
{
    EXPECT_EQ(assign_table().row_name(FormatSlot::rgb565, FormatSlot::rgba8888), "assign_rgba8888_to_rgb565");
    EXPECT_EQ(assign_rule(FormatSlot::rgba8888, FormatSlot::rgbx8888), AssignRule::opaque);
    EXPECT_EQ(assign_rule(FormatSlot::rgb888, FormatSlot::raw16), AssignRule::not_implemented);
}

} // namespace
