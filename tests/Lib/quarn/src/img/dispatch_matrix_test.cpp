// Every target format against every source format, palettes included: each
// assign either converts as the member table says, leaves the target as it
// was, or throws "NOT IMPLEMENTED" before either image is locked. The
// expectations come from the test's own model of the formats.
#include "ImgTestImages.h"
#include "ImgTestModel.h"

#include "img/img.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace quarn::g;
using img_test::GuardedImage;

namespace {

struct FormatCase {
    uint32_t id;
    bool with_palette;
    std::string name() const { return std::to_string(id) + (with_palette ? "+palette" : ""); }
};

std::vector<FormatCase> format_cases()
{
    std::vector<FormatCase> cases;
    for (uint32_t id = 0; id <= 11; ++id)
        cases.push_back({ id, false });
    cases.push_back({ format_id::pal8, true });
    // A palette paired with another id is still a palette image.
    cases.push_back({ format_id::rgb565, true });
    return cases;
}

enum class Outcome { unchanged, converted, index_copy, throws };

Outcome expected_outcome(const FormatCase& target, const FormatCase& source)
{
    if (target.id == 0 && !target.with_palette)
        return Outcome::unchanged;
    if (source.id == 0 && !source.with_palette)
        return Outcome::unchanged;
    if (target.with_palette || target.id == format_id::pal8)
        return source.id == format_id::pal8 ? Outcome::index_copy : Outcome::unchanged;
    if (target.id == format_id::raw16 || target.id == format_id::raw32)
        return Outcome::unchanged;
    if (source.with_palette)
        return Outcome::converted;
    if (source.id >= format_id::pal8)
        return Outcome::throws;
    return Outcome::converted;
}

TEST(DispatchMatrix, AssignDoesWhatTheMemberTableSaysForEveryPair)
{
    std::mt19937 random(2024);
    std::vector<uint8_t> quads(50 * 4);
    for (auto& b : quads)
        b = uint8_t(random());
    Palette palette;
    palette.set_rgba(quads.data(), 50); // indexes 50 to 255 have no entry

    const Rect source_rect { 0, 0, 4, 3 };
    const int tx = 1, ty = 1;
    int converted = 0, copies = 0, thrown = 0, unchanged = 0;
    for (const FormatCase& t : format_cases()) {
        for (const FormatCase& s : format_cases()) {
            for (bool keyed : { false, true }) {
                SCOPED_TRACE("target " + t.name() + " source " + s.name() + (keyed ? " keyed" : ""));
                const PelFmt target_format = t.with_palette ? PelFmt(t.id, &palette) : PelFmt(t.id);
                const PelFmt source_format = s.with_palette ? PelFmt(s.id, &palette) : PelFmt(s.id);
                GuardedImage target(6, 5, target_format, 1, (t.id + s.id) % 2 == 1);
                GuardedImage source(4, 3, source_format, 2, s.id % 3 == 0);
                target.randomise(random);
                source.randomise(random);
                if (keyed)
                    source.image().set_color_key(source.value(1, 1));
                const auto before = target.pixel_bytes();
                std::vector<uint32_t> old(30);
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x)
                        old[size_t(y * 6 + x)] = target.value(x, y);

                const Outcome outcome = expected_outcome(t, s);
                if (outcome == Outcome::throws) {
                    EXPECT_TRUE(img_test::throws_not_implemented(
                        [&] { target.image().assign(tx, ty, source.image(), &source_rect); }));
                    EXPECT_EQ(target.image().locks, 0);
                    EXPECT_EQ(source.image().locks, 0);
                    EXPECT_EQ(target.pixel_bytes(), before);
                    ++thrown;
                    continue;
                }
                target.image().assign(tx, ty, source.image(), &source_rect);
                EXPECT_TRUE(target.untouched_outside());
                if (outcome == Outcome::unchanged) {
                    EXPECT_EQ(target.pixel_bytes(), before);
                    ++unchanged;
                    continue;
                }
                outcome == Outcome::converted ? ++converted : ++copies;
                const uint32_t key = source.image().key_pixel();
                for (int y = 0; y < 5; ++y) {
                    for (int x = 0; x < 6; ++x) {
                        const uint32_t was = old[size_t(y * 6 + x)];
                        const bool inside = x >= tx && x < tx + 4 && y >= ty && y < ty + 3;
                        if (!inside) {
                            EXPECT_EQ(target.value(x, y), was) << x << "," << y;
                            continue;
                        }
                        const uint32_t v = source.value(x - tx, y - ty);
                        uint32_t want = was;
                        if (outcome == Outcome::index_copy) {
                            const uint32_t index = v & 0xFF;
                            if (!(keyed && index == (key & 0xFF)))
                                want = (was & ~0xFFu) | index;
                        } else if (s.with_palette) {
                            const uint32_t index = v & 0xFF;
                            if (!(keyed && index == key)) {
                                uint32_t entry = 0;
                                if (index < 50)
                                    std::memcpy(&entry, &quads[index * 4], 4);
                                want = index < 50 ? img_test::model_convert(3, entry, t.id) : 0;
                            }
                        } else {
                            const uint32_t mask = img_test::model_key_mask(s.id);
                            if (!(keyed && (v & mask) == (key & mask)))
                                want = img_test::model_assign(t.id, was, s.id, v);
                        }
                        EXPECT_EQ(target.value(x, y), want) << x << "," << y;
                    }
                }
            }
        }
    }
    // Direct targets from direct and palette sources; index targets from Pal8
    // sources; direct targets from Pal8 without a palette and raw sources.
    EXPECT_EQ(converted, 2 * 8 * (8 + 2));
    EXPECT_EQ(copies, 2 * 3 * 2);
    EXPECT_EQ(thrown, 2 * 8 * 3);
    EXPECT_EQ(unchanged, 2 * 14 * 14 - converted - copies - thrown);
}

} // namespace
