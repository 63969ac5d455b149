#include "gfx_test_support.h"

namespace {

using PelFmtTest = GfxTest;

TEST_F(PelFmtTest, CopiesOwnTheirPaletteAndOriginalsSurviveThem)
{
    auto shared = make_palette({ 0x00112233, 0x00445566 });
    pelFmtCTy borrowed(pel_FMT_P8, shared.get());
    EXPECT_EQ(borrowed.ownsPal, 0u);

    auto copy = std::make_unique<pelFmtCTy>(borrowed);
    ASSERT_NE(copy->palette, nullptr);
    EXPECT_NE(copy->palette, shared.get());
    EXPECT_EQ(copy->ownsPal, 1u);
    EXPECT_EQ(copy->palette->entries[1], 0x00445566u);

    pelFmtCTy second(*copy);
    copy.reset();
    ASSERT_EQ(second.palette->count, 2u) << "destroying a copy leaves the others intact";
    EXPECT_EQ(second.palette->entries[0], 0x00112233u);

    // Assigning into a record that points at a shared palette leaves it alive.
    pelFmtCTy target(pel_FMT_P8, shared.get());
    target = pelFmtCTy(pel_FMT_R5G6B5);
    EXPECT_EQ(target.format, pel_FMT_R5G6B5);
    EXPECT_EQ(target.palette, nullptr);
    EXPECT_EQ(shared->entries[1], 0x00445566u);

    // Assigning an owning record over an owning one: the old palette goes.
    target = second;
    EXPECT_NE(target.palette, second.palette);
    target = second;
    const pelFmtCTy& self = target;
    target = self;
    EXPECT_EQ(target.palette->count, 2u);
    EXPECT_EQ(target.format, pel_FMT_P8);
}

TEST_F(PelFmtTest, SetAttachAndClearPalette)
{
    auto a = make_palette({ 1, 2, 3 });
    auto b = make_palette({ 4 });
    pelFmtCTy fmt(pel_FMT_P8);
    fmt.SetPalette(a.get());
    ASSERT_EQ(fmt.ownsPal, 1u);
    palCTy* own = fmt.palette;
    EXPECT_NE(own, a.get());
    fmt.SetPalette(b.get());
    EXPECT_EQ(fmt.palette, own) << "an owned palette is copied into";
    EXPECT_EQ(own->count, 1u);

    fmt.AttachPalette(a.get());
    EXPECT_EQ(fmt.palette, a.get());
    EXPECT_EQ(fmt.ownsPal, 0u);
    fmt.SetPalette(b.get());
    EXPECT_NE(fmt.palette, a.get()) << "a shared palette is never written into";
    EXPECT_EQ(a->count, 3u);
    EXPECT_EQ(fmt.ownsPal, 1u);

    fmt.SetPalette(nullptr);
    EXPECT_EQ(fmt.palette, nullptr);
    EXPECT_EQ(fmt.ownsPal, 0u);
}

TEST_F(PelFmtTest, PaletteTablesComeThroughTheRecord)
{
    auto pal = make_palette({ 0x00FFFFFF, 0x00000000 });
    pelFmtCTy fmt(pel_FMT_P8, pal.get());
    const auto* table = static_cast<const uint16_t*>(fmt.GetPalTbl(pel_FMT_R5G6B5));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table, reinterpret_cast<const uint16_t*>(pal->table));
    EXPECT_EQ(table[0], 0xFFFF);
    EXPECT_EQ(table[1], 0);
    EXPECT_EQ(pelFmtCTy(pel_FMT_P8).GetPalTbl(pel_FMT_R5G6B5), nullptr);
}

TEST_F(PelFmtTest, StreamFormsOfTheThreePaletteKinds)
{
    auto pal = make_palette({ 0x00A0B0C0 });
    pelFmtCTy none(pel_FMT_R5G6B5);
    pelFmtCTy shared(pel_FMT_P8, pal.get());
    pelFmtCTy own(pel_FMT_P8);
    own.SetPalette(pal.get());
    auto w = write_stream();
    none.Write(w.get());
    shared.Write(w.get());
    own.Write(w.get());
    const std::vector<uint8_t> golden
        = Bytes().u32(4).u32(0).u32(9).u32(2).u32(9).u32(1).u32(1).raw({ 0xA0, 0xB0, 0xC0 });
    EXPECT_EQ(bytes_of(w.get()), golden);

    auto r = read_stream(golden);
    pelFmtCTy a, b, c;
    c.SetPalette(pal.get());
    ASSERT_EQ(a.Read(r.get()), 0);
    ASSERT_EQ(b.Read(r.get()), 0);
    ASSERT_EQ(c.Read(r.get()), 0);
    EXPECT_EQ(a.format, pel_FMT_R5G6B5);
    EXPECT_EQ(a.palette, nullptr);
    EXPECT_EQ(b.format, pel_FMT_P8);
    EXPECT_EQ(b.palette, palSharedPlaceholder()) << "kind 2 waits for the image set";
    EXPECT_EQ(b.ownsPal, 0u);
    ASSERT_NE(c.palette, nullptr);
    EXPECT_EQ(c.ownsPal, 1u);
    EXPECT_EQ(c.palette->entries[0], 0xFFA0B0C0u);
    EXPECT_TRUE(reports().empty());

    // The placeholder survives copies and writes as kind 2 again.
    pelFmtCTy bCopy(b);
    EXPECT_EQ(bCopy.palette, palSharedPlaceholder());
    EXPECT_EQ(bCopy.GetPalTbl(pel_FMT_R5G6B5), nullptr);
    auto again = write_stream();
    bCopy.Write(again.get());
    EXPECT_EQ(bytes_of(again.get()), Bytes().u32(9).u32(2).get());
}

TEST_F(PelFmtTest, AnUnknownPaletteKindIsReportedAndReadingGoesOn)
{
    auto pal = make_palette({ 1 });
    pelFmtCTy fmt(pel_FMT_R8G8B8, pal.get());
    auto r = read_stream(Bytes().u32(pel_FMT_P8).u32(3).u32(77));
    EXPECT_EQ(fmt.Read(r.get()), 0);
    EXPECT_EQ(messages(), std::vector<std::string> { "Unknow palette kind: 3" });
    EXPECT_EQ(reports()[0].level, ERR_LEVEL_ERROR);
    EXPECT_EQ(fmt.palette, pal.get()) << "the palette stays as it was";
    EXPECT_EQ(fmt.format, pel_FMT_P8);
    EXPECT_EQ(r->position, 8u);

    answer() = ERR_DEBUG_BREAK;
    auto big = read_stream(Bytes().u32(1).u32(0x80000000));
    EXPECT_EQ(fmt.Read(big.get()), 0);
    EXPECT_EQ(messages().back(), "Unknow palette kind: -2147483648");
}

TEST_F(PelFmtTest, BadRecordsLeaveTheRecordAsItWas)
{
    auto pal = make_palette({ 1 });
    pelFmtCTy fmt(pel_FMT_R8G8B8, pal.get());

    auto badFormat = read_stream(Bytes().u32(11).u32(0));
    EXPECT_EQ(fmt.Read(badFormat.get()), ERR_DATA);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0].code, ERR_DATA);

    auto cut = read_stream(Bytes().u32(9).u32(1).u32(5).raw({ 1, 2, 3 }));
    EXPECT_EQ(fmt.Read(cut.get()), ERR_END_OF_DATA);
    auto cutEarly = read_stream(Bytes().u32(9));
    EXPECT_EQ(fmt.Read(cutEarly.get()), ERR_END_OF_DATA);

    EXPECT_EQ(fmt.format, pel_FMT_R8G8B8);
    EXPECT_EQ(fmt.palette, pal.get());
}

} // namespace
