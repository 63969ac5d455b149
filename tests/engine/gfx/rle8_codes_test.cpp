#include "gfx_test_support.h"

#include <random>

namespace {

using Rle8CodesTest = GfxTest;

std::vector<uint8_t> encode(const std::vector<uint8_t>& pels, uint32_t key)
{
    uint32_t size = 1234;
    uint8_t* block = rle8EncodeRow(pels.data(), static_cast<int32_t>(pels.size()), key, &size);
    std::vector<uint8_t> out;
    if (block) {
        out.resize(size);
        std::memcpy(out.data(), block, size);
    } else {
        EXPECT_EQ(size, 0u);
    }
    memFree(block);
    return out;
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& codes, int32_t x0, int32_t w, int32_t n, uint8_t fill)
{
    std::vector<uint8_t> row(static_cast<size_t>(n), fill);
    rle8DecodeRow(codes.data(), x0, w, row.data());
    return row;
}

std::vector<uint8_t> rep(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        for (uint8_t b : p)
            out.push_back(b);
    return out;
}

TEST_F(Rle8CodesTest, HandMadeRowsGiveExactCodes)
{
    const uint8_t k = 9;
    EXPECT_EQ(encode(cat({ rep(200, k), { 7 } }), k), (std::vector<uint8_t> { 0x7F, 0x49, 0x81, 7 }));
    EXPECT_EQ(encode(rep(127, k), 0x41), (std::vector<uint8_t> { 0xFF, k, 0xFF, k, 0xC1, k }));
    EXPECT_EQ(encode(cat({ { 1 }, rep(128, k), { 1 } }), k), (std::vector<uint8_t> { 0x81, 1, 0x7F, 0x01, 0x81, 1 }));
    EXPECT_EQ(encode(cat({ rep(254, k), { 2 } }), k), (std::vector<uint8_t> { 0x7F, 0x7F, 0x81, 2 }));
    EXPECT_EQ(encode(cat({ rep(255, k), { 2 } }), k), (std::vector<uint8_t> { 0x7F, 0x7F, 0x01, 0x81, 2 }));

    std::vector<uint8_t> distinct(64);
    for (size_t i = 0; i < distinct.size(); ++i)
        distinct[i] = static_cast<uint8_t>(i + 10);
    std::vector<uint8_t> want { 0xBF };
    for (size_t i = 0; i < 63; ++i)
        want.push_back(distinct[i]);
    want.push_back(0x81);
    want.push_back(distinct[63]);
    EXPECT_EQ(encode(distinct, k), want);
    EXPECT_EQ(encode(rep(64, 3), k), (std::vector<uint8_t> { 0xFF, 3, 0xC1, 3 }));
    EXPECT_EQ(encode(rep(65, 3), k), (std::vector<uint8_t> { 0xFF, 3, 0xC2, 3 }));
    EXPECT_EQ(encode(rep(126, 3), k), (std::vector<uint8_t> { 0xFF, 3, 0xFF, 3 }));

    EXPECT_EQ(encode({ 1, 2, 2, 3 }, k), (std::vector<uint8_t> { 0x84, 1, 2, 2, 3 }));
    EXPECT_EQ(encode({ 1, 2, 2, 2, 3 }, k), (std::vector<uint8_t> { 0x81, 1, 0xC3, 2, 0x81, 3 }));
    EXPECT_EQ(encode({ 5, 5, 5 }, k), (std::vector<uint8_t> { 0xC3, 5 }));
    EXPECT_EQ(encode({ 1, 2, 3, k, k }, k), (std::vector<uint8_t> { 0x83, 1, 2, 3, 0x02 }));
    EXPECT_EQ(encode({ 0, 0, 1, 1, 1, 0 }, rle8_NO_KEY),
              (std::vector<uint8_t> { 0x82, 0, 0, 0xC3, 1, 0x81, 0 }));
    // A fill never reaches back past the key run before its literal.
    EXPECT_EQ(encode({ 4, 4, k, 4, 4, 4 }, k), (std::vector<uint8_t> { 0x82, 4, 4, 0x01, 0xC3, 4 }));
    // After a fill, a new fill may begin at once (an empty literal).
    EXPECT_EQ(encode({ 2, 2, 2, 3, 3, 3 }, k), (std::vector<uint8_t> { 0xC3, 2, 0xC3, 3 }));

    EXPECT_TRUE(encode(rep(50, k), k).empty());
    EXPECT_TRUE(encode({}, k).empty());
}

TEST_F(Rle8CodesTest, DecodeClipsBothEnds)
{
    const std::vector<uint8_t> codes { 0x02, 0x83, 1, 2, 3 };
    EXPECT_EQ(decode(codes, 1, 3, 5, 0xEE), (std::vector<uint8_t> { 0xEE, 0xEE, 1, 2, 0xEE }));
    EXPECT_EQ(decode(codes, 0, 5, 5, 0xEE), (std::vector<uint8_t> { 0xEE, 0xEE, 1, 2, 3 }));
    EXPECT_EQ(decode(codes, 3, 1, 5, 0xEE), (std::vector<uint8_t> { 0xEE, 0xEE, 0xEE, 2, 0xEE }));
    const std::vector<uint8_t> fill { 0xC4, 7, 0x81, 8 };
    EXPECT_EQ(decode(fill, 2, 3, 5, 0), (std::vector<uint8_t> { 0, 0, 7, 7, 8 }));
    EXPECT_EQ(decode(fill, 4, 1, 5, 0), (std::vector<uint8_t> { 0, 0, 0, 0, 8 }));
    // The codes need not go on past the pels asked for.
    EXPECT_EQ(decode({ 0xC4, 7 }, 0, 2, 2, 0), (std::vector<uint8_t> { 7, 7 }));
}

TEST_F(Rle8CodesTest, SkipRewritesTheCodeItStopsIn)
{
    const uint8_t codes[] = { 0x05, 0x84, 1, 2, 3, 4, 0xC6, 9, 0x81, 5 };
    uint8_t c = codes[0];
    const uint8_t* p = rle8SkipPixels(codes + 1, 3, &c);
    EXPECT_EQ(c, 0x02);
    EXPECT_EQ(p, codes + 1);
    c = codes[0];
    p = rle8SkipPixels(codes + 1, 5, &c);
    EXPECT_EQ(c, 0x84);
    EXPECT_EQ(p, codes + 2);
    c = codes[0];
    p = rle8SkipPixels(codes + 1, 7, &c);
    EXPECT_EQ(c, 0x82);
    EXPECT_EQ(p, codes + 4);
    EXPECT_EQ(*p, 3);
    c = codes[0];
    p = rle8SkipPixels(codes + 1, 10, &c);
    EXPECT_EQ(c, 0xC5);
    EXPECT_EQ(*p, 9);
    c = codes[0];
    p = rle8SkipPixels(codes + 1, 15, &c);
    EXPECT_EQ(c, 0x81);
    EXPECT_EQ(*p, 5);
}

TEST_F(Rle8CodesTest, RandomRowsRoundTrip)
{
    std::mt19937 rng(7);
    for (int iter = 0; iter < 400; ++iter) {
        const int32_t n = 1 + static_cast<int32_t>(rng() % 300);
        const uint32_t key = iter % 5 == 0 ? rle8_NO_KEY : rng() % 4;
        std::vector<uint8_t> row(static_cast<size_t>(n));
        // Few values, so that runs of keys and of equal pels are common.
        for (auto& p : row)
            p = static_cast<uint8_t>(rng() % (iter % 3 == 0 ? 3 : 6));
        const auto codes = encode(row, key);
        if (codes.empty()) {
            EXPECT_EQ(std::count(row.begin(), row.end(), key), n);
            continue;
        }
        EXPECT_TRUE(rle8RowCovers(codes.data(), codes.size(), n));
        EXPECT_FALSE(rle8RowCovers(codes.data(), codes.size() - 1, n));
        // Key pels are skipped; a destination of 0xEE keeps them.
        auto want = row;
        for (auto& p : want)
            if (p == key)
                p = 0xEE;
        ASSERT_EQ(decode(codes, 0, n, n, 0xEE), want) << iter;
        const int32_t x0 = static_cast<int32_t>(rng() % static_cast<uint32_t>(n));
        const int32_t w = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(n - x0));
        auto clipped = decode(codes, x0, w, n, 0xEE);
        for (int32_t x = 0; x < n; ++x)
            ASSERT_EQ(clipped[x], x >= x0 && x < x0 + w ? want[x] : 0xEE) << iter << " " << x;
    }
}

TEST_F(Rle8CodesTest, CoverageRefusesCodesRunningPastTheirBytes)
{
    const std::vector<uint8_t> lit { 0x83, 1, 2 };
    EXPECT_FALSE(rle8RowCovers(lit.data(), lit.size(), 3));
    const std::vector<uint8_t> fill { 0xC3 };
    EXPECT_FALSE(rle8RowCovers(fill.data(), fill.size(), 3));
    const std::vector<uint8_t> shortRow { 0x02, 0x81, 1 };
    EXPECT_FALSE(rle8RowCovers(shortRow.data(), shortRow.size(), 4));
    EXPECT_TRUE(rle8RowCovers(shortRow.data(), shortRow.size(), 3));
    const std::vector<uint8_t> zeros { 0x00, 0x80, 0xC0, 0, 0x01 };
    EXPECT_TRUE(rle8RowCovers(zeros.data(), zeros.size(), 1));
}

TEST_F(Rle8CodesTest, OpaqueBox)
{
    const uint8_t k = 0;
    std::vector<uint8_t> pic(6 * 4, k);
    EXPECT_EQ(rle8FindOpaqueBox(pic.data(), 6, 6, 4, k).w, 0);
    pic[1 * 6 + 4] = 3;
    pic[2 * 6 + 2] = 1;
    const rectTy box = rle8FindOpaqueBox(pic.data(), 6, 6, 4, k);
    EXPECT_EQ(box.x, 2);
    EXPECT_EQ(box.y, 1);
    EXPECT_EQ(box.w, 3);
    EXPECT_EQ(box.h, 2);
    // Only the first w of pitch bytes count.
    std::vector<uint8_t> wide(2 * 8, 5);
    wide[0] = k;
    wide[8] = k;
    const rectTy part = rle8FindOpaqueBox(wide.data(), 8, 1, 2, k);
    EXPECT_EQ(part.w, 0);
}

} // namespace
