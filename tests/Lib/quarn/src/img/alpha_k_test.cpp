#include "ImgTestBlendModel.h"
#include "ImgTestImages.h"
#include "ImgTestModel.h"
#include "ImgTestOps.h"

#include "img/AlphaK.h"
#include "img/Dispatch.h"
#include "img/img.h"

#include <gtest/gtest.h>
#include <random>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

struct ForcedGeneric {
    ForcedGeneric() { force_generic_path(true); }
    ~ForcedGeneric() { force_generic_path(false); }
};

Palette random_palette(std::mt19937& random, uint32_t count, std::vector<uint8_t>& quads)
{
    quads.resize(size_t(count) * 4);
    for (auto& b : quads)
        b = uint8_t(random());
    Palette palette;
    palette.set_rgba(quads.data(), count);
    return palette;
}

// Every direct-colour target under every direct-colour and palette source,
// at each weight, plain and keyed, against the rule table.
TEST(AlphaK, EveryPairAndWeightFollowsItsRule)
{
    std::mt19937 random(31);
    std::vector<uint8_t> quads;
    Palette palette = random_palette(random, 200, quads); // indexes 200 to 255 have no entry
    const uint32_t weights[] = { 0, 1, 128, 254, 255, 256 };
    int blended = 0;
    for (uint32_t tid = 1; tid <= 8; ++tid) {
        // Source 0 stands for a Pal8 source with a palette.
        for (uint32_t sid = 0; sid <= 8; ++sid) {
            const PelFmt source_format = sid == 0 ? PelFmt(format_id::pal8, &palette) : PelFmt(sid);
            for (uint32_t k : weights) {
                for (bool keyed : { false, true }) {
                    SCOPED_TRACE(testing::Message()
                        << "target " << tid << " source " << sid << " k " << k << " keyed " << keyed);
                    GuardedImage target(8, 6, PelFmt(tid), 1, k % 2 == 1);
                    GuardedImage source(6, 4, source_format, 2, tid % 2 == 1);
                    target.randomise(random);
                    source.randomise(random);
                    // Extremes of every channel on both sides.
                    target.set_value(1, 1, 0);
                    target.set_value(2, 1, 0xFFFFFFFF);
                    source.set_value(1, 0, 0xFFFFFFFF);
                    source.set_value(0, 0, 0);
                    if (keyed)
                        source.image().set_color_key(source.value(3, 2));
                    std::vector<uint32_t> old;
                    for (int y = 0; y < 6; ++y)
                        for (int x = 0; x < 8; ++x)
                            old.push_back(target.value(x, y));

                    img_test::blend(k, target.image(), 1, 1, source.image());
                    EXPECT_TRUE(target.untouched_outside());
                    const uint32_t key = source.image().key_pixel();
                    for (int y = 0; y < 6; ++y)
                        for (int x = 0; x < 8; ++x) {
                            const uint32_t was = old[size_t(y * 8 + x)];
                            uint32_t want = was;
                            if (x >= 1 && x < 7 && y >= 1 && y < 5) {
                                const uint32_t v = source.value(x - 1, y - 1);
                                if (sid == 0) {
                                    const uint32_t index = v & 0xFF;
                                    uint32_t entry = 0;
                                    if (index < 200)
                                        std::memcpy(&entry, &quads[index * 4], 4);
                                    const uint32_t in_target = index < 200 ? img_test::model_convert(3, entry, tid) : 0;
                                    if (!(keyed && index == key))
                                        want = img_test::model_alpha_k(tid, was, 0, in_target, k);
                                } else {
                                    const uint32_t mask = img_test::model_key_mask(sid);
                                    if (!(keyed && (v & mask) == (key & mask)))
                                        want = img_test::model_alpha_k(tid, was, sid, v, k);
                                }
                                ++blended;
                            }
                            ASSERT_EQ(target.value(x, y), want) << x << "," << y << " was " << was;
                        }
                }
            }
        }
    }
    EXPECT_EQ(blended, 8 * 9 * 6 * 2 * 24);
}

uint32_t blend_one(uint32_t k, uint32_t target_id, uint32_t target_value, uint32_t source_id, uint32_t source_value)
{
    GuardedImage t(1, 1, PelFmt(target_id));
    GuardedImage s(1, 1, PelFmt(source_id));
    t.set_value(0, 0, target_value);
    s.set_value(0, 0, source_value);
    img_test::blend(k, t.image(), 0, 0, s.image());
    EXPECT_TRUE(t.untouched_outside());
    return t.value(0, 0);
}

TEST(AlphaK, ExamplesOfTheRules)
{
    using namespace format_id;
    // K = 255 copies an Rgba8888 word, alpha included; 254 blends and keeps
    // the target's alpha.
    EXPECT_EQ(blend_one(255, rgba8888, 0x11000000, rgba8888, 0x80FFFFFF), 0x80FFFFFFu);
    EXPECT_EQ(blend_one(254, rgba8888, 0x11000000, rgba8888, 0x80FFFFFF), 0x11FDFDFDu);
    // Rule N at 255: 255 over 0 gives 254; rule G at 255 assigns: 255.
    EXPECT_EQ(blend_one(255, rgbx8888, 0x7F000000, rgbx8888, 0x00FFFFFF), 0x7FFEFEFEu);
    EXPECT_EQ(blend_one(255, rgbx8888, 0x7F000000, rgb888, 0x00FFFFFF), 0x7FFFFFFFu);
    // K = 128, 255 over 255: 254 at 8 bits, 30 at 5 bits (rule G).
    EXPECT_EQ(blend_one(128, rgb888, 0xFFFFFF, rgb888, 0xFFFFFF), 0xFEFEFEu);
    EXPECT_EQ(blend_one(128, rgbx5551, 0x7FFF, rgb565, 0xFFFF), 0x7BDEu);
    // Rule D on 5-bit red and 6-bit green.
    EXPECT_EQ(blend_one(128, rgb565, 0xF800, rgb565, 0x0000) >> 11, 15u);
    EXPECT_EQ(blend_one(128, rgb565, 0x0000, rgb565, 0xF800) >> 11, 15u);
    EXPECT_EQ(blend_one(255, rgb565, 0x0000, rgb565, 0xF800) >> 11, 30u);
    EXPECT_EQ(blend_one(255, rgb565, 0xF800, rgb565, 0x0000) >> 11, 0u);
    EXPECT_EQ(blend_one(255, rgb565, 0x0000, rgb565, 0x07E0) >> 5, 62u);
    // K = 255 from Rgb888 into 4444: full alpha nibble, or the x nibble
    // kept.
    EXPECT_EQ(blend_one(255, rgba4444, 0x0000, rgb888, 0x000000), 0xF000u);
    EXPECT_EQ(blend_one(255, rgbx4444, 0x5000, rgb888, 0xFFFFFF), 0x5FFFu);
    // Rule A at 255 stores full alpha; at 256 the colour is exact and the
    // alpha the target's.
    EXPECT_EQ(blend_one(255, rgba8888, 0x00000000, rgbx8888, 0x12345678), 0xFF345678u);
    EXPECT_EQ(blend_one(256, rgba8888, 0x00000000, rgbx8888, 0x12345678), 0x00345678u);
    // K = 0 keeps even what rule W would copy.
    EXPECT_EQ(blend_one(0, rgbx4444, 0x1234, rgbx4444, 0xFFFF), 0x1234u);
}

TEST(AlphaK, WeightsAbove256CountAs256)
{
    using namespace format_id;
    for (uint32_t k : { 257u, 300u, 0xFFFFFFFFu }) {
        EXPECT_EQ(blend_one(k, rgba8888, 0x5A000000, rgbx8888, 0x00FFFFFF), 0x5AFFFFFFu);
        EXPECT_EQ(blend_one(k, rgb565, 0xFFFF, rgb565, 0x0000), 0x0000u);
        EXPECT_EQ(blend_one(k, rgba4444, 0xA000, rgb888, 0x00FF0000), 0xAF00u);
    }
}

TEST(AlphaK, KeysAndPalettes)
{
    // An Rgba8888 pixel that differs from the key only in alpha is blended;
    // an Rgbx8888 one is skipped.
    EXPECT_EQ([] {
        GuardedImage t(1, 1, PelFmt(format_id::rgb888));
        GuardedImage s(1, 1, PelFmt(format_id::rgba8888));
        s.set_value(0, 0, 0x80FFFFFF);
        s.image().set_color_key(0xFFFFFFFF);
        img_test::blend(256, t.image(), 0, 0, s.image());
        return t.value(0, 0);
    }(), 0xFFFFFFu);
    EXPECT_EQ([] {
        GuardedImage t(1, 1, PelFmt(format_id::rgb888));
        GuardedImage s(1, 1, PelFmt(format_id::rgbx8888));
        t.set_value(0, 0, 0);
        s.set_value(0, 0, 0x80FFFFFF);
        s.image().set_color_key(0xFFFFFFFF);
        img_test::blend(256, t.image(), 0, 0, s.image());
        return t.value(0, 0);
    }(), 0u);

    // One palette blends by rule N into Rgbx8888 and by W into Rgba8888;
    // the keyed index is skipped.
    const uint8_t quads[] = { 0xFF, 0xFF, 0xFF, 0x40, 0x10, 0x20, 0x30, 0xFF };
    Palette palette;
    palette.set_rgba(quads, 2);
    GuardedImage s(2, 1, PelFmt(format_id::pal8, &palette));
    s.set_value(0, 0, 0);
    s.set_value(1, 0, 1);
    GuardedImage x(2, 1, PelFmt(format_id::rgbx8888));
    GuardedImage a(2, 1, PelFmt(format_id::rgba8888));
    for (GuardedImage* t : { &x, &a }) {
        t->set_value(0, 0, 0x11000000);
        t->set_value(1, 0, 0x11000000);
    }
    img_test::blend(255, x.image(), 0, 0, s.image());
    img_test::blend(255, a.image(), 0, 0, s.image());
    EXPECT_EQ(x.value(0, 0), 0x11FEFEFEu);
    EXPECT_EQ(a.value(0, 0), 0x40FFFFFFu);
    s.image().set_color_key(1);
    a.set_value(1, 0, 0x11000000);
    img_test::blend(128, a.image(), 0, 0, s.image());
    EXPECT_EQ(a.value(1, 0), 0x11000000u);
}

// Pairs without a rule throw before either image is locked; images of
// format 0 are left alone.
TEST(AlphaK, UnsupportedFormatsThrowBeforeLocking)
{
    const uint8_t quad[] = { 1, 2, 3, 4 };
    Palette palette;
    palette.set_rgba(quad, 1);
    struct Case {
        PelFmt target, source;
        bool throws;
    };
    const Case cases[] = {
        { PelFmt(format_id::pal8, &palette), PelFmt(format_id::rgb565), true },
        { PelFmt(format_id::pal8), PelFmt(format_id::pal8), true },
        { PelFmt(format_id::raw16), PelFmt(format_id::rgb565), true },
        { PelFmt(format_id::raw32), PelFmt(format_id::rgbx8888), true },
        { PelFmt(format_id::rgb565), PelFmt(format_id::pal8), true },
        { PelFmt(format_id::rgb565), PelFmt(format_id::raw16), true },
        { PelFmt(format_id::rgbx8888), PelFmt(format_id::raw32), true },
        { PelFmt(format_id::none), PelFmt(format_id::rgb565), false },
        { PelFmt(format_id::rgb565), PelFmt(format_id::none), false },
    };
    for (const Case& c : cases) {
        GuardedImage t(3, 2, c.target);
        GuardedImage s(3, 2, c.source);
        std::mt19937 random(1);
        t.randomise(random);
        const auto before = t.pixel_bytes();
        const bool threw = img_test::throws_not_implemented([&] { img_test::blend(128, t.image(), 0, 0, s.image()); });
        EXPECT_EQ(threw, c.throws) << c.target.id() << " from " << c.source.id();
        EXPECT_EQ(t.image().locks + s.image().locks, 0);
        EXPECT_EQ(t.pixel_bytes(), before);
    }
}

// Every running cell of the table, at weights that pick each loop, against
// the generic kernel.
TEST(AlphaK, EveryTableRowMatchesTheGenericPath)
{
    std::mt19937 random(5);
    std::vector<uint8_t> quads;
    Palette palette = random_palette(random, 256, quads);
    const BinaryTable& table = alpha_k_table();
    int rows = 0;
    for (uint32_t tid = 1; tid <= 8; ++tid) {
        for (uint32_t sid = 1; sid <= 9; ++sid) {
            const PelFmt source_format = sid == 9 ? PelFmt(format_id::pal8, &palette) : PelFmt(sid);
            for (uint32_t k : { 77u, 255u, 256u }) {
                for (bool keyed : { false, true }) {
                    GuardedImage source(9, 4, source_format, 1, keyed);
                    source.randomise(random);
                    if (keyed)
                        source.image().set_color_key(source.value(4, 1));
                    GuardedImage fast(11, 6, PelFmt(tid), 3);
                    fast.randomise(random);
                    GuardedImage slow(11, 6, PelFmt(tid), 3, true);
                    slow.image().assign(0, 0, fast.image());
                    ASSERT_EQ(table.cell(format_slot(fast.image()), format_slot(source.image())).action, Action::run);
                    ++rows;
                    img_test::blend(k, fast.image(), 2, 1, source.image());
                    {
                        ForcedGeneric forced;
                        img_test::blend(k, slow.image(), 2, 1, source.image());
                    }
                    EXPECT_EQ(fast.pixel_bytes(), slow.pixel_bytes())
                        << table.row_name(format_slot(fast.image()), format_slot(source.image())) << " k " << k
                        << " keyed " << keyed;
                    EXPECT_TRUE(fast.untouched_outside());
                }
            }
        }
    }
    EXPECT_EQ(rows, 8 * 9 * 3 * 2);
    EXPECT_EQ(alpha_k_rule(FormatSlot::rgb565, FormatSlot::palette), AlphaKRule::difference);
    EXPECT_EQ(alpha_k_rule(FormatSlot::rgba8888, FormatSlot::rgbx8888), AlphaKRule::opaque);
}

} // namespace
