#include "gfx_test_support.h"

#include <array>

namespace {

using PelConvertTest = GfxTest;

uint8_t chan(uint32_t colour, int shift) { return static_cast<uint8_t>(colour >> shift); }

TEST_F(PelConvertTest, BytesPerPelOfEveryCode)
{
    const std::array<uint32_t, 11> expected = { 4, 3, 4, 4, 2, 2, 2, 2, 2, 1, 4 };
    for (uint32_t code = 0; code < 11; ++code)
        EXPECT_EQ(pelSize(code), expected[code]) << code;
    EXPECT_EQ(pelSize(11), 0u);
    EXPECT_EQ(pelSize(0xFFFFFFFF), 0u);
}

TEST_F(PelConvertTest, SixteenBitPackersRoundTripEveryPel)
{
    for (uint32_t v = 0; v < 0x10000; ++v) {
        const auto pel = static_cast<uint16_t>(v);
        uint8_t bgr[3];
        pel565ToBGR(bgr, pel);
        EXPECT_EQ(bgr[0] & 7, 0) << "no replication into the low bits";
        EXPECT_EQ(bgr[1] & 3, 0);
        uint16_t back = 0;
        pelSet565(&back, bgr);
        ASSERT_EQ(back, pel);
        uint32_t colour;
        pel565ToColor(&colour, pel);
        ASSERT_EQ(colour, 0xFF000000u | uint32_t { bgr[2] } << 16 | uint32_t { bgr[1] } << 8 | bgr[0]);

        pel555ToBGR(bgr, pel);
        uint16_t keepTop = 0x8000;
        pelSet555(&keepTop, bgr);
        ASSERT_EQ(keepTop, (pel & 0x7FFF) | 0x8000) << "bit 15 of the target is kept";
        uint16_t keepClear = 0;
        pelSet555(&keepClear, bgr);
        ASSERT_EQ(keepClear, pel & 0x7FFF);
        pel555ToColor(&colour, pel);
        ASSERT_EQ(colour >> 24, 0xFFu) << "bit 15 never reaches the alpha";

        // 5:5:5 -> 5:6:5 -> 5:5:5 is lossless; the way back drops green's low bit.
        uint16_t wide = 0;
        pel555To565(&wide, pel);
        ASSERT_EQ(wide & 0x20, 0);
        uint16_t narrow = 0x8000;
        pel565To555(&narrow, wide);
        ASSERT_EQ(narrow, (pel & 0x7FFF) | 0x8000);
        uint16_t dropped = 0;
        pel565To555(&dropped, pel);
        ASSERT_EQ((dropped >> 5) & 31, (pel >> 6) & 31);
    }
}

TEST_F(PelConvertTest, PelMakersMaskTheirChannels)
{
    EXPECT_EQ(pelMake565(31, 63, 31), 0xFFFF);
    EXPECT_EQ(pelMake565(1, 64 + 2, 32 + 3), (1 << 11) | (2 << 5) | 3);
    uint16_t pel = 0x8000;
    pelMake555(&pel, 33, 34, 35);
    EXPECT_EQ(pel, 0x8000 | (1 << 10) | (2 << 5) | 3);
    pel = 0x7FFF;
    pelMake555(&pel, 0, 0, 0);
    EXPECT_EQ(pel, 0);
}

// Every colour through each 16-bit format and back: the channels lose only
// their low bits (truncation, never rounding up) and come back opaque; and
// every pel survives the way colour -> pel.
TEST_F(PelConvertTest, SixteenBitFormatsTruncateEveryColour)
{
    for (uint32_t code : { pel_FMT_R5G6B5, pel_FMT_X1R5G5B5, pel_FMT_A1R5G5B5 }) {
        const pelFmtCTy fmt(code);
        const int greenBits = code == pel_FMT_R5G6B5 ? 6 : 5;
        for (uint32_t rgb = 0; rgb < 0x1000000; ++rgb) {
            const uint32_t colour = rgb | (rgb * 0x9E3779B9u & 0xFF000000u); // any alpha
            const uint32_t pel = fmt.ColorToPel(colour, pel_FMT_X8R8G8B8);
            const uint32_t back = fmt.PelToColor(pel, pel_FMT_X8R8G8B8);
            const uint8_t b = chan(colour, 0), g = chan(colour, 8), r = chan(colour, 16);
            if (back != 0xFF000000u + ((r & 0xF8u) << 16) + ((g & (greenBits == 6 ? 0xFCu : 0xF8u)) << 8)
                    + (b & 0xF8u)) {
                FAIL() << "format " << code << " colour " << std::hex << colour << " came back as " << back;
            }
        }
        for (uint32_t pel = 0; pel < 0x10000; ++pel) {
            const uint32_t canon = code == pel_FMT_R5G6B5 ? pel
                : code == pel_FMT_X1R5G5B5                ? (pel & 0x7FFF)
                                                          : (pel | 0x8000);
            ASSERT_EQ(fmt.ColorToPel(fmt.PelToColor(pel, pel_FMT_X8R8G8B8), pel_FMT_X8R8G8B8), canon)
                << code << " " << pel;
        }
    }
}

TEST_F(PelConvertTest, ColourToPelByFormat)
{
    const uint32_t colour = 0x7BFF8040; // A 0x7B, R 255, G 128, B 64
    EXPECT_EQ(pelFmtCTy(pel_FMT_R5G6B5).ColorToPel(colour, 2), (31u << 11) | (32u << 5) | 8u);
    EXPECT_EQ(pelFmtCTy(pel_FMT_R8G8B8).ColorToPel(colour, 2), 0x00FF8040u);
    EXPECT_EQ(pelFmtCTy(pel_FMT_X8R8G8B8).ColorToPel(colour, 2), colour);
    EXPECT_EQ(pelFmtCTy(pel_FMT_A8R8G8B8).ColorToPel(colour, 2), colour);
    EXPECT_EQ(pelFmtCTy(pel_FMT_X1R5G5B5).ColorToPel(colour, 2), (31u << 10) | (16u << 5) | 8u);
    EXPECT_EQ(pelFmtCTy(pel_FMT_A1R5G5B5).ColorToPel(colour, 2), 0x8000u | (31u << 10) | (16u << 5) | 8u);
    for (uint32_t code : { 0u, 7u, 8u, 10u, 11u, 9u })
        EXPECT_EQ(pelFmtCTy(code).ColorToPel(colour, 2), colour) << code;
    // Only X8R8G8B8 colours are converted.
    for (uint32_t cf : { 0u, 1u, 3u, 4u })
        EXPECT_EQ(pelFmtCTy(pel_FMT_R5G6B5).ColorToPel(colour, cf), colour) << cf;
}

TEST_F(PelConvertTest, PelToColourWithoutPalette)
{
    EXPECT_EQ(pelFmtCTy(pel_FMT_R5G6B5).PelToColor(0xFFFF, 2), 0xFFF8FCF8u);
    EXPECT_EQ(pelFmtCTy(pel_FMT_A1R5G5B5).PelToColor(0x7FFF, 2), 0xFFF8F8F8u) << "alpha bit clear, colour opaque";
    EXPECT_EQ(pelFmtCTy(pel_FMT_X1R5G5B5).PelToColor(0x801F, 2), 0xFF0000F8u);
    EXPECT_EQ(pelFmtCTy(pel_FMT_R8G8B8).PelToColor(0x12345678, 2), 0xFF345678u);
    EXPECT_EQ(pelFmtCTy(pel_FMT_X8R8G8B8).PelToColor(0x12345678, 2), 0x12345678u) << "top byte becomes alpha";
    EXPECT_EQ(pelFmtCTy(pel_FMT_A8R8G8B8).PelToColor(0x12345678, 2), 0x12345678u);
    for (uint32_t code : { 0u, 7u, 8u, 9u, 10u })
        EXPECT_EQ(pelFmtCTy(code).PelToColor(0x1234, 2), 0x1234u) << code;
    EXPECT_EQ(pelFmtCTy(pel_FMT_R5G6B5).PelToColor(0xFFFF, 4), 0xFFFFu) << "other wanted formats: unchanged";
}

TEST_F(PelConvertTest, PalettedPelsAreIndexes)
{
    auto pal = make_palette({ 0x11223344, 0x80FF8040, 0x00FFFFFF });
    const pelFmtCTy fmt(pel_FMT_P8, pal.get());
    EXPECT_EQ(fmt.PelToColor(1, 1), 0x00FF8040u);
    EXPECT_EQ(fmt.PelToColor(1, 2), 0x80FF8040u) << "alpha of the entry included";
    EXPECT_EQ(fmt.PelToColor(1, 3), 0x80FF8040u);
    EXPECT_EQ(fmt.PelToColor(1, 4), (31u << 11) | (32u << 5) | 8u);
    EXPECT_EQ(fmt.PelToColor(2, 5), 0x7FFFu) << "5:5:5 with bit 15 clear";
    EXPECT_EQ(fmt.PelToColor(2, 6), 0x7FFFu);
    EXPECT_EQ(fmt.PelToColor(1, 9), 1u);
    EXPECT_EQ(fmt.PelToColor(1, 0), 1u);
    EXPECT_EQ(fmt.PelToColor(3, 2), 0u) << "an index past the entries reads as colour 0";
    EXPECT_EQ(fmt.PelToColor(0xFFFFFFFF, 2), 0u);

    EXPECT_EQ(fmt.ColorToPel(0x00FF8041, 2), 1u) << "nearest entry";
    EXPECT_EQ(fmt.ColorToPel(0x00FFFFFF, 2), 2u);
    EXPECT_EQ(fmt.ColorToPel(0x00FFFFFF, 3), 0x00FFFFFFu);
    EXPECT_TRUE(reports().empty());
}

} // namespace
