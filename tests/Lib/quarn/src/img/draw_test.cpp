#include "ImgTestBlendModel.h"
#include "ImgTestImages.h"
#include "ImgTestModel.h"
#include "ImgTestOps.h"

#include "img/Assign.h"
#include "img/Dispatch.h"
#include "img/Draw.h"
#include "img/FormatTraits.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

constexpr uint32_t alpha_sources[] = { format_id::rgba8888, format_id::rgba5551, format_id::rgba4444 };

struct ForcedGeneric {
    ForcedGeneric() { force_generic_path(true); }
    ~ForcedGeneric() { force_generic_path(false); }
};

// Random source pixels whose alpha is, by column, none, full or anything.
void randomise_alpha_source(GuardedImage& source, std::mt19937& random)
{
    source.randomise(random);
    const auto& l = img_test::layout(source.image().format().id());
    const uint32_t alpha_mask = ((1u << l.alpha.bits) - 1) << l.alpha.shift;
    for (int32_t y = 0; y < source.height(); ++y)
        for (int32_t x = 0; x < source.width(); ++x) {
            const uint32_t v = source.value(x, y);
            if (x % 3 == 0)
                source.set_value(x, y, v & ~alpha_mask);
            else if (x % 3 == 1)
                source.set_value(x, y, v | alpha_mask);
        }
}

// Every target format under every source with alpha, plain and keyed, at
// positions inside, across the edges of and outside the target.
TEST(Draw, EveryAlphaSourceOverEveryTargetFollowsTheBlendRule)
{
    std::mt19937 random(77);
    struct Place {
        int x, y;
    };
    const Place places[] = { { 1, 1 }, { -2, 3 }, { 4, -1 }, { 9, 0 }, { -2147483647, 5 } };
    int checked = 0;
    for (uint32_t tid = 1; tid <= 8; ++tid) {
        for (uint32_t sid : alpha_sources) {
            for (bool keyed : { false, true }) {
                for (const Place& at : places) {
                    SCOPED_TRACE(testing::Message() << "target " << tid << " source " << sid << " keyed " << keyed
                                                    << " at " << at.x << "," << at.y);
                    GuardedImage target(7, 5, PelFmt(tid), 1, tid % 2 == 0);
                    GuardedImage source(6, 4, PelFmt(sid), 2, sid == format_id::rgba5551);
                    target.randomise(random);
                    randomise_alpha_source(source, random);
                    if (keyed) {
                        // The key has full alpha, so a keyed pixel would
                        // otherwise be copied.
                        source.image().set_color_key(source.value(1, 2));
                        source.set_value(1, 0, source.value(1, 2));
                    }
                    std::vector<uint32_t> old;
                    for (int y = 0; y < 5; ++y)
                        for (int x = 0; x < 7; ++x)
                            old.push_back(target.value(x, y));

                    img_test::draw(target.image(), at.x, at.y, source.image());
                    EXPECT_TRUE(target.untouched_outside());
                    EXPECT_TRUE(source.untouched_outside());
                    const uint32_t key = source.image().key_pixel();
                    for (int y = 0; y < 5; ++y)
                        for (int x = 0; x < 7; ++x) {
                            const uint32_t was = old[size_t(y * 7 + x)];
                            const int64_t sx = int64_t(x) - at.x, sy = int64_t(y) - at.y;
                            uint32_t want = was;
                            if (sx >= 0 && sx < 6 && sy >= 0 && sy < 4) {
                                const uint32_t v = source.value(int(sx), int(sy));
                                if (!(keyed && v == key))
                                    want = img_test::model_draw(tid, was, sid, v);
                                ++checked;
                            }
                            ASSERT_EQ(target.value(x, y), want) << x << "," << y;
                        }
                }
            }
        }
    }
    EXPECT_GT(checked, 8 * 3 * 2 * 40);
}

TEST(Draw, ExamplesOfTheBlendRule)
{
    auto one = [](uint32_t target_id, uint32_t target_value, uint32_t source_id, uint32_t source_value) {
        GuardedImage t(1, 1, PelFmt(target_id));
        GuardedImage s(1, 1, PelFmt(source_id));
        t.set_value(0, 0, target_value);
        s.set_value(0, 0, source_value);
        img_test::draw(t.image(), 0, 0, s.image());
        EXPECT_TRUE(t.untouched_outside());
        return t.value(0, 0);
    };
    // Alpha 0 leaves the whole target, alpha byte included.
    EXPECT_EQ(one(format_id::rgba8888, 0x12345678, format_id::rgba8888, 0x00FFFFFF), 0x12345678u);
    // Full alpha copies the word, fourth byte included.
    EXPECT_EQ(one(format_id::rgbx8888, 0x00000000, format_id::rgba8888, 0xFF102030), 0xFF102030u);
    // Alpha 128: red 200 over 100 gives 100 + 50; the fourth byte stays.
    EXPECT_EQ(one(format_id::rgbx8888, 0x5A640000, format_id::rgba8888, 0x80C80000) >> 16, 0x5A96u);
    // Red 0 at alpha 128 over an Rgb565 red of 31 gives 15.
    EXPECT_EQ(one(format_id::rgb565, 0xF800, format_id::rgba8888, 0x80000000) >> 11, 15u);
    // The 5551 alpha bit either skips or converts and stores.
    EXPECT_EQ(one(format_id::rgb565, 0x1234, format_id::rgba5551, 0x7FFF), 0x1234u);
    EXPECT_EQ(one(format_id::rgb565, 0x1234, format_id::rgba5551, 0xFC00), 0xF800u);
    EXPECT_EQ(one(format_id::rgba8888, 0x00000000, format_id::rgba5551, 0x8000), 0xFF000000u);
    // Nibble 8 is alpha 136: 15 over 0 gives 15 * 136 >> 8 = 7; the
    // target's alpha nibble stays.
    EXPECT_EQ(one(format_id::rgba4444, 0x3000, format_id::rgba4444, 0x8F00), 0x3700u);
    // Three bytes into Rgb888 at full alpha.
    EXPECT_EQ(one(format_id::rgb888, 0, format_id::rgba8888, 0xFFABCDEF), 0x00ABCDEFu);
}

TEST(Draw, KeyedPixelsAreSkippedWhateverTheirAlpha)
{
    GuardedImage t(3, 1, PelFmt(format_id::rgbx8888));
    GuardedImage s(3, 1, PelFmt(format_id::rgba8888));
    s.set_value(0, 0, 0xFF112233); // the key, full alpha
    s.set_value(1, 0, 0x80112233); // differs only in alpha
    s.set_value(2, 0, 0xFF445566);
    s.image().set_color_key(0xFF112233);
    for (int x = 0; x < 3; ++x)
        t.set_value(x, 0, 0x01000000);
    img_test::draw(t.image(), 0, 0, s.image());
    EXPECT_EQ(t.value(0, 0), 0x01000000u);
    EXPECT_EQ(t.value(1, 0), 0x01081119u);
    EXPECT_EQ(t.value(2, 0), 0xFF445566u);
}

// A source without alpha draws exactly as assign copies it, for every
// target; formats that assign refuses are refused here too, before
// anything is locked.
TEST(Draw, SourcesWithoutAlphaDrawAsAssignCopies)
{
    std::mt19937 random(8);
    std::vector<uint8_t> quads(40 * 4);
    for (auto& b : quads)
        b = uint8_t(random());
    Palette palette;
    palette.set_rgba(quads.data(), 40);
    int same = 0;
    for (uint32_t tid = 0; tid <= 11; ++tid) {
        for (uint32_t sid = 0; sid <= 12; ++sid) {
            if (sid == format_id::rgba8888 || sid == format_id::rgba5551 || sid == format_id::rgba4444)
                continue;
            // 12 stands for Pal8 with a palette.
            const PelFmt source_format = sid == 12 ? PelFmt(format_id::pal8, &palette) : PelFmt(sid);
            for (bool keyed : { false, true }) {
                SCOPED_TRACE(testing::Message() << "target " << tid << " source " << sid << " keyed " << keyed);
                GuardedImage source(5, 3, source_format);
                source.randomise(random);
                if (keyed)
                    source.image().set_color_key(source.value(2, 1));
                GuardedImage drawn(6, 4, PelFmt(tid));
                drawn.randomise(random);
                GuardedImage assigned(6, 4, PelFmt(tid));
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 6; ++x)
                        assigned.set_value(x, y, drawn.value(x, y));
                const auto before = drawn.pixel_bytes();
                bool draw_threw = false, assign_threw = false;
                try {
                    img_test::draw(drawn.image(), 1, 1, source.image());
                } catch (const std::exception&) {
                    draw_threw = true;
                }
                try {
                    assigned.image().assign(1, 1, source.image());
                } catch (const std::exception&) {
                    assign_threw = true;
                }
                EXPECT_EQ(draw_threw, assign_threw);
                if (draw_threw) {
                    EXPECT_EQ(drawn.image().locks, 0);
                    EXPECT_EQ(drawn.pixel_bytes(), before);
                }
                EXPECT_EQ(drawn.pixel_bytes(), assigned.pixel_bytes());
                EXPECT_TRUE(drawn.untouched_outside());
                ++same;
            }
        }
    }
    EXPECT_EQ(same, 12 * 10 * 2);

    GuardedImage t(2, 2, PelFmt(format_id::rgb888));
    GuardedImage s(2, 2, PelFmt(format_id::pal8));
    EXPECT_TRUE(img_test::throws_not_implemented([&] { img_test::draw(t.image(), 0, 0, s.image()); }));
}

// Every running cell of the draw table against the generic kernel.
TEST(Draw, EveryTableRowMatchesTheGenericPath)
{
    std::mt19937 random(99);
    std::vector<uint8_t> quads(256 * 4);
    for (auto& b : quads)
        b = uint8_t(random());
    Palette palette;
    palette.set_rgba(quads.data(), 256);
    const BinaryTable& table = draw_table();
    int rows = 0;
    for (uint32_t tid = 1; tid <= 9; ++tid) {
        for (uint32_t sid = 1; sid <= 10; ++sid) {
            const PelFmt source_format = sid == 10 ? PelFmt(format_id::pal8, &palette) : PelFmt(sid);
            for (bool keyed : { false, true }) {
                GuardedImage source(9, 4, source_format, 1, keyed);
                if (sid == format_id::rgba8888 || sid == format_id::rgba5551 || sid == format_id::rgba4444)
                    randomise_alpha_source(source, random);
                else
                    source.randomise(random);
                if (keyed)
                    source.image().set_color_key(source.value(4, 1));
                GuardedImage fast(11, 6, PelFmt(tid), 3);
                fast.randomise(random);
                GuardedImage slow(11, 6, PelFmt(tid), 3, true);
                slow.image().assign(0, 0, fast.image());
                if (table.cell(format_slot(fast.image()), format_slot(source.image())).action != Action::run)
                    continue;
                ++rows;
                img_test::draw(fast.image(), 2, 1, source.image());
                {
                    ForcedGeneric forced;
                    img_test::draw(slow.image(), 2, 1, source.image());
                }
                EXPECT_EQ(fast.pixel_bytes(), slow.pixel_bytes())
                    << table.row_name(format_slot(fast.image()), format_slot(source.image())) << " keyed " << keyed;
                EXPECT_TRUE(fast.untouched_outside());
                EXPECT_TRUE(slow.untouched_outside());
            }
        }
    }
    EXPECT_EQ(rows, 2 * (8 * 9 + 2));
    EXPECT_EQ(table.row_name(FormatSlot::rgb565, FormatSlot::rgba8888), "draw_rgba8888_to_rgb565");

    // Sources without alpha run the assign family's own instantiations.
    for (size_t t = 0; t < format_slot_count; ++t)
        for (size_t s = 0; s < format_slot_count; ++s) {
            if (is_direct_slot(FormatSlot(t)) && draws_by_alpha(FormatSlot(s)))
                continue;
            const BinaryCell& draw = table.cell(FormatSlot(t), FormatSlot(s));
            const BinaryCell& assign = assign_table().cell(FormatSlot(t), FormatSlot(s));
            EXPECT_EQ(draw.action, assign.action);
            EXPECT_EQ(draw.plain, assign.plain);
            EXPECT_EQ(draw.keyed, assign.keyed);
        }
}

} // namespace
