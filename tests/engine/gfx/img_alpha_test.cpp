// The alpha image: encoding against a plain model of the runs, decoding,
// the long-run split, keys, premultiplied colours, colour formats, the body
// record and damaged bodies.
#include "gfx_test_support.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace {

// A w x h alpha image holding `pels` (A8R8G8B8 colour values, raster order).
std::unique_ptr<imgAlpha> make_alpha(int32_t w, int32_t h, const std::vector<uint32_t>& pels, uint32_t colorFmt = 1)
{
    auto img = std::make_unique<imgAlpha>();
    img->colorFmt = colorFmt;
    img->SetSize(w, h, nullptr);
    img->Lock(nullptr, img_LOCK_WRITE);
    std::memcpy(img->lockPtr, pels.data(), pels.size() * 4);
    img->Unlock();
    return img;
}

std::vector<uint32_t> decoded(imgAlpha& img)
{
    std::vector<uint32_t> out(size_t(img.width) * size_t(img.height));
    img.Lock(nullptr, img_LOCK_READ);
    std::memcpy(out.data(), img.lockPtr, out.size() * 4);
    img.Unlock();
    return out;
}

std::vector<uint16_t> runs_of(const imgAlpha& img) { return { img.runs, img.runs + img.runCount }; }

uint16_t run(uint32_t length, uint32_t type) { return static_cast<uint16_t>(length << 2 | type); }

// What a pel decodes to after one encoding in a colour format, written out
// channel by channel.
uint32_t model(uint32_t pel, uint32_t fmt, uint32_t key, bool keyed)
{
    const uint32_t a = pel >> 24;
    if (a == 0 || (keyed && (pel & 0xFFFFFF) == (key & 0xFFFFFF)))
        return key & 0xFFFFFF;
    uint32_t b = pel & 0xFF, g = (pel >> 8) & 0xFF, r = (pel >> 16) & 0xFF;
    if (fmt == pel_FMT_R5G6B5) { r &= 0xF8; g &= 0xFC; b &= 0xF8; }
    if (fmt == pel_FMT_X1R5G5B5) { r &= 0xF8; g &= 0xF8; b &= 0xF8; }
    return a << 24 | r << 16 | g << 8 | b;
}

class ImgAlphaTest : public GfxTest {};

TEST_F(ImgAlphaTest, EncodesRunsAlphaBytesColoursAndBox)
{
    auto img = make_alpha(4, 1, { 0x00112233, 0x80445566, 0xFF778899, 0xFFAABBCC });
    EXPECT_EQ(runs_of(*img), (std::vector<uint16_t> { run(1, 0), run(1, 1), run(2, 2) }));
    ASSERT_EQ(img->alphaCount, 1u);
    EXPECT_EQ(img->alphas[0], 128);
    ASSERT_EQ(img->colorCount, 3u);
    EXPECT_EQ(std::vector<uint8_t>(img->colors, img->colors + 9),
              (std::vector<uint8_t> { 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0xCC, 0xBB, 0xAA }));
    const rectTy box = img->GetRect();
    EXPECT_EQ((std::vector<int32_t> { box.x, box.y, box.w, box.h }), (std::vector<int32_t> { 1, 0, 3, 1 }));
    // The transparent pel decodes to the key colour's B, G, R (black) and A 0.
    EXPECT_EQ(decoded(*img), (std::vector<uint32_t> { 0, 0x80445566, 0xFF778899, 0xFFAABBCC }));
}

TEST_F(ImgAlphaTest, LongRunsSplitAndEmptyPicturesGetAUnitBox)
{
    auto opaque = make_alpha(128, 128, std::vector<uint32_t>(16384, 0xFF102030));
    EXPECT_EQ(runs_of(*opaque), (std::vector<uint16_t> { run(16383, 2), run(1, 2) }));
    EXPECT_EQ(opaque->colorCount, 16384u);
    auto clear = make_alpha(200, 100, std::vector<uint32_t>(20000, 0x00FFFFFF));
    EXPECT_EQ(runs_of(*clear), (std::vector<uint16_t> { run(16383, 0), run(3617, 0) }));
    EXPECT_EQ(clear->colorCount, 0u);
    EXPECT_EQ(clear->colors, nullptr);
    const rectTy box = clear->GetRect();
    EXPECT_EQ((std::vector<int32_t> { box.x, box.y, box.w, box.h }), (std::vector<int32_t> { 0, 0, 1, 1 }));
}

TEST_F(ImgAlphaTest, RandomPicturesDecodeAsTheModelInEveryColourFormat)
{
    std::mt19937 rng(7);
    for (uint32_t fmt : { pel_FMT_R8G8B8, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, pel_FMT_X1R5G5B5 }) {
        for (bool keyed : { false, true }) {
            SCOPED_TRACE(testing::Message() << "format " << fmt << " keyed " << keyed);
            const int32_t w = 37, h = 11;
            std::vector<uint32_t> pels(size_t(w * h));
            for (uint32_t& p : pels) {
                const uint32_t alpha[] = { 0, 255, 255, uint32_t(1 + rng() % 254) };
                p = alpha[rng() % 4] << 24 | (rng() % 4 == 0 ? 0x00405060u : uint32_t(rng() & 0xFFFFFF));
            }
            auto img = std::make_unique<imgAlpha>();
            img->colorFmt = fmt;
            if (keyed)
                img->SetColorKey(0xFF405060);
            img->SetSize(w, h, nullptr);
            img->Lock(nullptr, img_LOCK_WRITE);
            std::memcpy(img->lockPtr, pels.data(), pels.size() * 4);
            img->Unlock();
            std::vector<uint32_t> want;
            for (uint32_t p : pels)
                want.push_back(model(p, fmt, img->keyColor, keyed));
            EXPECT_EQ(decoded(*img), want);
            // Runs cover the picture; counts match the runs.
            uint32_t total = 0;
            for (uint16_t r : runs_of(*img))
                total += r >> 2;
            EXPECT_EQ(total, uint32_t(w * h));
        }
    }
}

TEST_F(ImgAlphaTest, KeyColourMakesItsPelsTransparent)
{
    auto img = make_alpha(3, 1, { 0xFF0000FF, 0xFF00FF00, 0x800000FF });
    EXPECT_EQ(img->colorCount, 3u);
    img->SetColorKey(0xFF0000FF);
    // The opaque pel of the key's B, G, R goes; the translucent one too.
    EXPECT_EQ(runs_of(*img), (std::vector<uint16_t> { run(1, 0), run(1, 2), run(1, 0) }));
    EXPECT_EQ(img->alphaCount, 0u);
    const rectTy box = img->GetRect();
    EXPECT_EQ((std::vector<int32_t> { box.x, box.w }), (std::vector<int32_t> { 1, 1 }));
}

TEST_F(ImgAlphaTest, ReadOnlyLocksKeepTheRunsAndUnchangedPelsEncodeTheSame)
{
    auto img = make_alpha(5, 2, { 0, 0x10203040, 0xFF203040, 0xFF203040, 0x7F000000, 0xFFFFFFFF, 0, 0, 0x01020304,
                                  0xFF000001 });
    const std::vector<uint16_t> before = runs_of(*img);
    const std::vector<uint8_t> colours(img->colors, img->colors + img->colorCount * 3);
    img->Lock(nullptr, img_LOCK_READ);
    static_cast<uint32_t*>(img->lockPtr)[0] = 0xFFFFFFFF; // not written back
    img->Unlock();
    EXPECT_EQ(runs_of(*img), before);
    img->Lock(nullptr, img_LOCK_RW);
    img->Unlock();
    EXPECT_EQ(runs_of(*img), before);
    EXPECT_EQ(std::vector<uint8_t>(img->colors, img->colors + img->colorCount * 3), colours);
    // A lock at a rectangle points into the whole picture's buffer.
    const rectTy r { 2, 1, 2, 1 };
    img->Lock(&r, img_LOCK_READ);
    EXPECT_EQ(img->lockPtr, img->lockBuf + 7);
    EXPECT_EQ(img->pitch, 5);
    img->Unlock();
}

TEST_F(ImgAlphaTest, PremultipliedColoursAndTheUnblendStep)
{
    auto img = std::make_unique<imgAlpha>();
    img->premultiplied = 1;
    img->SetSize(1, 1, nullptr);
    img->Lock(nullptr, img_LOCK_WRITE);
    *static_cast<uint32_t*>(img->lockPtr) = 0x800000C8; // A 128, B 200
    img->Unlock();
    EXPECT_EQ(img->colors[0], 100);
    EXPECT_EQ(img->alphas[0], 127);
    EXPECT_EQ(decoded(*img)[0], 0x800000C8u);

    // Un-blend: 50 % red over a white background comes back as red.
    auto blended = std::make_unique<imgAlpha>();
    blended->unblend = 1;
    blended->SetSize(2, 1, nullptr);
    blended->Lock(nullptr, img_LOCK_WRITE);
    auto* p = static_cast<uint32_t*>(blended->lockPtr);
    p[0] = 0x00FFFFFF;
    p[1] = 0x80FF7F7F;
    blended->Unlock();
    EXPECT_EQ(decoded(*blended)[1], 0x80FF0000u);
}

TEST_F(ImgAlphaTest, ColourFormatConversionsFollowThePelUnpackers)
{
    const std::vector<uint32_t> pels = { 0xFF123456, 0x80ABCDEF, 0xFFF8FCF8, 0x00000000, 0xFF0408FF };
    // Each chain ends in a format; what decodes is the colours after every
    // narrowing step on the way.
    struct Case {
        std::vector<uint32_t> chain;
    };
    const Case cases[] = {
        { { 1, 2 } }, { { 1, 4 } }, { { 1, 5 } }, { { 2, 4, 1 } }, { { 1, 4, 5 } }, { { 1, 5, 4 } }, { { 1, 4, 2 } },
        { { 1, 5, 2, 1 } },
    };
    for (const Case& c : cases) {
        auto img = make_alpha(5, 1, pels, c.chain[0]);
        std::vector<uint32_t> want = decoded(*img);
        for (size_t i = 1; i < c.chain.size(); ++i) {
            const pelFmtCTy fmt(c.chain[i]);
            img->SetColorFmt(&fmt);
            ASSERT_EQ(img->colorFmt, c.chain[i]);
            for (uint32_t& p : want) {
                if ((p >> 24) == 0)
                    continue;
                const uint8_t bgr[3] = { uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16) };
                uint16_t v = 0;
                uint32_t back = p;
                if (c.chain[i] == pel_FMT_R5G6B5) {
                    pelSet565(&v, bgr);
                    pel565ToColor(&back, v);
                } else if (c.chain[i] == pel_FMT_X1R5G5B5) {
                    pelSet555(&v, bgr);
                    pel555ToColor(&back, v);
                }
                p = (p & 0xFF000000) | (back & 0xFFFFFF);
            }
        }
        EXPECT_EQ(decoded(*img), want) << c.chain.size();
    }
}

// The header and body of `img`, as a legacy stream holds them.
std::vector<uint8_t> record_of(imgAlpha& img)
{
    auto out = write_stream();
    img.Write(out.get());
    return bytes_of(out.get());
}

TEST_F(ImgAlphaTest, BodyRecordRoundTripsByClassName)
{
    auto img = make_alpha(4, 2, { 0, 0x80445566, 0xFF778899, 0xFFAABBCC, 0x11000000, 0, 0, 0xFF010203 }, 4);
    img->SetColorKey(0xFF010203);
    const std::vector<uint8_t> bytes = record_of(*img);
    // Header (28 bytes keyed, 8 more for the format record), then the body.
    auto in = read_stream(bytes);
    std::unique_ptr<rwObjCTy> made(rwObjCreateByClassName("imgAlpha"));
    auto* back = dynamic_cast<imgAlpha*>(made.get());
    ASSERT_NE(back, nullptr);
    back->Read(in.get());
    EXPECT_EQ(in->position, bytes.size());
    EXPECT_EQ(record_of(*back), bytes);
    EXPECT_EQ(decoded(*back), decoded(*img));
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgAlphaTest, DamagedBodiesAreRefusedAndLeaveAnEmptyImage)
{
    // 3 x 1: runs (1 T)(1 TL)(1 O), one alpha byte, two 3-byte colours, box.
    auto body = [](uint32_t premul, uint32_t fmt, std::vector<uint16_t> runs, std::vector<uint8_t> alphas,
                   uint32_t colours, std::vector<int32_t> box) {
        Bytes b;
        b.u32(3).u32(1).u32(0).u32(pel_FMT_A8R8G8B8).u32(0); // header: 3 x 1, no key, no palette
        b.u32(0).u32(premul).u32(fmt).u32(uint32_t(runs.size()));
        for (uint16_t r : runs)
            b.raw({ uint8_t(r), uint8_t(r >> 8) });
        b.u32(uint32_t(alphas.size())).raw(alphas).u32(colours);
        b.raw(std::vector<uint8_t>(colours * pelSize(fmt), 0x33));
        for (int32_t v : box)
            b.u32(uint32_t(v));
        return b.get();
    };
    const std::vector<uint16_t> good = { run(1, 0), run(1, 1), run(1, 2) };
    ASSERT_EQ(body(0, 1, good, { 9 }, 2, { 1, 0, 2, 1 }).size(), 20u + 16 + 6 + 5 + 4 + 6 + 16);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        { "run sum short", body(0, 1, { run(1, 0), run(1, 1) }, { 9 }, 1, { 1, 0, 1, 1 }) },
        { "run sum long", body(0, 1, { run(1, 0), run(1, 1), run(2, 2) }, { 9 }, 3, { 1, 0, 2, 1 }) },
        { "run of length 0", body(0, 1, { run(0, 2), run(1, 0), run(1, 1), run(1, 2) }, { 9 }, 2, { 1, 0, 2, 1 }) },
        { "run type 3", body(0, 1, { run(1, 3), run(1, 1), run(1, 2) }, { 9 }, 2, { 1, 0, 2, 1 }) },
        { "alpha count", body(0, 1, good, { 9, 9 }, 2, { 1, 0, 2, 1 }) },
        { "colour count", body(0, 1, good, { 9 }, 1, { 1, 0, 2, 1 }) },
        { "colour format 3", body(0, 3, good, { 9 }, 2, { 1, 0, 2, 1 }) },
        { "colour format 99", body(0, 99, good, { 9 }, 2, { 1, 0, 2, 1 }) },
        { "box outside", body(0, 1, good, { 9 }, 2, { 2, 0, 2, 1 }) },
        { "negative box", body(0, 1, good, { 9 }, 2, { -1, 0, 2, 1 }) },
        { "premultiplied alpha 255", body(1, 1, good, { 255 }, 2, { 1, 0, 2, 1 }) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reports().clear();
        auto in = read_stream(c.bytes);
        imgAlpha img;
        img.Read(in.get());
        EXPECT_EQ(img.runCount, 0u);
        EXPECT_EQ(img.runs, nullptr);
        EXPECT_EQ(img.width, 0);
        ASSERT_FALSE(reports().empty());
        EXPECT_EQ(reports()[0].code, ERR_DATA);
    }
    // Every cut of a good record is refused without reading past it, and a
    // huge run count allocates nothing the record cannot hold.
    const std::vector<uint8_t> whole = body(0, 1, good, { 9 }, 2, { 1, 0, 2, 1 });
    for (size_t n = 0; n < whole.size(); ++n) {
        auto in = read_stream(std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(n)));
        imgAlpha img;
        img.Read(in.get());
        EXPECT_EQ(img.runCount, 0u) << n;
    }
    std::vector<uint8_t> huge = whole;
    huge[20 + 12] = 0xFF, huge[20 + 13] = 0xFF, huge[20 + 14] = 0xFF, huge[20 + 15] = 0x7F;
    auto in = read_stream(huge);
    imgAlpha img;
    img.Read(in.get());
    EXPECT_EQ(img.runs, nullptr);
}

TEST_F(ImgAlphaTest, SizesAndFormatsOfSetSize)
{
    imgAlpha img;
    const pelFmtCTy p8(pel_FMT_P8);
    img.SetSize(4, 4, &p8);
    EXPECT_EQ(messages(), (std::vector<std::string> { "imgAlpha::SetSize: Only pel_FMT_R8G8B8, pel_FMT_A8R8G8B8 available" }));
    EXPECT_EQ(img.width, 4);
    img.SetSize(40000, 2, nullptr);
    EXPECT_EQ(img.width, 0);
    EXPECT_EQ(reports().back().code, ERR_NO_MEMORY);
    EXPECT_EQ(img.Clone(), nullptr);
}

TEST_F(ImgAlphaTest, TgaPicturesEncodeWithTheImagesKeyAndFormat)
{
    // A 32-bit true-colour TGA, 3 x 1, bottom-left origin: B, G, R, A.
    const std::vector<uint8_t> tga = { 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 1, 0, 32, 8,
                                       1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255 };
    const auto name = (std::filesystem::temp_directory_path() / ("quarn_alpha_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".tga")).string();
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(tga.data()), std::streamsize(tga.size()));
    imgAlpha img;
    img.colorFmt = pel_FMT_X8R8G8B8;
    ASSERT_EQ(img.LoadTga(name.c_str()), 0);
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(runs_of(img), (std::vector<uint16_t> { run(1, 0), run(1, 1), run(1, 2) }));
    EXPECT_EQ(decoded(img), (std::vector<uint32_t> { 0, 0x80060504, 0xFF090807 }));
    std::filesystem::remove(name);
    EXPECT_EQ(img.LoadTga(name.c_str()), ERR_OPEN);
}

} // namespace

TEST_F(ImgAlphaTest, BmpFilesLoadOnlyAtThirtyTwoBits)
{
    imgRowCTy source;
    const pelFmtCTy argb(pel_FMT_A8R8G8B8), rgb(pel_FMT_R8G8B8);
    source.SetSize(2, 1, &argb);
    source.Lock(nullptr, img_LOCK_WRITE);
    static_cast<uint32_t*>(source.lockPtr)[0] = 0x80112233;
    static_cast<uint32_t*>(source.lockPtr)[1] = 0x00445566;
    source.Unlock();
    std::vector<uint8_t> bytes;
    ASSERT_EQ(imgBmpBytes(&source, bytes), 0);
    imgAlpha img;
    ASSERT_EQ(imgReadBmpBytes(&img, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(decoded(img), (std::vector<uint32_t> { 0x80112233, 0 }));
    source.SetSize(2, 1, &rgb);
    ASSERT_EQ(imgBmpBytes(&source, bytes), 0);
    EXPECT_EQ(imgReadBmpBytes(&img, bytes.data(), bytes.size()), ERR_DATA);
}
