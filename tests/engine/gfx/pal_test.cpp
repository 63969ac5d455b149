#include "gfx_test_support.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Counts the layer's allocations, and can make them fail.
class AllocSpy {
public:
    AllocSpy() : saved_(memHooks)
    {
        memHooks.alloc = &AllocSpy::alloc;
        calls() = 0;
        fail() = false;
    }
    ~AllocSpy() { memHooks = saved_; }
    static int& calls()
    {
        static int n = 0;
        return n;
    }
    static bool& fail()
    {
        static bool f = false;
        return f;
    }

private:
    static void* alloc(size_t size)
    {
        ++calls();
        return fail() ? nullptr : std::malloc(size);
    }
    memHooksTy saved_;
};

uint16_t u16_at(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

using PalTest = GfxTest;

TEST_F(PalTest, SetMakesEveryEntryOpaqueAndCopyKeepsAlpha)
{
    const uint32_t colours[] = { 0x00102030, 0x7F405060, 0xFFFFFFFF };
    palCTy pal;
    pal.Set(colours, 3);
    ASSERT_EQ(pal.count, 3u);
    EXPECT_EQ(pal.entries[0], 0xFF102030u);
    EXPECT_EQ(pal.entries[1], 0xFF405060u);
    EXPECT_EQ(pal.entries[2], 0xFFFFFFFFu);

    // Its own entries as the source.
    pal.entries[1] = 0x01020304;
    pal.Set(pal.entries, 2);
    ASSERT_EQ(pal.count, 2u);
    EXPECT_EQ(pal.entries[1], 0xFF020304u);

    auto src = make_palette({ 0x00ABCDEF, 0x80123456 });
    src->BuildTbl(pel_FMT_R5G6B5);
    palCTy copy;
    copy.BuildTbl(pel_FMT_R8G8B8);
    copy.Copy(src.get());
    ASSERT_EQ(copy.count, 2u);
    EXPECT_EQ(copy.entries[0], 0x00ABCDEFu);
    EXPECT_EQ(copy.entries[1], 0x80123456u);
    EXPECT_NE(copy.entries, src->entries);
    EXPECT_EQ(copy.tableFmt, 0u) << "the copy's table is stale and the source's is not taken";
    copy.Copy(&copy);
    EXPECT_EQ(copy.count, 2u);
}

TEST_F(PalTest, AnEntryBlockThatCannotBeHadLeavesAnEmptyPalette)
{
    auto pal = make_palette({ 1, 2, 3 });
    AllocSpy spy;
    AllocSpy::fail() = true;
    const uint32_t colours[] = { 5, 6 };
    pal->Set(colours, 2);
    EXPECT_EQ(pal->count, 0u);
    EXPECT_EQ(pal->entries, nullptr);
    EXPECT_EQ(pal->FindNearest(1, 2, 3), 0);
    ASSERT_FALSE(reports().empty());
    EXPECT_EQ(reports()[0].code, ERR_NO_MEMORY);
}

TEST_F(PalTest, TablesHoldTheEntriesAsPelsOfEachFormat)
{
    auto pal = make_palette({ 0x00FFFFFF, 0x80FF8040, 0x00000000 });
    pal->BuildTbl(pel_FMT_R8G8B8);
    const uint8_t rgb[] = { 0xFF, 0xFF, 0xFF, 0x40, 0x80, 0xFF, 0, 0, 0 };
    EXPECT_EQ(std::vector<uint8_t>(pal->table, pal->table + 9), std::vector<uint8_t>(rgb, rgb + 9));

    for (uint32_t f : { pel_FMT_X8R8G8B8, pel_FMT_A8R8G8B8 }) {
        pal->BuildTbl(f);
        EXPECT_EQ(std::memcmp(pal->table, pal->entries, 12), 0) << "all four bytes, alpha included";
    }

    pal->BuildTbl(pel_FMT_R5G6B5);
    EXPECT_EQ(u16_at(pal->table), 0xFFFF);
    EXPECT_EQ(u16_at(pal->table + 2), (31 << 11) | (32 << 5) | 8);
    EXPECT_EQ(u16_at(pal->table + 4), 0);

    pal->BuildTbl(pel_FMT_X1R5G5B5);
    EXPECT_EQ(u16_at(pal->table), 0x7FFF);
    EXPECT_EQ(u16_at(pal->table + 2), (31 << 10) | (16 << 5) | 8);
    pal->BuildTbl(pel_FMT_A1R5G5B5);
    EXPECT_EQ(u16_at(pal->table), 0xFFFF) << "palette colours are opaque";
    EXPECT_EQ(u16_at(pal->table + 4), 0x8000);
    EXPECT_EQ(pal->tableFmt, pel_FMT_A1R5G5B5);
    EXPECT_TRUE(reports().empty());
}

TEST_F(PalTest, TheTableIsBuiltOncePerFormatAndAgainAfterTheEntriesChange)
{
    auto pal = make_palette({ 0x00FF0000, 0x0000FF00 });
    AllocSpy spy;
    pal->BuildTbl(pel_FMT_R5G6B5);
    pal->BuildTbl(pel_FMT_R5G6B5);
    EXPECT_EQ(AllocSpy::calls(), 1);
    pal->BuildTbl(pel_FMT_R8G8B8);
    pal->BuildTbl(pel_FMT_R5G6B5);
    EXPECT_EQ(AllocSpy::calls(), 3) << "another format in between rebuilds both times";

    const uint32_t colours[] = { 0x000000FF };
    pal->Set(colours, 1);
    EXPECT_EQ(pal->tableFmt, 0u);
    pal->BuildTbl(pel_FMT_R5G6B5);
    EXPECT_EQ(u16_at(pal->table), 31) << "rebuilt from the new entries";
}

TEST_F(PalTest, FormatsWithoutConversionReportOnceAndLeaveAZeroTable)
{
    auto pal = make_palette({ 0x00FFFFFF, 0x00FFFFFF });
    for (uint32_t f : { 0u, 7u, 8u, 9u, 10u }) {
        reports().clear();
        pal->BuildTbl(f);
        ASSERT_EQ(messages(), std::vector<std::string> { "palCTy::BuildTbl: not impelmetned yet" }) << f;
        EXPECT_EQ(reports()[0].level, ERR_LEVEL_ERROR);
        ASSERT_NE(pal->table, nullptr);
        for (uint32_t i = 0; i < 2 * pelSize(f); ++i)
            EXPECT_EQ(pal->table[i], 0) << f;
        pal->BuildTbl(f);
        EXPECT_EQ(messages().size(), 1u) << "the unfilled table is cached";
    }
    // Retry breaks into the debugger (nothing without one) and goes on.
    answer() = ERR_DEBUG_BREAK;
    pal->BuildTbl(8);
    EXPECT_EQ(pal->tableFmt, 8u);
}

TEST_F(PalTest, ATableThatCannotBeHadIsNotCached)
{
    auto pal = make_palette({ 0x00FFFFFF });
    {
        AllocSpy spy;
        AllocSpy::fail() = true;
        pal->BuildTbl(pel_FMT_R5G6B5);
        EXPECT_EQ(pal->table, nullptr);
        EXPECT_EQ(pal->tableFmt, 0u);
    }
    pal->BuildTbl(pel_FMT_R5G6B5);
    ASSERT_NE(pal->table, nullptr);
    EXPECT_EQ(u16_at(pal->table), 0xFFFF);
}

TEST_F(PalTest, FindNearestPicksTheFirstClosestEntryWithinTheLimit)
{
    auto pal = make_palette({ 0, 0, 0, 0x00102030, 0, 0x00646464, 0, 0x00102030 });
    EXPECT_EQ(pal->FindNearest(0x30, 0x20, 0x10), 3) << "exact match, lowest index";
    EXPECT_EQ(pal->FindNearest(0x31, 0x20, 0x10), 3) << "tie to the lowest index";
    auto far = make_palette({ 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00646464 });
    EXPECT_EQ(far->FindNearest(100 + 70, 100 + 57, 100 + 43), 5) << "squared distance 9998";
    EXPECT_EQ(far->FindNearest(200, 100, 100), 0) << "squared distance 10000 is too far";
    EXPECT_EQ(far->FindNearest(0, 0, 0), 0);
    EXPECT_EQ(palCTy().FindNearest(1, 2, 3), 0);
    EXPECT_EQ(far->FindNearest(100, 100, 100), 5) << "alpha plays no part";

    // More than 256 entries: the index is cut to its low byte.
    std::vector<uint32_t> many(300, 0x00FFFFFF);
    many[258] = 0x00010203;
    palCTy big;
    big.Set(many.data(), 300);
    EXPECT_EQ(big.FindNearest(3, 2, 1), 2);
}

TEST_F(PalTest, StreamRecordIsTheCountThenRedGreenBlue)
{
    auto pal = make_palette({ 0x00112233, 0x80445566 });
    auto w = write_stream();
    pal->Write(w.get());
    const std::vector<uint8_t> golden = Bytes().u32(2).raw({ 0x11, 0x22, 0x33, 0x44, 0x55, 0x66 });
    EXPECT_EQ(bytes_of(w.get()), golden);

    auto r = read_stream(golden);
    palCTy back;
    back.BuildTbl(pel_FMT_R8G8B8);
    ASSERT_EQ(back.Read(r.get()), 0);
    ASSERT_EQ(back.count, 2u);
    EXPECT_EQ(back.entries[0], 0xFF112233u) << "entries read are opaque";
    EXPECT_EQ(back.entries[1], 0xFF445566u);
    EXPECT_EQ(back.tableFmt, 0u);
    EXPECT_EQ(r->position, golden.size());

    // A count of 0 reads nothing more and keeps the entries.
    auto zero = read_stream(Bytes().u32(0).u32(7));
    ASSERT_EQ(back.Read(zero.get()), 0);
    EXPECT_EQ(back.count, 2u);
    EXPECT_EQ(zero->position, 4u);
    EXPECT_TRUE(reports().empty());
}

TEST_F(PalTest, ACountTheStreamCannotHoldFailsWithoutAllocating)
{
    auto pal = make_palette({ 0x00112233 });
    for (uint32_t count : { 2u, 0x55555556u, 0xFFFFFFFFu }) {
        reports().clear();
        auto r = read_stream(Bytes().u32(count).raw({ 1, 2, 3 }));
        AllocSpy spy;
        EXPECT_EQ(pal->Read(r.get()), ERR_END_OF_DATA);
        EXPECT_EQ(AllocSpy::calls(), 0);
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0].code, ERR_END_OF_DATA);
        EXPECT_EQ(pal->count, 1u);
        EXPECT_EQ(pal->entries[0], 0x00112233u);
    }
    auto cut = read_stream(Bytes().raw({ 1, 0 }));
    EXPECT_EQ(pal->Read(cut.get()), ERR_END_OF_DATA);
}

TEST_F(PalTest, TheSharedPlaceholderNeverGetsATable)
{
    palCTy* p = palSharedPlaceholder();
    EXPECT_EQ(p, palSharedPlaceholder());
    p->BuildTbl(pel_FMT_R5G6B5);
    EXPECT_EQ(p->table, nullptr);
    EXPECT_EQ(p->count, 0u);
}

} // namespace
