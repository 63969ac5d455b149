#include "gfx_test_support.h"

#include <cmath>

namespace {

// An image whose lock is the base's, recording the calls it gets.
class ProbeImage : public imgCTy {
public:
    explicit ProbeImage(std::vector<std::string>* log = nullptr, std::string name = "") : log_(log), name_(name) {}
    int32_t Lock(const rectTy* rect, uint32_t mode) override
    {
        if (log_)
            log_->push_back("lock " + name_ + " " + std::to_string(mode));
        return imgCTy::Lock(rect, mode);
    }
    void Unlock() override
    {
        if (log_)
            log_->push_back("unlock " + name_);
        imgCTy::Unlock();
    }
    imgCTy* Clone() override { return nullptr; }
    void Free() override {}

private:
    std::vector<std::string>* log_;
    std::string name_;
};

// A row image of the size and format, its pels numbered 1, 2, 3, ... byte
// by byte.
std::unique_ptr<imgRowCTy> numbered(int32_t w, int32_t h, uint32_t format)
{
    auto img = std::make_unique<imgRowCTy>();
    pelFmtCTy fmt(format);
    img->SetSize(w, h, &fmt);
    for (size_t i = 0; i < img->BodySize(); ++i)
        img->pels[i] = static_cast<uint8_t>(i + 1);
    return img;
}

struct DrawCall {
    imgCTy* source;
    imgCTy* destination;
    int32_t x, y;
    bool hasRect;
    rectTy rect;
    imgDrawPrmCTy prm;
};
std::vector<DrawCall>& draw_calls()
{
    static std::vector<DrawCall> calls;
    return calls;
}
void record_draw(imgCTy* s, imgCTy* d, int32_t x, int32_t y, const rectTy* r, const imgDrawPrmCTy& prm)
{
    draw_calls().push_back({ s, d, x, y, r != nullptr, r ? *r : rectTy {}, prm });
}

class ImgTest : public GfxTest {
protected:
    void SetUp() override
    {
        GfxTest::SetUp();
        draw_calls().clear();
        saved_entry_ = imgSetDrawEntry(record_draw);
    }
    void TearDown() override
    {
        imgSetDrawEntry(saved_entry_);
        GfxTest::TearDown();
    }

private:
    imgDrawEntryTy saved_entry_ = nullptr;
};

bool same(const rectTy& a, const rectTy& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

TEST_F(ImgTest, TheFirstLockKeepsItsRectangleAndOneUnlockEndsIt)
{
    ProbeImage img;
    img.width = 10;
    img.height = 8;
    rectTy out;
    EXPECT_TRUE(same(*img.GetLockRect(nullptr, &out, 0), rectTy { 0, 0, 10, 8 }));
    const rectTy part { 2, 3, 4, 5 };
    EXPECT_TRUE(same(*img.GetLockRect(&part, &out, 1), part));
    EXPECT_TRUE(same(img.GetRect(), rectTy { 0, 0, 10, 8 }));

    auto row = numbered(10, 8, pel_FMT_R5G6B5);
    row->Lock(&part, img_LOCK_READ);
    void* first = row->lockPtr;
    EXPECT_EQ(first, row->pels + (3 * 10 + 2) * 2);
    EXPECT_EQ(row->pitch, 10);
    const rectTy other { 0, 0, 1, 1 };
    row->Lock(&other, img_LOCK_RW);
    EXPECT_EQ(row->lockPtr, first);
    EXPECT_TRUE(same(row->lockRect, part));
    EXPECT_EQ(row->lockMode, img_LOCK_READ);
    row->Unlock();
    EXPECT_EQ(row->lockPtr, nullptr);
}

TEST_F(ImgTest, ColourKeysAreKeptAsColourAndAsPel)
{
    imgRowCTy img;
    pelFmtCTy fmt(pel_FMT_R5G6B5);
    img.SetSize(2, 2, &fmt);
    EXPECT_EQ(img.keyFlag, 0u);
    EXPECT_EQ(img.SetColorKey(0x00FF8040), (31u << 11) | (32u << 5) | 8u);
    EXPECT_EQ(img.keyFlag, 1u);
    EXPECT_EQ(img.keyColor, 0x00FF8040u);
    EXPECT_EQ(img.keyPel, (31u << 11) | (32u << 5) | 8u);
    EXPECT_EQ(img.SetColorKeyPel(0x001F), 0xFF0000F8u);
    EXPECT_EQ(img.keyColor, 0xFF0000F8u);
    EXPECT_EQ(img.keyPel, 0x1Fu);

    auto pal = make_palette({ 0x00000000, 0x00FF00FF, 0x0000FF00 });
    imgRowCTy p8;
    pelFmtCTy p8fmt(pel_FMT_P8, pal.get());
    p8.SetSize(1, 1, &p8fmt);
    EXPECT_EQ(p8.SetColorKeyPel(1), 0x00FF00FFu) << "the palette entry's colour";
    EXPECT_EQ(p8.keyPel, 1u);

    // A new palette re-derives the key pel from the key colour.
    auto moved = make_palette({ 0x0000FF00, 0x00000000, 0x00FF00FF });
    p8.AttachPalette(moved.get());
    EXPECT_EQ(p8.keyPel, 2u);
    p8.SetPalette(pal.get());
    EXPECT_EQ(p8.keyPel, 1u);
    EXPECT_NE(p8.pelFmt.palette, pal.get());
    EXPECT_EQ(p8.ColorToPel(0x0000FF01), 2u);
}

TEST_F(ImgTest, PelsAreReadByFormat)
{
    auto rgb = numbered(3, 2, pel_FMT_R8G8B8);
    EXPECT_EQ(rgb->PelAtXY(1, 1), 0x000F0E0Du) << "three bytes, top byte 0";
    EXPECT_EQ(rgb->ColorAtXY(1, 1), 0xFF0F0E0Du);
    auto wide = numbered(2, 2, pel_FMT_A8R8G8B8);
    EXPECT_EQ(wide->PelAtXY(1, 0), 0x08070605u);
    auto z = numbered(2, 2, pel_FMT_Z32);
    EXPECT_EQ(z->PelAtXY(0, 1), 0x0C0B0A09u);
    for (uint32_t f : { pel_FMT_R5G6B5, pel_FMT_X1R5G5B5, pel_FMT_A1R5G5B5 }) {
        auto hi = numbered(2, 2, f);
        EXPECT_EQ(hi->PelAtXY(1, 1), 0x0807u) << "only the 16-bit pel";
    }
    auto idx = numbered(4, 1, pel_FMT_P8);
    EXPECT_EQ(idx->PelAtXY(3, 0), 4u);
    EXPECT_EQ(idx->lockPtr, nullptr);

    // Outside the image nothing is read.
    EXPECT_EQ(idx->PelAtXY(4, 0), 0xFFFFFFFFu);
    EXPECT_EQ(idx->PelAtXY(-1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(idx->PelAtXY(0, 1), 0xFFFFFFFFu);
    // A lock the caller left does not move the pel read.
    const rectTy corner { 2, 0, 1, 1 };
    idx->Lock(&corner, img_LOCK_READ);
    EXPECT_EQ(idx->PelAtXY(0, 0), 1u);
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgTest, PelsOfFormatsWithoutAccessAreReported)
{
    for (uint32_t f : { 0u, 7u, 8u }) {
        reports().clear();
        auto img = numbered(2, 2, f);
        EXPECT_EQ(img->PelAtXY(1, 1), 0xFFFFFFFFu);
        EXPECT_EQ(messages(), std::vector<std::string> { "imgCTy::PelAtXY : this is not implemented yet" });
        EXPECT_EQ(reports()[0].level, ERR_LEVEL_ERROR);
        EXPECT_EQ(img->lockPtr, nullptr) << "unlocked afterwards";
    }
    // Inside a TRY frame the report unwinds, and the image is unlocked all
    // the same.
    auto img = numbered(2, 2, 7);
    errState.reportHandler = nullptr;
    EXPECT_EQ(errTry([&] { (void)img->PelAtXY(0, 0); }), ERR_USER_MSG);
    EXPECT_EQ(img->lockPtr, nullptr);
}

TEST_F(ImgTest, FillWritesThePelOfEachFormatIntoTheRectangle)
{
    const struct {
        uint32_t format;
        uint32_t pel;
        std::vector<uint8_t> bytes;
    } cases[] = {
        { pel_FMT_R8G8B8, 0xAA112233, { 0x33, 0x22, 0x11 } },
        { pel_FMT_X8R8G8B8, 0x44112233, { 0x33, 0x22, 0x11, 0x44 } },
        { pel_FMT_A8R8G8B8, 0x44112233, { 0x33, 0x22, 0x11, 0x44 } },
        { pel_FMT_R5G6B5, 0xAAAA1234, { 0x34, 0x12 } },
        { pel_FMT_X1R5G5B5, 0x9234, { 0x34, 0x92 } },
        { pel_FMT_A1R5G5B5, 0x1234, { 0x34, 0x12 } },
        { pel_FMT_P8, 0x1FE, { 0xFE } },
        { pel_FMT_Z32, 0x8AD00000, { 0x00, 0x00, 0xD0, 0x8A } },
    };
    for (const auto& c : cases) {
        // Odd sizes, so that rows of every format end off any word boundary.
        auto img = numbered(7, 5, c.format);
        const rectTy r { 2, 1, 3, 3 };
        img->Fill(c.pel, &r);
        const size_t bpp = c.bytes.size();
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x) {
                const uint8_t* p = img->pels + (size_t(y) * 7 + x) * bpp;
                const bool inside = x >= 2 && x < 5 && y >= 1 && y < 4;
                for (size_t k = 0; k < bpp; ++k) {
                    const uint8_t before = static_cast<uint8_t>((size_t(y) * 7 + x) * bpp + k + 1);
                    ASSERT_EQ(p[k], inside ? c.bytes[k] : before) << c.format << " at " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(img->lockPtr, nullptr);
        img->Fill(c.pel, nullptr);
        for (size_t i = 0; i < img->BodySize(); ++i)
            ASSERT_EQ(img->pels[i], c.bytes[i % bpp]) << "the whole image, format " << c.format;
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgTest, FillStaysInsideTheImageAndUnlocksIt)
{
    auto img = numbered(4, 3, pel_FMT_P8);
    const rectTy over { -2, 2, 10, 10 };
    img->Fill(0xEE, &over);
    const std::vector<uint8_t> expected = { 1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE, 0xEE, 0xEE };
    EXPECT_EQ(std::vector<uint8_t>(img->pels, img->pels + 12), expected);
    const rectTy outside { 4, 0, 2, 2 };
    const rectTy empty { 1, 1, 0, 5 };
    img->Fill(0, &outside);
    img->Fill(0, &empty);
    EXPECT_EQ(std::vector<uint8_t>(img->pels, img->pels + 12), expected);

    // A lock the caller left is ended, and the fill lands where it is asked.
    const rectTy corner { 3, 2, 1, 1 };
    img->Lock(&corner, img_LOCK_READ);
    const rectTy first { 0, 0, 1, 1 };
    img->Fill(0x11, &first);
    EXPECT_EQ(img->pels[0], 0x11);
    EXPECT_EQ(img->lockPtr, nullptr);

    // FillRgb converts the colour first.
    auto hi = numbered(2, 1, pel_FMT_R5G6B5);
    hi->FillRgb(0x00FFFFFF, nullptr);
    EXPECT_EQ(hi->PelAtXY(1, 0), 0xFFFFu);
}

TEST_F(ImgTest, FormatsWithoutFillAreReportedAndLeftAlone)
{
    for (uint32_t f : { 0u, 7u, 8u }) {
        reports().clear();
        auto img = numbered(2, 2, f);
        const auto before = std::vector<uint8_t>(img->pels, img->pels + img->BodySize());
        img->Fill(0, nullptr);
        EXPECT_EQ(messages(), std::vector<std::string> { "imgCTy::Fill: This is not impelmetned yet" });
        EXPECT_EQ(std::vector<uint8_t>(img->pels, img->pels + img->BodySize()), before);
        EXPECT_EQ(img->lockPtr, nullptr);
    }
}

TEST_F(ImgTest, AnImageWithoutPelsStaysUnlocked)
{
    imgRowCTy img;
    img.width = 4;
    img.height = 4;
    img.pelFmt.format = pel_FMT_R5G6B5;
    img.Lock(nullptr, img_LOCK_RW);
    EXPECT_EQ(img.lockPtr, nullptr);
    img.Fill(0, nullptr);
    EXPECT_EQ(img.PelAtXY(0, 0), 0xFFFFFFFFu);
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgTest, CombineLocksAllFourAndUnlocksInReverse)
{
    std::vector<std::string> log;
    ProbeImage self(&log, "s"), a(&log, "a"), b(&log, "b"), c(&log, "c");
    self.Combine(&a, 1, 2, 3, &b, &c);
    const std::vector<std::string> expected
        = { "lock s 0", "lock a 0", "lock b 0", "lock c 0", "unlock c", "unlock b", "unlock a", "unlock s" };
    EXPECT_EQ(log, expected);
}

TEST_F(ImgTest, DrawsEndInTheBlittersEntryWithTheirParameters)
{
    auto src = numbered(4, 4, pel_FMT_R5G6B5);
    auto dst = numbered(8, 8, pel_FMT_R5G6B5);
    auto map = numbered(4, 4, pel_FMT_P8);
    const rectTy r { 1, 1, 2, 2 };
    src->Draw(dst.get(), 3, 4, &r);
    src->DrawAlphaMap(dst.get(), 0, 0, nullptr, map.get());
    src->DrawAlpha(dst.get(), 0, 0, nullptr, 0.999f);
    src->DrawAlpha(dst.get(), 0, 0, nullptr, 1.0f);
    src->DrawAlpha(dst.get(), 0, 0, nullptr, 0.5f);
    src->DrawAlpha(dst.get(), 0, 0, nullptr, -0.999f);
    src->DrawAlpha(dst.get(), 0, 0, nullptr, std::nanf(""));
    src->DrawAlpha(dst.get(), 0, 0, nullptr, 1e30f);
    imgDrawPrmCTy prm { .op = img_OP_ADD, .scaled = 1, .scaleX = 2.0f };
    src->DrawEx(dst.get(), -1, -2, nullptr, prm);
    src->DrawMirrorH(dst.get(), 0, 0, nullptr);
    src->DrawExMirrorH(dst.get(), 0, 0, nullptr, prm);

    const auto& calls = draw_calls();
    ASSERT_EQ(calls.size(), 9u) << "the mirrored draws do nothing on a row image";
    EXPECT_EQ(calls[0].source, src.get());
    EXPECT_EQ(calls[0].destination, dst.get());
    EXPECT_EQ(calls[0].x, 3);
    EXPECT_EQ(calls[0].y, 4);
    EXPECT_TRUE(calls[0].hasRect && same(calls[0].rect, r));
    EXPECT_EQ(calls[0].prm.op, img_OP_COPY);
    EXPECT_EQ(calls[0].prm.scaled, 0u);
    EXPECT_EQ(calls[0].prm.scaleX, 1.0f);
    EXPECT_EQ(calls[0].prm.scaleY, 1.0f);
    EXPECT_EQ(calls[0].prm.alphaMap, nullptr);
    EXPECT_EQ(calls[0].prm.srcDepth, nullptr);
    EXPECT_EQ(calls[0].prm.dstDepth, nullptr);
    EXPECT_EQ(calls[1].prm.op, img_OP_ALPHAMAP);
    EXPECT_EQ(calls[1].prm.alphaMap, map.get());
    EXPECT_FALSE(calls[1].hasRect);
    EXPECT_EQ(calls[2].prm.op, img_OP_ALPHA);
    EXPECT_EQ(calls[2].prm.alpha, 255);
    EXPECT_EQ(calls[3].prm.alpha, 256);
    EXPECT_EQ(calls[4].prm.alpha, 128);
    EXPECT_EQ(calls[5].prm.alpha, -255) << "truncation toward zero";
    EXPECT_EQ(calls[6].prm.alpha, 0);
    EXPECT_EQ(calls[7].prm.alpha, INT32_MAX);
    EXPECT_EQ(calls[8].prm.op, img_OP_ADD);
    EXPECT_EQ(calls[8].prm.scaled, 1u);
    EXPECT_EQ(calls[8].prm.scaleX, 2.0f);
    EXPECT_EQ(calls[8].x, -1);
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgTest, WithoutABlitterDrawsAreReported)
{
    imgSetDrawEntry(nullptr);
    EXPECT_EQ(imgGetDrawEntry(), nullptr);
    auto src = numbered(2, 2, pel_FMT_R5G6B5);
    auto dst = numbered(2, 2, pel_FMT_R5G6B5);
    const auto before = std::vector<uint8_t>(dst->pels, dst->pels + dst->BodySize());
    src->Draw(dst.get(), 0, 0, nullptr);
    EXPECT_EQ(messages(), std::vector<std::string> { "imgCTy::DrawEx: This is not impelmetned yet" });
    EXPECT_EQ(std::vector<uint8_t>(dst->pels, dst->pels + dst->BodySize()), before);
    EXPECT_TRUE(draw_calls().empty());
}

TEST_F(ImgTest, ACopyTakesFormatSizeAndKeyButNotTheLock)
{
    auto pal = make_palette({ 0x00FF0000, 0x0000FF00 });
    imgRowCTy src;
    pelFmtCTy fmt(pel_FMT_P8, pal.get());
    src.SetSize(3, 2, &fmt);
    src.SetColorKey(0x0000FF00);
    src.Lock(nullptr, img_LOCK_RW);
    std::unique_ptr<imgCTy> copy(src.Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->kind, img_KIND_ROW);
    EXPECT_EQ(copy->width, 3);
    EXPECT_EQ(copy->height, 2);
    EXPECT_EQ(copy->keyFlag, 1u);
    EXPECT_EQ(copy->keyColor, 0x0000FF00u);
    EXPECT_EQ(copy->keyPel, 1u);
    EXPECT_EQ(copy->lockPtr, nullptr);
    EXPECT_EQ(copy->inPlace, 0u);
    EXPECT_EQ(copy->pelFmt.ownsPal, 1u);
    EXPECT_NE(copy->pelFmt.palette, src.pelFmt.palette);
    EXPECT_STREQ(copy->GetClassName(), "imgRowCTy");
    EXPECT_STREQ(ProbeImage().GetClassName(), "rwObjCTy");
}

TEST_F(ImgTest, TheImageHeaderIsTwentyBytesOrTwentyEightWithAKey)
{
    ProbeImage img;
    img.width = 640;
    img.height = 480;
    img.pelFmt.format = pel_FMT_R5G6B5;
    auto w = write_stream();
    img.WriteHeader(w.get());
    EXPECT_EQ(bytes_of(w.get()), Bytes().u32(640).u32(480).u32(0).u32(4).u32(0).get());
    img.SetColorKey(0x00FF00FF);
    auto keyed = write_stream();
    img.Write(keyed.get());
    const std::vector<uint8_t> golden = Bytes().u32(640).u32(480).u32(1).u32(0x00FF00FF).u32(0xF81F).u32(4).u32(0);
    EXPECT_EQ(bytes_of(keyed.get()), golden);

    ProbeImage back;
    auto r = read_stream(golden);
    back.Read(r.get());
    EXPECT_EQ(back.width, 640);
    EXPECT_EQ(back.height, 480);
    EXPECT_EQ(back.keyFlag, 1u);
    EXPECT_EQ(back.keyColor, 0x00FF00FFu);
    EXPECT_EQ(back.keyPel, 0xF81Fu);
    EXPECT_EQ(back.pelFmt.format, pel_FMT_R5G6B5);
    EXPECT_EQ(r->position, golden.size());
}

} // namespace
