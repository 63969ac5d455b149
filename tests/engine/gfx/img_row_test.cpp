#include "gfx_test_support.h"

#include <atomic>
#include <filesystem>
#include <random>

namespace {

using ImgRowTest = GfxTest;

std::unique_ptr<imgRowCTy> sized(int32_t w, int32_t h, uint32_t format, palCTy* pal = nullptr)
{
    auto img = std::make_unique<imgRowCTy>();
    pelFmtCTy fmt(format, pal);
    img->SetSize(w, h, &fmt);
    for (size_t i = 0; i < img->BodySize(); ++i)
        img->pels[i] = static_cast<uint8_t>(0xA0 + i);
    return img;
}

std::vector<uint8_t> pels_of(const imgRowCTy& img) { return std::vector<uint8_t>(img.pels, img.pels + img.BodySize()); }

TEST_F(ImgRowTest, BlockSizePitchAndLockPointer)
{
    auto img = sized(3, 2, pel_FMT_R8G8B8);
    EXPECT_EQ(img->kind, img_KIND_ROW);
    EXPECT_EQ(img->BodySize(), 18u);
    EXPECT_EQ(img->rowPitch, 3u);
    EXPECT_EQ(img->ownsPels, 1);
    const rectTy r { 1, 1, 1, 1 };
    EXPECT_EQ(img->Lock(&r, img_LOCK_WRITE), 3);
    EXPECT_EQ(img->lockPtr, img->pels + 12);
    img->Unlock();
    for (uint32_t f = 0; f < pel_FMT_COUNT; ++f)
        EXPECT_EQ(sized(5, 3, f)->BodySize(), 15u * pelBytes[f]) << f;
}

TEST_F(ImgRowTest, ClonesOwnTheirPelsAndPalette)
{
    auto pal = make_palette({ 0x00010203, 0x00040506 });
    auto img = sized(4, 3, pel_FMT_P8, pal.get());
    img->extra[2] = 0xDEADBEEF;
    std::unique_ptr<imgCTy> clone(img->Clone());
    auto* row = dynamic_cast<imgRowCTy*>(clone.get());
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(pels_of(*row), pels_of(*img));
    EXPECT_NE(row->pels, img->pels);
    EXPECT_EQ(row->rowPitch, 4u);
    EXPECT_EQ(row->extra[2], 0xDEADBEEFu);
    ASSERT_NE(row->pelFmt.palette, nullptr);
    EXPECT_NE(row->pelFmt.palette, img->pelFmt.palette);
    EXPECT_EQ(row->pelFmt.palette->entries[1], 0x00040506u);
    img.reset();
    EXPECT_EQ(row->pelFmt.palette->count, 2u);

    imgRowCTy empty;
    std::unique_ptr<imgCTy> emptyClone(empty.Clone());
    EXPECT_EQ(static_cast<imgRowCTy*>(emptyClone.get())->pels, nullptr);
}

TEST_F(ImgRowTest, SetSizeKeepsOrTakesTheFormat)
{
    auto pal = make_palette({ 0x00FFFFFF });
    auto img = sized(2, 2, pel_FMT_P8, pal.get());
    palCTy* own = img->pelFmt.palette;
    img->SetSize(5, 1, nullptr);
    EXPECT_EQ(img->width, 5);
    EXPECT_EQ(img->height, 1);
    EXPECT_EQ(img->rowPitch, 5u);
    EXPECT_EQ(img->pelFmt.format, pel_FMT_P8);
    EXPECT_EQ(img->pelFmt.palette, own) << "a null format keeps format and palette";
    EXPECT_EQ(img->BodySize(), 5u);

    auto keyed = sized(2, 2, pel_FMT_A8R8G8B8);
    keyed->SetColorKey(0x80FF8040);
    EXPECT_EQ(keyed->keyPel, 0x80FF8040u);
    pelFmtCTy hi(pel_FMT_R5G6B5);
    keyed->SetSize(3, 3, &hi);
    EXPECT_EQ(keyed->keyPel, (31u << 11) | (32u << 5) | 8u) << "the key pel follows the new format";
    EXPECT_EQ(keyed->keyColor, 0x80FF8040u);
    EXPECT_EQ(keyed->BodySize(), 18u);
}

TEST_F(ImgRowTest, FreeReleasesOnceAndNegativeSizesAreRefused)
{
    auto img = sized(2, 2, pel_FMT_R5G6B5);
    img->Lock(nullptr, img_LOCK_RW);
    img->Free();
    EXPECT_EQ(img->pels, nullptr);
    EXPECT_EQ(img->ownsPels, 0);
    EXPECT_EQ(img->lockPtr, nullptr) << "no lock pointer into a released block";
    img->Free();
    EXPECT_TRUE(reports().empty());

    img->SetSize(-1, 4, nullptr);
    EXPECT_EQ(img->width, 0);
    EXPECT_EQ(img->height, 0);
    EXPECT_EQ(img->pels, nullptr);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0].code, ERR_BAD_ARG);
}

TEST_F(ImgRowTest, StreamRecordGoldenBytes)
{
    auto img = sized(2, 2, pel_FMT_R5G6B5);
    img->SetColorKey(0x00FF00FF);
    img->extra[0] = 1;
    img->extra[3] = 0x04030201;
    auto w = write_stream();
    img->Write(w.get());
    const std::vector<uint8_t> golden = Bytes()
                                            .u32(2)
                                            .u32(2)
                                            .u32(1)
                                            .u32(0x00FF00FF)
                                            .u32(0xF81F)
                                            .u32(pel_FMT_R5G6B5)
                                            .u32(pal_KIND_NONE)
                                            .u32(1)
                                            .u32(0)
                                            .u32(0)
                                            .u32(0x04030201)
                                            .raw({ 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7 });
    EXPECT_EQ(bytes_of(w.get()), golden);

    imgRowCTy back;
    auto r = read_stream(golden);
    back.Read(r.get());
    EXPECT_EQ(r->position, golden.size());
    EXPECT_EQ(back.width, 2);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rowPitch, 2u);
    EXPECT_EQ(back.keyFlag, 1u);
    EXPECT_EQ(back.keyPel, 0xF81Fu);
    EXPECT_EQ(back.extra[3], 0x04030201u);
    EXPECT_EQ(pels_of(back), pels_of(*img));
    EXPECT_EQ(back.ownsPels, 1);
    EXPECT_EQ(back.inPlace, 0u);
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgRowTest, PalettedImagesCarryTheirPaletteRecord)
{
    auto pal = make_palette({ 0x00112233, 0x00445566, 0x00778899 });
    auto img = sized(3, 1, pel_FMT_P8, pal.get());
    auto w = write_stream();
    img->Write(w.get());
    const std::vector<uint8_t> golden = Bytes()
                                            .u32(3)
                                            .u32(1)
                                            .u32(0)
                                            .u32(pel_FMT_P8)
                                            .u32(pal_KIND_OWN)
                                            .u32(3)
                                            .raw({ 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99 })
                                            .u32(0)
                                            .u32(0)
                                            .u32(0)
                                            .u32(0)
                                            .raw({ 0xA0, 0xA1, 0xA2 });
    EXPECT_EQ(bytes_of(w.get()), golden);
    imgRowCTy back;
    auto r = read_stream(golden);
    back.Read(r.get());
    ASSERT_NE(back.pelFmt.palette, nullptr);
    EXPECT_EQ(back.pelFmt.palette->count, 3u);
    back.pels[1] = 2;
    EXPECT_EQ(back.ColorAtXY(1, 0), 0xFF778899u);

    // A record that shares its palette writes kind 2 and no palette.
    imgRowCTy shared;
    pelFmtCTy fmt(pel_FMT_P8);
    shared.SetSize(1, 1, &fmt);
    shared.pels[0] = 0;
    shared.AttachPalette(pal.get());
    auto ws = write_stream();
    shared.Write(ws.get());
    EXPECT_EQ(bytes_of(ws.get()),
        Bytes().u32(1).u32(1).u32(0).u32(9).u32(2).u32(0).u32(0).u32(0).u32(0).raw({ 0 }).get());
}

// Every format, random sizes and keys: write, read back, write again.
TEST_F(ImgRowTest, RoundTripsKeepEveryField)
{
    std::mt19937 rng(7);
    auto pal = make_palette({ 0x00102030, 0x00405060 });
    for (int n = 0; n < 60; ++n) {
        const uint32_t format = n % pel_FMT_COUNT;
        auto img = sized(int32_t(rng() % 9), int32_t(rng() % 7), format, format == pel_FMT_P8 ? pal.get() : nullptr);
        for (size_t i = 0; i < img->BodySize(); ++i)
            img->pels[i] = static_cast<uint8_t>(rng());
        if (rng() % 2)
            img->SetColorKey(rng());
        for (uint32_t& word : img->extra)
            word = rng();
        auto w = write_stream();
        img->Write(w.get());
        const auto first = bytes_of(w.get());

        imgRowCTy back;
        auto r = read_stream(first);
        back.Read(r.get());
        auto w2 = write_stream();
        back.Write(w2.get());
        ASSERT_EQ(bytes_of(w2.get()), first) << n;
        EXPECT_EQ(back.width, img->width);
        EXPECT_EQ(back.pelFmt.format, format);
    }
    for (const auto& rep : reports())
        ADD_FAILURE() << rep.code << " " << rep.text;
}

TEST_F(ImgRowTest, InPlaceReadsPointIntoTheStreamsBuffer)
{
    auto img = sized(3, 2, pel_FMT_R5G6B5);
    auto w = write_stream();
    img->Write(w.get());
    const auto bytes = bytes_of(w.get());
    auto r = read_stream(bytes);
    imgRowCTy view;
    EXPECT_EQ(view.ReadInPlace(r.get()), 1);
    const size_t header = bytes.size() - 12;
    EXPECT_EQ(r->position, header) << "left at the first pel";
    EXPECT_EQ(view.pels, r->data + header);
    EXPECT_EQ(view.inPlace, 1u);
    EXPECT_EQ(view.PelAtXY(2, 1), 0xABAAu);
    view.Free(); // must not release the stream's buffer
    EXPECT_EQ(view.pels, nullptr);
    EXPECT_EQ(view.inPlace, 1u);

    imgRowCTy body;
    auto r2 = read_stream(bytes);
    ASSERT_EQ(body.ReadHeader(r2.get()), 0);
    ASSERT_EQ(body.ReadBodyInPlace(r2.get()), 0);
    EXPECT_EQ(body.pels, r2->data + header);
    // Sizing it again gives it a block of its own, released as usual.
    body.SetSize(1, 1, nullptr);
    EXPECT_EQ(body.inPlace, 0u);
    EXPECT_NE(body.pels, nullptr);
}

TEST_F(ImgRowTest, AnImageWithoutItsBlockStillWritesAWholeRecord)
{
    imgRowCTy img;
    img.width = 2;
    img.height = 3;
    img.pelFmt.format = pel_FMT_R8G8B8;
    auto w = write_stream();
    img.Write(w.get());
    const auto bytes = bytes_of(w.get());
    ASSERT_EQ(bytes.size(), 20u + 16u + 18u);
    for (size_t i = 36; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i], 0);
}

TEST_F(ImgRowTest, BadRecordsLeaveAnEmptyImage)
{
    const auto header = [](uint32_t w, uint32_t h, uint32_t format) {
        return Bytes().u32(w).u32(h).u32(0).u32(format).u32(0).u32(0).u32(0).u32(0).u32(0);
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int code;
    };
    const Case cases[] = {
        { "pels cut short", Bytes().raw(header(4, 4, pel_FMT_R5G6B5)).raw({ 1, 2, 3 }), ERR_END_OF_DATA },
        { "no pels at all", header(0x10000, 0x10000, pel_FMT_A8R8G8B8), ERR_END_OF_DATA },
        { "most of 2^64 bytes", header(0x7FFFFFFF, 0x7FFFFFFF, pel_FMT_Z32), ERR_END_OF_DATA },
        { "negative width", header(0x80000000, 1, pel_FMT_P8), ERR_DATA },
        { "unknown format", header(1, 1, 11), ERR_DATA },
        { "extra words cut short", Bytes().u32(1).u32(1).u32(0).u32(9).u32(0).u32(0), ERR_END_OF_DATA },
        { "key cut short", Bytes().u32(1).u32(1).u32(1).u32(0), ERR_END_OF_DATA },
        { "nothing", {}, ERR_END_OF_DATA },
    };
    for (const auto& c : cases) {
        reports().clear();
        auto img = sized(2, 2, pel_FMT_R8G8B8);
        auto r = read_stream(c.bytes);
        img->Read(r.get());
        ASSERT_EQ(reports().size(), 1u) << c.what;
        EXPECT_EQ(reports()[0].code, c.code) << c.what;
        EXPECT_EQ(img->width, 0) << c.what;
        EXPECT_EQ(img->height, 0) << c.what;
        EXPECT_EQ(img->pels, nullptr) << c.what;
        // Whatever is left is safe to use.
        img->Fill(0, nullptr);
        EXPECT_EQ(img->PelAtXY(0, 0), 0xFFFFFFFFu);

        // Inside a TRY frame the first report unwinds out of the read.
        auto again = sized(2, 2, pel_FMT_R8G8B8);
        auto r2 = read_stream(c.bytes);
        const auto saved = errState.reportHandler;
        errState.reportHandler = nullptr;
        EXPECT_EQ(errTry([&] { again->Read(r2.get()); }), c.code) << c.what;
        errState.reportHandler = saved;
        EXPECT_EQ(again->width, 0) << c.what;
        EXPECT_EQ(again->pels, nullptr) << c.what;
    }
}

// A legacy object file as the data tools write it: class name, then the
// object, packed by either packer; read back through the class-name registry.
TEST_F(ImgRowTest, ReadThroughTheClassNameRegistry)
{
    static std::atomic<int> counter { 0 };
    const auto dir = std::filesystem::temp_directory_path()
        / ("quarn_gfx_" + std::to_string(std::random_device {}()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(dir);
    auto pal = make_palette({ 0x00FF0000, 0x0000FF00, 0x000000FF });
    auto rgb = sized(5, 3, pel_FMT_R8G8B8);
    rgb->SetColorKey(0x00A0A1A2);
    auto idx = sized(4, 4, pel_FMT_P8, pal.get());
    for (uint32_t packer : { RW_PACKER_LZ, RW_PACKER_ZLIB }) {
        const std::string path = (dir / ("set" + std::to_string(packer) + ".imgs")).string();
        rwCTy* w = rwWrOpen(path.c_str(), RW_PACKED, packer);
        ASSERT_NE(w, nullptr);
        for (imgCTy* img : { static_cast<imgCTy*>(rgb.get()), static_cast<imgCTy*>(idx.get()) }) {
            rwWriteStr(w, img->GetClassName());
            img->Write(w);
        }
        ASSERT_EQ(rwClose(w), 0);

        StreamPtr r(rwRdOpen(path.c_str()));
        ASSERT_NE(r, nullptr);
        std::vector<std::unique_ptr<rwObjCTy>> objects;
        while (r->position < r->length) {
            char* name = rwReadStr(r.get());
            std::unique_ptr<rwObjCTy> obj(rwObjCreateByClassName(name));
            memFree(name);
            ASSERT_NE(obj, nullptr);
            obj->Read(r.get());
            objects.push_back(std::move(obj));
        }
        ASSERT_EQ(objects.size(), 2u);
        auto* a = dynamic_cast<imgRowCTy*>(objects[0].get());
        auto* b = dynamic_cast<imgRowCTy*>(objects[1].get());
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->kind, img_KIND_ROW);
        EXPECT_EQ(pels_of(*a), pels_of(*rgb));
        EXPECT_EQ(a->keyColor, 0x00A0A1A2u);
        EXPECT_EQ(a->PelAtXY(0, 0), 0x00A2A1A0u);
        EXPECT_EQ(pels_of(*b), pels_of(*idx));
        ASSERT_NE(b->pelFmt.palette, nullptr);
        EXPECT_EQ(b->pelFmt.palette->entries[2], 0xFF0000FFu);
    }
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(reports().empty());
}

} // namespace
