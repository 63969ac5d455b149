// The dispatcher's choice of loop and the draw entry's rectangles, locks and
// palette routing, through imgCTy::DrawEx with the entry installed.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/blit/blit.h"

namespace {

std::vector<std::string>& Messages() {
    static std::vector<std::string> list;
    return list;
}

class BlitDraw : public testing::Test {
protected:
    void SetUp() override {
        saved_ = errState;
        errState.frames = nullptr;
        errState.mode = 0;
        errState.reportHandler = [] {
            Messages().push_back(errState.message ? errState.message : "");
            errState.answer = 0;
        };
        Messages().clear();
        blitInstall();
    }
    void TearDown() override { errState = saved_; }

    // An image whose pel i (row-major) holds i + base in every byte pattern
    // that fits its format.
    static std::unique_ptr<imgRowCTy> Make(uint32_t fmt, int32_t w, int32_t h, uint32_t base, palCTy* pal = nullptr) {
        auto img = std::make_unique<imgRowCTy>();
        pelFmtCTy f(fmt, pal);
        img->SetSize(w, h, &f);
        (void)img->Lock(nullptr, 0);
        auto* p = static_cast<uint8_t*>(img->lockPtr);
        for (int32_t i = 0; i < w * h; ++i) {
            uint32_t v = base + uint32_t(i);
            std::memcpy(p + size_t(i) * pelBytes[fmt], &v, pelBytes[fmt]);
        }
        img->Unlock();
        return img;
    }
    static uint32_t At(imgRowCTy& img, int32_t x, int32_t y) {
        (void)img.Lock(nullptr, 1);
        uint32_t v = 0;
        std::memcpy(&v, static_cast<uint8_t*>(img.lockPtr) + (size_t(y) * size_t(img.pitch) + size_t(x)) * pelBytes[img.pelFmt.format],
                    pelBytes[img.pelFmt.format]);
        img.Unlock();
        return v;
    }

private:
    errStateTy saved_;
};

TEST_F(BlitDraw, SelectionFollowsTheScaledFlagOpDepthAndKey) {
    imgRowCTy src;
    imgRowCTy depth;
    struct Case { uint32_t op, scaled; bool depth, key; bool draws; uint32_t wantOp, wantFlags; };
    const Case cases[] = {
        {img_OP_COPY, 0, false, false, true, blt_OP_COPY, 0},
        {img_OP_BLEND, 0, true, true, true, blt_OP_COPY, blt_DEPTH | blt_KEY},
        {img_OP_BLENDALPHA, 0, true, false, true, blt_OP_ALPHA, 0},
        {img_OP_BLENDALPHA, 1, false, true, true, blt_OP_ALPHA, blt_SCALED | blt_KEY},
        {img_OP_SCALED, 0, true, false, true, blt_OP_COPY, blt_SCALED},
        {img_OP_BLEND, 5, true, false, true, blt_OP_COPY, blt_SCALED},
        {img_OP_ADD, 1, false, false, true, blt_OP_ADD, blt_SCALED},
        {img_OP_MODULATE, 1, false, false, false, 0, 0},
        {img_OP_FADEADD, 1, false, false, false, 0, 0},
        {img_OP_ALPHAMAP, 0, true, false, true, blt_OP_ALPHAMAP, 0},
        {img_OP_FADEADD, 0, true, true, true, blt_OP_FADEADD, blt_KEY},
        {img_OP_ADDSMOOTH, 0, true, false, true, blt_OP_ADDSMOOTH, blt_DEPTH},
        {img_OP_MODULATE, 0, false, false, true, blt_OP_MODULATE, 0},
        {2, 0, false, false, false, 0, 0},
        {16, 0, false, false, false, 0, 0},
        {16, 1, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        imgDrawPrmCTy prm;
        prm.op = c.op;
        prm.scaled = c.scaled;
        prm.srcDepth = c.depth ? &depth : nullptr;
        src.keyFlag = c.key ? 1 : 0;
        uint32_t op = 99, flags = 99;
        ASSERT_EQ(bltSelect(&src, prm, &op, &flags), c.draws) << c.op << " " << c.scaled;
        if (c.draws) {
            EXPECT_EQ(op, c.wantOp) << c.op;
            EXPECT_EQ(flags, c.wantFlags) << c.op;
        }
    }
}

TEST_F(BlitDraw, TheEntryPlacesTheRectangleAndUnlocksEverything) {
    auto src = Make(pel_FMT_X8R8G8B8, 4, 3, 0x100);
    auto dst = Make(pel_FMT_A8R8G8B8, 10, 10, 0);
    (void)src->Lock(nullptr, 1);  // left locked by the caller
    const rectTy r{1, 1, 2, 2};
    src->Draw(dst.get(), 2, 3, &r);
    EXPECT_EQ(src->lockPtr, nullptr);
    EXPECT_EQ(dst->lockPtr, nullptr);
    EXPECT_EQ(At(*dst, 3, 4), 0x100u + 5);
    EXPECT_EQ(At(*dst, 4, 5), 0x100u + 10);
    EXPECT_EQ(At(*dst, 5, 4), 45u);  // outside: untouched
    EXPECT_EQ(At(*dst, 2, 3), 32u);
    // A null rectangle draws the whole source.
    src->Draw(dst.get(), 0, 0, nullptr);
    EXPECT_EQ(At(*dst, 3, 2), 0x100u + 11);
    EXPECT_EQ(At(*dst, 4, 0), 4u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(BlitDraw, ScaledDrawsSampleTheWholeSource) {
    auto src = Make(pel_FMT_R5G6B5, 6, 2, 0x40);
    auto dst = Make(pel_FMT_R5G6B5, 8, 2, 0);
    imgDrawPrmCTy prm;
    prm.op = img_OP_SCALED;  // scaled copy also without the flag
    prm.scaleX = 2.0f;
    prm.scaleY = 1.0f;
    const rectTy r{4, 0, 2, 1};
    src->DrawEx(dst.get(), 0, 0, &r, prm);
    // Destination at (4, 0): both pels take source column 2.
    EXPECT_EQ(At(*dst, 4, 0), 0x42u);
    EXPECT_EQ(At(*dst, 5, 0), 0x42u);
    EXPECT_EQ(At(*dst, 6, 0), 6u);
}

TEST_F(BlitDraw, KeyPelsAreRebuiltFromTheKeyColour) {
    // R 255, G 128, B 64: 0xFC08 as R5G6B5, 0xFE08 as A1R5G5B5.
    for (auto [fmt, key] : {std::pair{pel_FMT_R5G6B5, 0xFC08u}, std::pair{pel_FMT_A1R5G5B5, 0xFE08u}}) {
        auto src = Make(fmt, 2, 1, key);  // pels key, key + 1
        auto dst = Make(pel_FMT_R8G8B8, 2, 1, 0);
        src->keyFlag = 1;
        src->keyColor = 0x00FF8040u;
        src->keyPel = 0;  // not used by the draw
        src->Draw(dst.get(), 0, 0, nullptr);
        EXPECT_EQ(At(*dst, 0, 0), 0u) << fmt;
        EXPECT_NE(At(*dst, 1, 0), 1u) << fmt;
    }
}

TEST_F(BlitDraw, IndexImagesAndUnsupportedPairings) {
    auto pal = std::make_unique<palCTy>();
    auto a = Make(pel_FMT_P8, 3, 2, 7, pal.get());
    auto b = Make(pel_FMT_P8, 3, 2, 100, pal.get());
    imgDrawPrmCTy prm;
    prm.op = 2;  // indices are copied whatever the op
    a->DrawEx(b.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(At(*b, 2, 1), 12u);
    // No palette under a palettised destination: reported, nothing drawn.
    auto plain = Make(pel_FMT_R5G6B5, 3, 2, 1);
    plain->Draw(b.get(), 0, 0, nullptr);
    EXPECT_EQ(Messages(), std::vector<std::string>{"imgCTy::Draw: This is not impelmetned yet"});
    EXPECT_EQ(b->lockPtr, nullptr);
    EXPECT_EQ(At(*b, 0, 0), 7u);
    // Formats outside the family and op 2 on a direct pair draw nothing.
    auto z = Make(pel_FMT_Z32, 3, 2, 5);
    auto d = Make(pel_FMT_R5G6B5, 3, 2, 0);
    z->Draw(d.get(), 0, 0, nullptr);
    plain->Draw(z.get(), 0, 0, nullptr);
    prm.op = 2;
    plain->DrawEx(d.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(At(*d, 2, 1), 5u);
    EXPECT_EQ(At(*z, 2, 1), 10u);
}

TEST_F(BlitDraw, PaletteSourcesAreKeyedByTheColourOfTheIndex) {
    palCTy* pal = new palCTy;  // the image's format record takes it over below
    const uint32_t colours[4] = {0x00070307u, 0x00000000u, 0x00102030u, 0x00102030u};
    pal->Set(colours, 4);
    pal->entries[2] = 0x7F102030u;  // a fourth byte that differs from the key's
    auto src = std::make_unique<imgRowCTy>();
    {
        pelFmtCTy f(pel_FMT_P8, pal);
        f.ownsPal = 1;
        src->SetSize(4, 1, &f);
    }
    (void)src->Lock(nullptr, 0);
    const uint8_t idx[4] = {0, 1, 2, 9};  // 9 lies beyond the palette
    std::memcpy(src->lockPtr, idx, 4);
    src->Unlock();
    src->keyFlag = 1;
    src->keyColor = 0;  // black
    // R5G6B5: entry 0 (B 7, G 3, R 7) converts to 0 like the key: both keyed.
    auto d16 = Make(pel_FMT_R5G6B5, 4, 1, 0x100);
    src->Draw(d16.get(), 0, 0, nullptr);
    EXPECT_EQ(At(*d16, 0, 0), 0x100u);
    EXPECT_EQ(At(*d16, 1, 0), 0x101u);
    EXPECT_EQ(At(*d16, 2, 0), (0x10u >> 3) << 11 | (0x20u >> 2) << 5 | (0x30u >> 3));
    EXPECT_EQ(At(*d16, 3, 0), 0x103u);  // no entry: not drawn
    // R8G8B8: entry 0 differs from black, so it is drawn.
    auto d24 = Make(pel_FMT_R8G8B8, 4, 1, 0x100);
    src->Draw(d24.get(), 0, 0, nullptr);
    EXPECT_EQ(At(*d24, 0, 0), 0x070307u);
    EXPECT_EQ(At(*d24, 1, 0), 0x101u);
    // X8R8G8B8: the whole u32 counts, and a copy writes the entry's fourth byte.
    src->keyColor = 0xFF102030u;
    auto d32 = Make(pel_FMT_A8R8G8B8, 4, 1, 0x100);
    src->Draw(d32.get(), 0, 0, nullptr);
    EXPECT_EQ(At(*d32, 2, 0), 0x7F102030u);
    EXPECT_EQ(At(*d32, 1, 0), 0xFF000000u);
    // Blends keep the destination's fourth byte.
    imgDrawPrmCTy prm;
    prm.op = img_OP_ADD;
    src->keyFlag = 0;
    auto e32 = Make(pel_FMT_X8R8G8B8, 4, 1, 0xAB000000u);
    src->DrawEx(e32.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(At(*e32, 2, 0), 0xAB102032u);
    // A format without a conversion is reported by the palette, nothing drawn.
    auto z = Make(8, 4, 1, 5);
    src->Draw(z.get(), 0, 0, nullptr);
    EXPECT_EQ(Messages(), std::vector<std::string>{"palCTy::BuildTbl: not impelmetned yet"});
    EXPECT_EQ(At(*z, 0, 0), 5u);
    EXPECT_EQ(src->lockPtr, nullptr);
}

// Alpha maps and depth images that the row loops cannot read at the source
// rectangle: op 3 draws nothing, a depth pair draws without the depth test.
// Expected pictures come from a draw without auxiliary images, for a plain
// and a palette source.
TEST_F(BlitDraw, AuxiliaryImagesThatCannotBeReadAtTheRectangleAreNotRead) {
    enum class Aux { none, unsized, small, narrow, lockedAtCorner, good };
    enum class Want { nothing, plain, depth, map };
    struct Case { const char* name; uint32_t op; Aux map, srcDepth, dstDepth; Want want; };
    const Case cases[] = {
        {"no map", img_OP_ALPHAMAP, Aux::none, Aux::none, Aux::none, Want::nothing},
        {"unsized map", img_OP_ALPHAMAP, Aux::unsized, Aux::none, Aux::none, Want::nothing},
        {"map smaller than the rectangle", img_OP_ALPHAMAP, Aux::small, Aux::none, Aux::none, Want::nothing},
        {"map locked at its corner", img_OP_ALPHAMAP, Aux::lockedAtCorner, Aux::none, Aux::none, Want::nothing},
        {"map", img_OP_ALPHAMAP, Aux::good, Aux::none, Aux::none, Want::map},
        {"unsized source depth", img_OP_COPY, Aux::none, Aux::unsized, Aux::good, Want::plain},
        {"no destination depth", img_OP_COPY, Aux::none, Aux::good, Aux::none, Want::plain},
        {"small destination depth", img_OP_COPY, Aux::none, Aux::good, Aux::small, Want::plain},
        {"source depth of 2-byte pels", img_OP_COPY, Aux::none, Aux::narrow, Aux::good, Want::plain},
        {"destination depth locked at its corner", img_OP_COPY, Aux::none, Aux::good, Aux::lockedAtCorner,
         Want::plain},
        {"depth pair", img_OP_COPY, Aux::none, Aux::good, Aux::good, Want::depth},
    };
    // A map of 8-bit pels 200 + i; depth images of i (source) and 6
    // (destination).
    auto make_aux = [](Aux kind, bool depth, bool source) -> std::unique_ptr<imgRowCTy> {
        const uint32_t fmt = depth ? pel_FMT_Z32 : pel_FMT_P8;
        switch (kind) {
        case Aux::none: return nullptr;
        case Aux::unsized: return std::make_unique<imgRowCTy>();
        case Aux::small: return Make(fmt, 1, 1, 0);
        case Aux::narrow: return Make(pel_FMT_R5G6B5, 4, 4, 0);
        case Aux::lockedAtCorner:
        case Aux::good: break;
        }
        auto img = Make(fmt, 4, 4, depth ? 0 : 200);
        if (depth && !source) {
            (void)img->Lock(nullptr, 0);
            for (int i = 0; i < 16; ++i) static_cast<int32_t*>(img->lockPtr)[i] = 6;
            img->Unlock();
        }
        if (kind == Aux::lockedAtCorner) {
            const rectTy corner{3, 3, 1, 1};
            (void)img->Lock(&corner, 0);
        }
        return img;
    };
    auto pal = new palCTy;  // the palette source's format record takes it over
    const uint32_t colours[4] = {0x00102030u, 0x00405060u, 0x00708090u, 0x00A0B0C0u};
    pal->Set(colours, 4);
    auto indexed = std::make_unique<imgRowCTy>();
    {
        pelFmtCTy f(pel_FMT_P8, pal);
        f.ownsPal = 1;
        indexed->SetSize(4, 4, &f);
    }
    (void)indexed->Lock(nullptr, 0);
    for (int i = 0; i < 16; ++i) static_cast<uint8_t*>(indexed->lockPtr)[i] = uint8_t(i % 4);
    indexed->Unlock();
    auto plain = Make(pel_FMT_X8R8G8B8, 4, 4, 0x00302010u);
    const rectTy r{1, 1, 2, 2};

    for (imgRowCTy* src : {plain.get(), indexed.get()}) {
        auto before = Make(pel_FMT_X8R8G8B8, 4, 4, 0x01000000u);
        auto copied = Make(pel_FMT_X8R8G8B8, 4, 4, 0x01000000u);
        src->Draw(copied.get(), 0, 0, &r);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (src == plain.get() ? ", plain source" : ", palette source"));
            auto map = make_aux(c.map, false, false);
            auto srcDepth = make_aux(c.srcDepth, true, true);
            auto dstDepth = make_aux(c.dstDepth, true, false);
            auto dst = Make(pel_FMT_X8R8G8B8, 4, 4, 0x01000000u);
            imgDrawPrmCTy prm;
            prm.op = c.op;
            prm.alphaMap = map.get();
            prm.srcDepth = srcDepth.get();
            prm.dstDepth = dstDepth.get();
            src->DrawEx(dst.get(), 0, 0, &r, prm);
            for (imgRowCTy* aux : {map.get(), srcDepth.get(), dstDepth.get()}) {
                if (aux) {
                    EXPECT_EQ(aux->lockPtr, nullptr);
                }
            }
            for (int32_t y = 0; y < 4; ++y) {
                for (int32_t x = 0; x < 4; ++x) {
                    const uint32_t d = At(*before, x, y), s = At(*copied, x, y);
                    const bool inside = x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
                    uint32_t want = d;
                    if (inside && c.want == Want::plain) want = s;
                    if (inside && c.want == Want::depth && y * 4 + x > 6) want = s;
                    if (inside && c.want == Want::map) {
                        // One rounding for a 32-bit destination; its fourth byte is kept.
                        const uint32_t a = 200 + uint32_t(y * 4 + x);
                        want = d & 0xFF000000u;
                        for (int shift = 0; shift < 24; shift += 8)
                            want |= ((((d >> shift) & 255) * (256 - a) + ((s >> shift) & 255) * a) >> 8) << shift;
                    }
                    ASSERT_EQ(At(*dst, x, y), want) << x << "," << y;
                }
            }
            // The destination depth is raised only by a draw with the test.
            if (c.dstDepth == Aux::good) {
                EXPECT_EQ(At(*dstDepth, 2, 2), c.want == Want::depth ? 10u : 6u);
            }
        }
    }
}

}  // namespace

TEST(GfxInit, InstallsTheDrawEntryAndRegistersTheImageClasses) {
    const imgDrawEntryTy saved = imgSetDrawEntry(nullptr);
    rwObjRegisterClass("imgRle8CTy", nullptr);
    gfxInit();
    EXPECT_NE(imgGetDrawEntry(), nullptr);
    const imgAlphaDrawsTy alphaDraws = imgAlphaSetDraws({});
    EXPECT_EQ(alphaDraws.drawEx, &alphaDrawEx);
    (void)imgAlphaSetDraws(alphaDraws);
    for (const char* name : {"imgRowCTy", "imgRle8CTy"}) {
        std::unique_ptr<rwObjCTy> made(rwObjCreateByClassName(name));
        ASSERT_NE(made, nullptr) << name;
        EXPECT_STREQ(made->GetClassName(), name);
    }
    imgSetDrawEntry(saved);
}

TEST(AlphaImageDraw, DrawsItsBoxAtItsOwnPlace) {
    gfxInit();
    imgAlpha src;
    src.SetSize(3, 2, nullptr);
    src.Lock(nullptr, img_LOCK_WRITE);
    auto* p = static_cast<uint32_t*>(src.lockPtr);
    const uint32_t pels[6] = {0, 0, 0, 0, 0xFF112233, 0xFF445566};
    std::memcpy(p, pels, sizeof pels);
    src.Unlock();
    imgRowCTy dst;
    const pelFmtCTy fmt(pel_FMT_A8R8G8B8);
    dst.SetSize(4, 3, &fmt);
    dst.Fill(0x7F7F7F7F, nullptr);
    src.Draw(&dst, 1, 0, nullptr);  // the box {1, 1, 2, 1} lands at (2, 1)
    EXPECT_EQ(dst.PelAtXY(2, 1), 0xFF112233u);
    EXPECT_EQ(dst.PelAtXY(3, 1), 0xFF445566u);
    EXPECT_EQ(dst.PelAtXY(1, 1), 0x7F7F7F7Fu);
    EXPECT_EQ(src.lockPtr, nullptr);
}
