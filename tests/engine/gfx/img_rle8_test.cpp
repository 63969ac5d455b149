#include "gfx_test_support.h"

#include <random>

namespace {

using ImgRle8Test = GfxTest;

// A w x h RLE8 image made from `pic` through Lock / Unlock.
std::unique_ptr<imgRle8CTy> make_image(int32_t w, int32_t h, const std::vector<uint8_t>& pic, int key = -1)
{
    auto img = std::make_unique<imgRle8CTy>();
    auto pal = make_palette({ 0x000000, 0xFF0000, 0x00FF00, 0x0000FF });
    pelFmtCTy fmt(pel_FMT_P8, pal.get());
    img->SetSize(w, h, &fmt);
    if (key >= 0)
        img->SetColorKeyPel(static_cast<uint32_t>(key));
    EXPECT_EQ(img->Lock(nullptr, img_LOCK_WRITE), w);
    std::memcpy(img->lockPtr, pic.data(), pic.size());
    img->Unlock();
    return img;
}

std::vector<uint8_t> decoded(imgRle8CTy& img)
{
    img.Lock(nullptr, img_LOCK_READ);
    const auto* p = static_cast<const uint8_t*>(img.lockPtr);
    std::vector<uint8_t> out(p, p + static_cast<size_t>(img.width) * img.height);
    img.Unlock();
    return out;
}

std::vector<std::vector<uint8_t>> rows_of(const imgRle8CTy& img)
{
    std::vector<std::vector<uint8_t>> out;
    for (int32_t r = 0; r < img.box.h; ++r) {
        const uint32_t n = rle8RowLength(&img, r);
        out.emplace_back(img.rows[r], img.rows[r] + n);
    }
    return out;
}

// Whether the image's own rows lie one after another, in row order, in its
// one row block.
bool rows_packed(const imgRle8CTy& img)
{
    const uint8_t* next = img.rowBlock;
    for (int32_t r = 0; r < img.rowCount; ++r) {
        if (!img.rows[r])
            continue;
        if (img.rows[r] != next)
            return false;
        next += rle8RowLength(&img, r);
    }
    return true;
}

// The 4 x 3 keyed picture used by the golden record:
//   k k k k
//   k 1 2 k
//   k k k k     (key 0) -> box {1, 1, 2, 1}, one row "82 01 02".
const std::vector<uint8_t> small_pic { 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0 };

std::vector<uint8_t> golden_small()
{
    return Bytes()
        .u32(1)
        .u32(4)
        .u32(3)
        .u32(1)
        .u32(0) // the key colour: palette entry 0 as stored
        .u32(0)
        .u32(pel_FMT_P8)
        .u32(pal_KIND_OWN)
        .u32(4)
        .raw({ 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF }) // R, G, B of each entry
        .u32(1)
        .u32(1)
        .u32(2)
        .u32(1)
        .u32(64) // where the offsets table begins
        .u32(67)
        .raw({ 0x82, 1, 2 })
        .get();
}

TEST_F(ImgRle8Test, KeyedPicturesRoundTripThroughTheLock)
{
    std::mt19937 rng(11);
    for (int iter = 0; iter < 60; ++iter) {
        const int32_t w = 1 + static_cast<int32_t>(rng() % 90);
        const int32_t h = 1 + static_cast<int32_t>(rng() % 20);
        std::vector<uint8_t> pic(static_cast<size_t>(w) * h, 3);
        // A blob of runs and noise somewhere inside a key border.
        const int32_t x0 = static_cast<int32_t>(rng() % w), y0 = static_cast<int32_t>(rng() % h);
        for (int32_t y = y0; y < h; ++y)
            for (int32_t x = x0; x < w; ++x)
                pic[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(rng() % 4 == 0 ? 3 : rng() % 3 + (x & 1));
        pic[static_cast<size_t>(y0) * w + x0] = 1;
        auto img = make_image(w, h, pic, 3);
        ASSERT_EQ(decoded(*img), pic) << iter;
        EXPECT_EQ(img->box.x, x0);
        EXPECT_EQ(img->box.y, y0);
        EXPECT_EQ(img->rowCount, img->box.h);
        EXPECT_TRUE(rows_packed(*img));
        // A read-only lock keeps every row byte for byte.
        const auto before = rows_of(*img);
        const auto* firstRow = img->rows[0];
        img->Lock(nullptr, img_LOCK_READ);
        img->Unlock();
        EXPECT_EQ(img->rows[0], firstRow);
        EXPECT_EQ(rows_of(*img), before);
        // Stream round trip.
        auto out = write_stream();
        img->Write(out.get());
        auto in = read_stream(bytes_of(out.get()));
        imgRle8CTy back;
        back.Read(in.get());
        EXPECT_EQ(in->position, in->length);
        EXPECT_EQ(back.width, w);
        EXPECT_EQ(back.keyPel, 3u);
        EXPECT_EQ(rows_of(back), before);
        ASSERT_EQ(decoded(back), pic);
        EXPECT_TRUE(rows_packed(back));
        std::unique_ptr<imgCTy> clone(back.Clone());
        EXPECT_EQ(decoded(static_cast<imgRle8CTy&>(*clone)), pic);
        EXPECT_TRUE(rows_packed(static_cast<imgRle8CTy&>(*clone)));
    }
}

TEST_F(ImgRle8Test, UnkeyedPicturesCoverTheWholeImage)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> pic(33 * 7);
    for (auto& p : pic)
        p = static_cast<uint8_t>(rng() % 256);
    pic[0] = 0;
    auto img = make_image(33, 7, pic);
    EXPECT_EQ(img->keyPel, rle8_NO_KEY);
    EXPECT_EQ(img->GetRect().w, 33);
    EXPECT_EQ(img->GetRect().h, 7);
    EXPECT_EQ(decoded(*img), pic);
}

TEST_F(ImgRle8Test, AllKeyPictureHasNoBoxAndWritesNoRows)
{
    auto img = make_image(5, 4, std::vector<uint8_t>(20, 2), 2);
    EXPECT_EQ(img->GetRect().w, 0);
    EXPECT_EQ(img->GetRect().h, 0);
    EXPECT_EQ(img->rows, nullptr);
    EXPECT_EQ(decoded(*img), std::vector<uint8_t>(20, 2));
    auto out = write_stream();
    img->Write(out.get());
    // Flag, header without palette entries beyond the four, box: no table.
    EXPECT_EQ(out->length, 4u + 20 + 8 + 4 + 12 + 16);
}

TEST_F(ImgRle8Test, StreamRecordGoldenBytes)
{
    auto img = make_image(4, 3, small_pic, 0);
    auto out = write_stream();
    rwWriteU32(out.get(), 0xAAAAAAAA); // the offsets count from the stream's start
    img->Write(out.get());
    auto want = Bytes().u32(0xAAAAAAAA).raw(golden_small()).get();
    // offsets[0] = 4 + the record's 64 bytes before the table.
    want[4 + 64] = 68;
    want[4 + 68] = 71;
    EXPECT_EQ(bytes_of(out.get()), want);

    auto in = read_stream(golden_small());
    std::unique_ptr<rwObjCTy> made(rwObjCreateByClassName("imgRle8CTy"));
    auto* back = dynamic_cast<imgRle8CTy*>(made.get());
    ASSERT_NE(back, nullptr);
    back->Read(in.get());
    EXPECT_EQ(decoded(*back), small_pic);
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgRle8Test, InPlaceRowsPointIntoTheBuffer)
{
    auto bytes = Bytes().raw(golden_small()).raw({ 0xEE }).get();
    auto in = read_stream(bytes);
    {
        imgRle8CTy img;
        EXPECT_EQ(img.ReadInPlace(in.get()), 1);
        ASSERT_EQ(img.rowCount, 1);
        EXPECT_EQ(img.rows[0], in->data + 72);
        EXPECT_EQ(img.inPlace, 1u);
        EXPECT_EQ(decoded(img), small_pic);
        // Re-encoding makes rows of the image's own; the buffer is untouched.
        img.Lock(nullptr, img_LOCK_RW);
        static_cast<uint8_t*>(img.lockPtr)[0] = 1;
        img.Unlock();
        EXPECT_EQ(img.inPlace, 0u);
        EXPECT_EQ(img.box.x, 0);
        EXPECT_EQ(in->data[72], 0x82);
    }
    in->position = 0;
    imgRle8CTy img;
    EXPECT_EQ(img.ReadInPlace(in.get()), 1);
    img.Free(); // must not release what lies in the buffer (ASan checks)
    EXPECT_EQ(img.rows, nullptr);
}

TEST_F(ImgRle8Test, OlderRecordKeepsTheOffsetsInTheBody)
{
    // Flag 0: header and box, then at the body's start box.h + 1 offsets
    // counted from the start of the buffer.
    auto rec = golden_small();
    std::vector<uint8_t> older(rec.begin(), rec.begin() + 64);
    older[0] = 0;
    auto bytes = Bytes().raw(older).u32(72).u32(75).raw({ 0x82, 1, 2 }).get();
    {
        auto in = read_stream(bytes);
        imgRle8CTy img;
        img.Read(in.get());
        EXPECT_EQ(img.offsetsInHeader, 0u);
        EXPECT_EQ(decoded(img), small_pic);
    }
    auto in = read_stream(bytes);
    imgRle8CTy img;
    EXPECT_EQ(img.ReadInPlace(in.get()), 1);
    ASSERT_EQ(img.rowCount, 1);
    EXPECT_EQ(img.rows[0], in->data + 72);
    EXPECT_EQ(decoded(img), small_pic);
}

TEST_F(ImgRle8Test, CorruptRecordsAreRefused)
{
    const auto good = golden_small();
    auto refused_at = [&](int line, std::vector<uint8_t> bytes, int want, bool inPlace = false) {
        SCOPED_TRACE(line);
        auto in = read_stream(bytes);
        imgRle8CTy img;
        int rc = img.ReadHeader(in.get());
        if (rc == 0)
            rc = inPlace ? img.ReadBodyInPlace(in.get()) : img.ReadBody(in.get());
        EXPECT_EQ(rc, want);
        EXPECT_EQ(img.width, 0);
        EXPECT_EQ(img.rows, nullptr);
        EXPECT_EQ(img.GetRect().h, 0);
    };
    auto with = [&](size_t at, std::initializer_list<uint8_t> v) {
        auto b = good;
        for (uint8_t byte : v)
            b[at++] = byte;
        return b;
    };
    for (bool inPlace : { false, true }) {
        // A literal running past the row's bytes, a fill without its value,
        // codes covering too few pels.
        refused_at(__LINE__, with(72, { 0x83 }), ERR_DATA, inPlace);
        auto fill = with(72, { 0xC2 });
        fill[68] = 65; // the row is one byte long
        refused_at(__LINE__, fill, ERR_DATA, inPlace);
        refused_at(__LINE__, with(72, { 0x01, 0x80, 0x00 }), ERR_DATA, inPlace);
        // Offsets going backwards or past the data.
        refused_at(__LINE__, with(68, { 63 }), ERR_DATA, inPlace);
        refused_at(__LINE__, with(68, { 0x50 }), inPlace ? ERR_DATA : ERR_END_OF_DATA, inPlace);
        // Box outside the image, negative box.
        refused_at(__LINE__, with(48, { 3 }), ERR_DATA, inPlace);
        refused_at(__LINE__, with(60, { 3 }), ERR_DATA, inPlace);
        refused_at(__LINE__, with(56, { 0xFF, 0xFF, 0xFF, 0xFF }), ERR_DATA, inPlace);
    }
    // A huge box height in a big image: refused before any table is made.
    auto huge = with(8, { 0xFF, 0xFF, 0xFF, 0x7F });
    huge[60] = 0xFE;
    huge[61] = 0xFF;
    huge[62] = 0xFF;
    huge[63] = 0x7F;
    refused_at(__LINE__, huge, ERR_DATA);
    // A picture too large to decode, even with an empty box.
    auto wide = with(4, { 0x00, 0x00, 0x01, 0x00 });
    wide[8] = 0x01;
    wide[9] = 0x10;
    refused_at(__LINE__, wide, ERR_DATA); // 65536 x 4097 pels, just past the limit
    // Cut short anywhere.
    for (size_t n = 0; n < good.size(); ++n) {
        auto in = read_stream(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(n)));
        imgRle8CTy img;
        img.Read(in.get());
        EXPECT_EQ(img.width, 0) << n;
    }
}

TEST_F(ImgRle8Test, HeadersNoLockCanServeAreRefused)
{
    // Each was accepted before: another pel format gave a lock of one byte
    // per pel that PelAtXY and Fill then overran; a zero side let the other
    // one through the pel cap, and the row array and the opaque-box walk
    // grew with a height of up to 2^31 - 1.
    struct Case {
        uint32_t format, width, height;
    };
    for (const Case c : { Case { pel_FMT_R5G6B5, 4, 3 }, Case { pel_FMT_X8R8G8B8, 4, 3 }, Case { pel_FMT_Z32, 4, 3 },
                          Case { 0, 0x7FFFFFFF, 3 }, Case { pel_FMT_P8, 0, 0x7FFFFFFF }, Case { pel_FMT_P8, 4, 0 },
                          Case { pel_FMT_P8, 0, 0 }, Case { pel_FMT_P8, 1, rle8_MAX_SIDE + 1 },
                          Case { pel_FMT_P8, rle8_MAX_SIDE + 1, 1 } }) {
        SCOPED_TRACE(testing::Message() << c.format << " " << c.width << "x" << c.height);
        auto bytes = golden_small();
        auto put = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        put(4, c.width);
        put(8, c.height);
        put(24, c.format);
        put(48, 0); // an empty box, inside any size
        put(52, 0);
        put(56, 0);
        put(60, 0);
        auto in = read_stream(bytes);
        imgRle8CTy img;
        EXPECT_EQ(img.ReadHeader(in.get()), ERR_DATA);
        EXPECT_EQ(img.width, 0);
        EXPECT_EQ(img.height, 0);
        EXPECT_EQ(img.pelFmt.format, pel_FMT_P8);
        EXPECT_EQ(img.rows, nullptr);
    }
    // The largest sides still read.
    auto bytes = golden_small();
    bytes[4] = 0;
    bytes[5] = 0x80; // 32768 x 3
    auto in = read_stream(bytes);
    imgRle8CTy img;
    img.Read(in.get());
    EXPECT_EQ(img.width, rle8_MAX_SIDE);
    EXPECT_EQ(img.GetRect().w, 2);
}

TEST_F(ImgRle8Test, UnkeyedPelsNoRowDescribesLockAsZero)
{
    // An unkeyed record whose box covers part of the image: the lock used
    // to hand out whatever the new buffer held around it.
    const auto bytes = Bytes()
                           .u32(1)
                           .u32(4)
                           .u32(3)
                           .u32(0) // no key
                           .u32(pel_FMT_P8)
                           .u32(pal_KIND_OWN)
                           .u32(1)
                           .raw({ 0, 0, 0xFF })
                           .u32(1)
                           .u32(1)
                           .u32(2)
                           .u32(1)
                           .u32(100)
                           .u32(103)
                           .raw({ 0x82, 1, 2 })
                           .get();
    auto in = read_stream(bytes);
    imgRle8CTy img;
    img.Read(in.get());
    ASSERT_EQ(img.width, 4);
    EXPECT_EQ(decoded(img), (std::vector<uint8_t> { 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0 }));
}

TEST_F(ImgRle8Test, TallPicturesKeepTheirRowsInOneBlock)
{
    // 2 x 32768 pels of noise: every row has codes of its own.
    const int32_t w = 2, h = rle8_MAX_SIDE;
    std::mt19937 rng(3);
    std::vector<uint8_t> pic(static_cast<size_t>(w) * h);
    for (auto& p : pic)
        p = static_cast<uint8_t>(rng() % 200 + 1);
    auto img = make_image(w, h, pic, 0);
    ASSERT_EQ(img->rowCount, h);
    EXPECT_TRUE(rows_packed(*img));
    EXPECT_EQ(img->rows[h - 1], img->rowBlock + (h - 1) * 3); // "82 p q" per row
    EXPECT_EQ(decoded(*img), pic);
}

struct DrawCall {
    int which = -1;
    imgRle8CTy* image = nullptr;
    int32_t x = 0, y = 0;
    float opacity = 0;
    uint32_t op = 99;
};
DrawCall last_call;

TEST_F(ImgRle8Test, DrawsGoThroughTheInstalledDrawsOrReport)
{
    auto img = make_image(4, 3, small_pic, 0);
    imgRowCTy dst;
    pelFmtCTy fmt(pel_FMT_R5G6B5);
    dst.SetSize(8, 8, &fmt);
    const imgDrawPrmCTy prm { .op = img_OP_ALPHA };

    const imgRle8DrawsTy none;
    const imgRle8DrawsTy saved = imgRle8SetDraws(none);
    img->Draw(&dst, 1, 2, nullptr);
    img->DrawMirrorH(&dst, 1, 2, nullptr);
    img->DrawEx(&dst, 1, 2, nullptr, prm);
    img->DrawExMirrorH(&dst, 1, 2, nullptr, prm);
    img->DrawAlpha(&dst, 1, 2, nullptr, 0.5f);
    EXPECT_EQ(messages(), (std::vector<std::string> { "imgRle8CTy::Draw: This is not impelmetned yet",
                                                      "imgRle8CTy::DrawMirrorH: This is not impelmetned yet",
                                                      "imgRle8CTy::DrawEx: This is not impelmetned yet",
                                                      "imgRle8CTy::DrawExMirrorH: This is not impelmetned yet",
                                                      "imgRle8CTy::Draw: This is not impelmetned yet" }));

    imgRle8DrawsTy fake;
    fake.draw = [](imgRle8CTy* i, imgCTy*, int32_t x, int32_t y, const rectTy*) { last_call = { 0, i, x, y }; };
    fake.drawEx = [](imgRle8CTy* i, imgCTy*, int32_t x, int32_t y, const rectTy*, const imgDrawPrmCTy& p) {
        last_call = { 2, i, x, y, 0, p.op };
    };
    fake.drawAlpha = [](imgRle8CTy* i, imgCTy*, int32_t x, int32_t y, const rectTy*, float o) {
        last_call = { 4, i, x, y, o };
    };
    imgRle8SetDraws(fake);
    reports().clear();
    img->Draw(&dst, 3, 4, nullptr);
    EXPECT_EQ(last_call.which, 0);
    EXPECT_EQ(last_call.image, img.get());
    EXPECT_EQ(last_call.y, 4);
    img->DrawAlphaMap(&dst, 1, 1, nullptr, nullptr); // the base's wrapper ends in DrawEx
    EXPECT_EQ(last_call.which, 2);
    EXPECT_EQ(last_call.op, img_OP_ALPHAMAP);
    img->DrawAlpha(&dst, 5, 6, nullptr, 0.25f);
    EXPECT_EQ(last_call.which, 4);
    EXPECT_FLOAT_EQ(last_call.opacity, 0.25f);
    EXPECT_TRUE(messages().empty());
    // A palettised destination goes to the installed draw, which refuses it
    // inside its own lock bracket.
    last_call = {};
    auto pal = make_palette({ 0 });
    imgRowCTy p8;
    pelFmtCTy p8fmt(pel_FMT_P8, pal.get());
    p8.SetSize(4, 4, &p8fmt);
    img->Draw(&p8, 0, 0, nullptr);
    EXPECT_EQ(last_call.which, 0);
    EXPECT_TRUE(messages().empty());
    // No destination: reported here.
    img->Draw(nullptr, 0, 0, nullptr);
    EXPECT_EQ(messages(), (std::vector<std::string> { "imgRle8CTy::Draw: This is not impelmetned yet" }));
    imgRle8SetDraws(saved);
}

TEST_F(ImgRle8Test, SetSizeOfAnotherFormatReportsAndStillSizes)
{
    imgRle8CTy img;
    EXPECT_EQ(img.kind, img_KIND_RLE8);
    EXPECT_EQ(img.pelFmt.format, pel_FMT_P8);
    pelFmtCTy fmt(pel_FMT_R5G6B5);
    img.SetSize(6, 2, &fmt);
    EXPECT_EQ(messages(), (std::vector<std::string> { "Unsupported pel's format" }));
    EXPECT_EQ(img.width, 6);
    EXPECT_EQ(img.rowCount, 2);
    // The lock is always the whole image, whatever rectangle is asked for.
    const rectTy r { 2, 1, 1, 1 };
    EXPECT_EQ(img.Lock(&r, img_LOCK_WRITE), 6);
    EXPECT_EQ(img.lockRect.w, 6);
    EXPECT_EQ(static_cast<uint8_t*>(img.lockPtr), img.decodeBuf + 8);
    std::memset(img.decodeBuf, 4, 12);
    img.Unlock();
    EXPECT_EQ(img.decodeBuf, nullptr);
    EXPECT_EQ(decoded(img), std::vector<uint8_t>(12, 4));
}

TEST_F(ImgRle8Test, SetSizeKeepsToTheImageSizeCap)
{
    struct Case {
        int32_t w, h;
        bool accepted;
    };
    // Sides up to 32768 and up to 2^30 pels, one byte each.
    const Case cases[] = {
        { 40000, 40000, false }, { 40000, 1, false }, { 1, 40000, false }, { 32768, 32768, true }, { 7, 3, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        reports().clear();
        imgRle8CTy img;
        img.SetSize(c.w, c.h, nullptr);
        EXPECT_EQ(img.width, c.accepted ? c.w : 0);
        EXPECT_EQ(img.height, c.accepted ? c.h : 0);
        EXPECT_EQ(img.rowCount, c.accepted ? c.h : 0);
        if (c.accepted) {
            EXPECT_TRUE(reports().empty());
        } else {
            ASSERT_EQ(reports().size(), 1u);
            EXPECT_EQ(reports()[0].code, ERR_NO_MEMORY);
        }
    }
}

} // namespace
