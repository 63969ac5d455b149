#include "engine/base/dib_internal.h"
#include "files_test_support.h"

#include <climits>
#include <cstring>
#include <functional>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A BMP file built in code: pel(x, y) gives the raw pixel value of the
// picture's row y (0 = top), written little-endian in bpp / 8 bytes.
struct BmpFileFixture {
    int32_t w = 5, h = 3;
    uint16_t bpp = 24;
    bool top_down = false;
    uint32_t compression = BMP_BI_RGB;
    std::vector<uint32_t> table; // RGBQUAD words, or the three masks
    uint32_t clr_used = 0;
    uint32_t gap = 0; // bytes between the table and the rows
    std::function<uint32_t(int, int)> pel = [](int x, int y) { return static_cast<uint32_t>(x * 16 + y); };
};

Bytes make_bmp(const BmpFileFixture& s)
{
    const size_t stride = (static_cast<size_t>(s.w) * s.bpp + 31) / 32 * 4;
    const uint32_t offset = static_cast<uint32_t>(54 + 4 * s.table.size() + s.gap);
    Bytes b = { 'B', 'M' };
    put32(b, static_cast<uint32_t>(offset + stride * s.h));
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<uint32_t>(s.w));
    put32(b, static_cast<uint32_t>(s.top_down ? -s.h : s.h));
    put16(b, 1);
    put16(b, s.bpp);
    put32(b, s.compression);
    put32(b, static_cast<uint32_t>(stride * s.h));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.clr_used);
    put32(b, 0);
    for (uint32_t q : s.table)
        put32(b, q);
    b.insert(b.end(), s.gap, 0xEE);
    for (int i = 0; i < s.h; ++i) {
        const int y = s.top_down ? i : s.h - 1 - i;
        Bytes row(stride, 0);
        for (int x = 0; x < s.w; ++x) {
            const uint32_t v = s.pel(x, y);
            for (int k = 0; k < s.bpp / 8; ++k)
                row[static_cast<size_t>(x) * (s.bpp / 8) + k] = static_cast<uint8_t>(v >> (8 * k));
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

uint32_t pel_at(const bmpInfoTy* info, int x, int y)
{
    const uint8_t* p = dibRow(info, bmpBits(info), y) + static_cast<size_t>(x) * (info->biBitCount / 8);
    uint32_t v = 0;
    for (int k = 0; k < info->biBitCount / 8; ++k)
        v |= uint32_t { p[k] } << (8 * k);
    return v;
}

class BmpTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        errInitFileMessages();
    }

    bmpInfoTy* load(const BmpFileFixture& spec, int x, int y, int w, int h)
    {
        write_bytes(dir.file("p.bmp"), make_bmp(spec));
        return bmpLoad(dir.file("p.bmp").c_str(), x, y, w, h);
    }

    bool data_error_shown() const
    {
        for (const auto& box : platform::shown_boxes())
            if (box.text.find("\nData error\n") != std::string::npos)
                return true;
        return false;
    }

    ScratchDir dir;
};

TEST_F(BmpTest, LoadsWholePicturesOfEveryDepthAndRowOrder)
{
    for (uint16_t bpp : { 8, 16, 24, 32 }) {
        for (bool top_down : { false, true }) {
            BmpFileFixture spec;
            spec.w = 7;
            spec.h = 4;
            spec.bpp = bpp;
            spec.top_down = top_down;
            spec.pel = [bpp](int x, int y) {
                const uint32_t v = static_cast<uint32_t>(x * 37 + y * 101 + 5);
                return bpp == 8 ? v & 0xFF : bpp == 16 ? v * 257 & 0xFFFF : v * 65793 & 0xFFFFFF;
            };
            if (bpp == 8) {
                for (uint32_t i = 0; i < 256; ++i)
                    spec.table.push_back(i * 0x010203);
            }
            if (bpp == 16) {
                spec.compression = BMP_BI_BITFIELDS;
                spec.table = { 0xF800, 0x07E0, 0x001F };
            }
            bmpInfoTy* info = load(spec, 0, 0, 7, 4);
            ASSERT_NE(info, nullptr) << bpp << " " << top_down;
            EXPECT_EQ(info->biWidth, 7);
            EXPECT_EQ(info->biHeight, 4);
            EXPECT_EQ(info->biBitCount, bpp);
            if (bpp == 8) {
                EXPECT_EQ(std::memcmp(info + 1, spec.table.data(), 1024), 0);
            }
            if (bpp == 16) {
                EXPECT_EQ(info->biCompression, BMP_BI_BITFIELDS);
                EXPECT_EQ(std::memcmp(info + 1, spec.table.data(), 12), 0);
            }
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 7; ++x)
                    ASSERT_EQ(pel_at(info, x, y), spec.pel(x, y)) << bpp << " " << top_down << " " << x << "," << y;
            memFree(info);
        }
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(BmpTest, RectanglesAreClippedToThePicture)
{
    BmpFileFixture spec;
    spec.w = 10;
    spec.h = 6;
    bmpInfoTy* info = load(spec, 7, -2, 5, 4);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->biWidth, 3);
    EXPECT_EQ(info->biHeight, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pel_at(info, x, y), spec.pel(7 + x, y));
    memFree(info);

    // Wholly outside, or empty: nothing, and no report.
    EXPECT_EQ(load(spec, 10, 0, 5, 5), nullptr);
    EXPECT_EQ(load(spec, 0, 0, 0, 5), nullptr);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(BmpTest, RowsStandWhereTheFileHeaderSays)
{
    BmpFileFixture spec;
    spec.gap = 10;
    bmpInfoTy* info = load(spec, 0, 0, 5, 3);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(pel_at(info, 0, 0), spec.pel(0, 0));
    EXPECT_EQ(pel_at(info, 4, 2), spec.pel(4, 2));
    memFree(info);
}

TEST_F(BmpTest, ShortColourTablesEndWhereTheRowsStart)
{
    // 8 bits, colour count 0, two entries: the rows start after them.
    BmpFileFixture spec;
    spec.bpp = 8;
    spec.table = { 0x00FF0000, 0x000000FF };
    spec.pel = [](int x, int y) { return static_cast<uint32_t>((x + y) & 1); };
    bmpInfoTy* info = load(spec, 0, 0, 5, 3);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(bmpPalColors(info), 2u);
    EXPECT_EQ(pel_at(info, 1, 0), 1u);
    EXPECT_EQ(pel_at(info, 1, 1), 0u);
    memFree(info);
    // With the rows right after the header there is no table at all.
    spec.table.clear();
    EXPECT_EQ(load(spec, 0, 0, 5, 3), nullptr);
    EXPECT_TRUE(data_error_shown());
}

TEST_F(BmpTest, ZeroOrOverlappingMasksAreDataErrors)
{
    for (const std::vector<uint32_t>& masks : { std::vector<uint32_t> { 0, 0x07E0, 0x001F },
                                                std::vector<uint32_t> { 0xF800, 0x0FE0, 0x001F } }) {
        platform::clear_shown_boxes();
        BmpFileFixture spec;
        spec.bpp = 16;
        spec.compression = BMP_BI_BITFIELDS;
        spec.table = masks;
        EXPECT_EQ(load(spec, 0, 0, 5, 3), nullptr) << masks[1];
        EXPECT_TRUE(data_error_shown());
    }
}

TEST_F(BmpTest, MalformedFilesAreDataErrors)
{
    const Bytes good = make_bmp(BmpFileFixture {});
    auto with = [&](size_t offset, uint32_t value, int bytes) {
        Bytes b = good;
        for (int k = 0; k < bytes; ++k)
            b[offset + k] = static_cast<uint8_t>(value >> (8 * k));
        return b;
    };
    const std::pair<const char*, Bytes> cases[] = {
        { "truncated rows", Bytes(good.begin(), good.end() - 1) },
        { "header only", Bytes(good.begin(), good.begin() + 54) },
        { "short header", Bytes(good.begin(), good.begin() + 40) },
        { "not BM", with(0, 'X', 1) },
        { "core header", with(14, 12, 4) },
        { "zero width", with(18, 0, 4) },
        { "negative width", with(18, static_cast<uint32_t>(-5), 4) },
        { "huge width", with(18, 0x7FFFFFFF, 4) },
        { "zero height", with(22, 0, 4) },
        { "INT_MIN height", with(22, 0x80000000u, 4) },
        { "huge height", with(22, 0x7FFFFFFF, 4) },
        { "depth 7", with(28, 7, 2) },
        { "RLE8", with(30, 1, 4) },
        { "bit fields at 24 bits", with(30, BMP_BI_BITFIELDS, 4) },
        { "palette of 257", with(46, 257, 4) },
        { "palette beyond the file", with(46, 200, 4) },
    };
    for (const auto& [what, bytes] : cases) {
        platform::clear_shown_boxes();
        write_bytes(dir.file("bad.bmp"), bytes);
        EXPECT_EQ(bmpLoad(dir.file("bad.bmp").c_str(), 0, 0, 100, 100), nullptr) << what;
        EXPECT_TRUE(data_error_shown()) << what;
    }
}

TEST_F(BmpTest, LoadOfAMissingFileReportsItsName)
{
    EXPECT_EQ(bmpLoad(dir.file("none.bmp").c_str(), 0, 0, 1, 1), nullptr);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].text.find("Can't open file '"), std::string::npos);
}

TEST(BmpInfo, CreateSizesTablesAndRows)
{
    bmpInfoTy* a = bmpInfoCreate(3, 2, 24, 0, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(bmpStride(a), 12u);
    EXPECT_EQ(a->biSizeImage, 24u);
    EXPECT_EQ(a->biPlanes, 1);
    EXPECT_EQ(bmpPalColors(a), 0u);
    EXPECT_EQ(bmpBits(a), reinterpret_cast<uint8_t*>(a) + 40);
    memFree(a);

    bmpInfoTy* b = bmpInfoCreate(4, 4, 16, 3, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->biCompression, BMP_BI_BITFIELDS);
    const auto* masks = reinterpret_cast<const uint32_t*>(b + 1);
    EXPECT_EQ(masks[0], 0xF800u);
    EXPECT_EQ(masks[1], 0x07E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
    EXPECT_EQ(bmpPalSize(b), 12u);
    memFree(b);

    // 8 bits and no colours: the table is read as 256 entries, so the block
    // must hold them; every pixel is then written (ASan checks the bounds).
    bmpInfoTy* c = bmpInfoCreate(9, -5, 8, 0, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(bmpPalColors(c), 256u);
    EXPECT_EQ(bmpBits(c), reinterpret_cast<uint8_t*>(c) + 40 + 1024);
    std::memset(bmpBits(c), 0x7F, c->biSizeImage);
    memFree(c);

    bmpInfoTy h {};
    h.biBitCount = 8;
    EXPECT_EQ(bmpPalColors(&h), 256u);
    h.biClrUsed = 16;
    EXPECT_EQ(bmpPalColors(&h), 16u);
    EXPECT_EQ(bmpPalSize(&h), 64u);
}

TEST(Rect, IntersectionNeedsAnOverlap)
{
    const rectTy a { 0, 0, 10, 10 };
    rectTy out { -1, -1, -1, -1 };
    const rectTy touching { 10, 0, 5, 5 };
    EXPECT_EQ(rectIntersect(&out, &a, &touching), 0);
    EXPECT_EQ(out.y, -1);
    const rectTy below { 0, 10, 5, 5 };
    EXPECT_EQ(rectIntersect(&out, &a, &below), 0);
    const rectTy inner { 5, -3, 10, 8 };
    ASSERT_EQ(rectIntersect(&out, &a, &inner), 1);
    EXPECT_EQ(out.x, 5);
    EXPECT_EQ(out.y, 0);
    EXPECT_EQ(out.w, 5);
    EXPECT_EQ(out.h, 5);
    const rectTy far { INT_MAX - 1, 0, INT_MAX, 5 };
    EXPECT_EQ(rectIntersect(&out, &a, &far), 0);
}

TEST(DibConvert, MasksPlaceTheTopBitsOfEachChannel)
{
    const uint32_t m565[3] = { 0xF800, 0x07E0, 0x001F };
    const uint32_t m555[3] = { 0x7C00, 0x03E0, 0x001F };
    const uint8_t bgr[] = { 255, 255, 255, 8, 4, 8, 0, 0, 255, 0x18, 0x84, 0x42 };
    uint16_t out[4];
    dibConv24to16(out, 0, bgr, 0, 4, 1, m565);
    EXPECT_EQ(out[0], 0xFFFF);
    EXPECT_EQ(out[1], 0x0821);
    EXPECT_EQ(out[2], 0xF800);
    EXPECT_EQ(out[3], (0x42 >> 3) << 11 | (0x84 >> 2) << 5 | (0x18 >> 3));
    dibConv24to16(out, 0, bgr, 0, 1, 1, m555);
    EXPECT_EQ(out[0], 0x7FFF);

    // Palette to 16 bits: entries past the table's count are black.
    const uint8_t table[] = { 255, 0, 0, 0, 0, 255, 0, 0 };
    uint16_t pal[256];
    dibPalTo16(pal, table, 2, m565);
    EXPECT_EQ(pal[0], 0x001F);
    EXPECT_EQ(pal[1], 0x07E0);
    EXPECT_EQ(pal[2], 0);
}

TEST_F(BmpTest, CopyConvertsIntoAGivenDestination)
{
    // An 8-bit source with a two-colour table into a 16-bit (5-6-5) and a
    // 24-bit destination, at an offset and clipped at the right edge.
    bmpInfoTy* src = bmpInfoCreate(4, 2, 8, 2, 1);
    ASSERT_NE(src, nullptr);
    const uint8_t table[] = { 0, 0, 255, 0, 255, 255, 255, 0 };
    std::memcpy(src + 1, table, sizeof(table));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            dibRow(src, bmpBits(src), y)[x] = static_cast<uint8_t>((x + y) % 2);

    bmpInfoTy* d16 = bmpInfoCreate(5, 3, 16, 3, 1);
    ASSERT_EQ(dibCopy(d16, nullptr, src, nullptr, 0, 0, 4, 2, 3, 1), d16);
    EXPECT_EQ(pel_at(d16, 3, 1), 0xF800u); // red
    EXPECT_EQ(pel_at(d16, 4, 1), 0xFFFFu); // white
    EXPECT_EQ(pel_at(d16, 4, 2), 0xF800u);
    EXPECT_EQ(pel_at(d16, 2, 1), 0u); // untouched

    bmpInfoTy* d24 = bmpInfoCreate(4, -2, 24, 0, 1);
    ASSERT_EQ(dibCopy(d24, nullptr, src, nullptr, 0, 0, 4, 2, 0, 0), d24);
    EXPECT_EQ(pel_at(d24, 0, 0), 0xFF0000u);
    EXPECT_EQ(pel_at(d24, 1, 0), 0xFFFFFFu);

    // Made here: a new 16-bit block with the 5-6-5 masks.
    bmpInfoTy* made = dibConvert(nullptr, nullptr, 0, 0, 16, src, nullptr, 1, 0, 8, 2, 2);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->biWidth, 2);
    EXPECT_EQ(pel_at(made, 0, 0), 0xFFFFu);
    EXPECT_EQ(pel_at(made, 0, 1), 0xF800u);

    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(dibCopy(src, nullptr, d24, nullptr, 0, 0, 1, 1, 0, 0), nullptr) << "24 -> 8 is not offered";
    EXPECT_NE(boxes().back().text.find("Function is not implemented"), std::string::npos);
    EXPECT_EQ(dibConvert(d16, nullptr, 0, 0, 24, src, nullptr, 0, 0, 8, 1, 1), nullptr) << "stated depth differs";
    EXPECT_NE(boxes().back().text.find("Bad argument"), std::string::npos);
    for (bmpInfoTy* b : { src, d16, d24, made })
        memFree(b);
}

TEST(DibCopy, OverlappingCopyInOneBufferMovesRowsSafely)
{
    for (int height : { 6, -6 }) {
        bmpInfoTy* pic = bmpInfoCreate(4, height, 8, 0, 1);
        ASSERT_NE(pic, nullptr);
        for (int y = 0; y < 6; ++y)
            std::memset(dibRow(pic, bmpBits(pic), y), y + 1, 4);
        // Rows 0..3 down by two rows, in the same buffer.
        ASSERT_EQ(dibCopy(pic, nullptr, pic, bmpBits(pic), 0, 0, 4, 4, 0, 2), pic);
        const int expect[6] = { 1, 2, 1, 2, 3, 4 };
        for (int y = 0; y < 6; ++y)
            EXPECT_EQ(dibRow(pic, bmpBits(pic), y)[0], expect[y]) << y;
        // And up again.
        ASSERT_EQ(dibCopy(pic, nullptr, pic, bmpBits(pic), 0, 2, 4, 4, 0, 0), pic);
        const int expect_up[6] = { 1, 2, 3, 4, 3, 4 };
        for (int y = 0; y < 6; ++y)
            EXPECT_EQ(dibRow(pic, bmpBits(pic), y)[3], expect_up[y]) << y;
        memFree(pic);
    }
}

} // namespace
