// Writes the seed corpora of the gfx_rw_read, gfx_bmp_read, gfx_txt_load,
// gfx_alpha_read and gfx_imgs_load fuzz targets with the real writers. Not a test: run it by hand when the
// records or files change,
//
//     QUARN_SEED_DIR=fuzz/corpus test_engine_gfx
//         --gtest_also_run_disabled_tests --gtest_filter='*Write*FuzzSeeds*'
//
// then minimise the corpora with the fuzzer's -merge=1.
#include "gfx_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

void put(const std::filesystem::path& dir, const std::string& name, uint8_t mode, const std::vector<uint8_t>& data)
{
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.put(static_cast<char>(mode));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::unique_ptr<imgRowCTy> image(int32_t w, int32_t h, uint32_t format, palCTy* pal = nullptr)
{
    auto img = std::make_unique<imgRowCTy>();
    pelFmtCTy fmt(format, pal);
    img->SetSize(w, h, &fmt);
    for (size_t i = 0; i < img->BodySize(); ++i)
        img->pels[i] = static_cast<uint8_t>(i * 37);
    return img;
}

TEST(FuzzSeeds, DISABLED_WriteFuzzSeeds)
{
    const char* root = std::getenv("QUARN_SEED_DIR");
    ASSERT_NE(root, nullptr) << "set QUARN_SEED_DIR";
    const auto dir = std::filesystem::path(root) / "gfx_rw_read";
    auto pal = make_palette({ 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF });

    auto rgb = image(3, 2, pel_FMT_R8G8B8);
    rgb->SetColorKey(0x00FF00FF);
    auto hi = image(2, 2, pel_FMT_R5G6B5);
    auto idx = image(2, 2, pel_FMT_P8, pal.get());
    idx->SetColorKeyPel(1);
    auto shared = image(1, 1, pel_FMT_P8);
    shared->AttachPalette(pal.get());

    const auto record = [](imgCTy& img) {
        auto w = write_stream();
        img.Write(w.get());
        return bytes_of(w.get());
    };
    put(dir, "row_rgb_keyed", 1, record(*rgb));
    put(dir, "row_p8_palette", 1, record(*idx));
    put(dir, "row_p8_shared", 1, record(*shared));
    put(dir, "row_565_framed", 5, record(*hi));
    put(dir, "in_place", 3, record(*hi));

    auto objects = write_stream();
    for (imgCTy* img : { static_cast<imgCTy*>(rgb.get()), static_cast<imgCTy*>(idx.get()) }) {
        rwWriteStr(objects.get(), img->GetClassName());
        img->Write(objects.get());
    }
    rwWriteStr(objects.get(), "rwObjCTy");
    rwWriteStr(objects.get(), "imgAlpha");
    put(dir, "objects", 0, bytes_of(objects.get()));
    put(dir, "objects_framed", 4, bytes_of(objects.get()));

    auto palette = write_stream();
    pal->Write(palette.get());
    put(dir, "palette", 2, bytes_of(palette.get()));
}

// A file's bytes as the writer left them.
std::string saved(imgCTy& img, const std::filesystem::path& scratch)
{
    EXPECT_EQ(img.SaveBmp(scratch.c_str()), 0);
    std::ifstream in(scratch, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put_file(const std::filesystem::path& dir, const std::string& name, const std::string& bytes)
{
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

TEST(FuzzSeeds, DISABLED_WriteFileFuzzSeeds)
{
    const char* root = std::getenv("QUARN_SEED_DIR");
    ASSERT_NE(root, nullptr) << "set QUARN_SEED_DIR";
    const auto bmp = std::filesystem::path(root) / "gfx_bmp_read";
    const auto txt = std::filesystem::path(root) / "gfx_txt_load";
    const auto scratch = std::filesystem::temp_directory_path() / "quarn_seed.bmp";
    auto pal = make_palette({ 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF });

    // Every depth the writer knows, at odd widths so rows are padded.
    struct Case {
        const char* name;
        uint32_t format;
        int32_t w, h;
    };
    for (const Case& c : { Case { "rgb24", pel_FMT_R8G8B8, 5, 3 }, Case { "xrgb32_fields", pel_FMT_X8R8G8B8, 3, 2 },
                           Case { "argb32", pel_FMT_A8R8G8B8, 3, 3 }, Case { "rgb565_fields", pel_FMT_R5G6B5, 3, 2 },
                           Case { "rgb555", pel_FMT_X1R5G5B5, 5, 2 }, Case { "grey8", pel_FMT_P8, 7, 2 } }) {
        auto img = image(c.w, c.h, c.format);
        const std::string file = saved(*img, scratch);
        put_file(bmp, c.name, file);
        // The same rows stored top-down: a negative height.
        std::string top_down = file;
        const int32_t h = -c.h;
        std::memcpy(&top_down[22], &h, 4);
        put_file(bmp, std::string(c.name) + "_top_down", top_down);
    }
    auto idx = image(6, 3, pel_FMT_P8, pal.get());
    const std::string p8 = saved(*idx, scratch);
    put_file(bmp, "pal8_four", p8);
    // A colour count of 0 with the pixels right after a four-entry table.
    std::string short_table = p8;
    std::memset(&short_table[46], 0, 4);
    put_file(bmp, "pal8_count0_short_table", short_table);
    std::remove(scratch.c_str());

    put_file(txt, "two_by_one", "2\n1\n0.5\n0\n");
    std::string grid = "3\n2\n";
    for (int i = 0; i < 6; ++i) {
        char value[32];
        std::snprintf(value, sizeof value, "%f\n", -1.25 + i * 0.75);
        grid += value;
    }
    put_file(txt, "three_by_two", grid);
}

// An alpha image of w x h A8R8G8B8 pels through the encoder.
std::unique_ptr<imgAlpha> alpha_image(int32_t w, int32_t h, uint32_t seed, uint32_t colorFmt)
{
    auto img = std::make_unique<imgAlpha>();
    img->SetSize(w, h, nullptr);
    img->Lock(nullptr, img_LOCK_WRITE);
    auto* pels = static_cast<uint32_t*>(img->lockPtr);
    for (int32_t i = 0; i < w * h; ++i) {
        const uint32_t kind = (uint32_t(i) * 7 + seed) % 5; // transparent, translucent or opaque stretches
        const uint32_t alpha = kind < 2 ? 0 : kind == 2 ? 0x80 : 0xFF;
        pels[i] = alpha << 24 | ((uint32_t(i) * 2654435761u + seed) & 0xFFFFFF);
    }
    img->Unlock();
    const pelFmtCTy fmt(colorFmt);
    img->SetColorFmt(&fmt);
    return img;
}

// The record as Write leaves it; it must read back.
std::vector<uint8_t> record(imgAlpha& img)
{
    auto w = write_stream();
    img.Write(w.get());
    const std::vector<uint8_t> bytes = bytes_of(w.get());
    auto in = read_stream(bytes);
    imgAlpha back;
    EXPECT_EQ(back.ReadHeader(in.get()), 0);
    EXPECT_EQ(back.ReadBody(in.get()), 0);
    return bytes;
}

struct SetEntry {
    imgCTy* image;
    uint32_t classIndex;
    uint16_t palIndex; // imgs_NO_PALETTE unless the image shares palette 0
};

// A ".imgs" file: versioned or not, P shared palettes with an index per
// image, offsets, the class-name table, then the images in the version's
// layout.
void write_set(const std::string& path, uint32_t flags, bool versioned, uint32_t version,
               const std::vector<palCTy*>& palettes, const std::vector<SetEntry>& images)
{
    static const char* const names[] = { "imgRowCTy", "imgAlpha", "imgRle8CTy" };
    rwCTy* w = rwWrOpen(path.c_str(), flags, RW_PACKER_ZLIB);
    if (versioned)
        rwWriteU32(w, version);
    rwWriteU32(w, uint32_t(images.size()));
    rwWriteU32(w, uint32_t(palettes.size()));
    for (palCTy* pal : palettes)
        pal->Write(w);
    if (!palettes.empty())
        for (const SetEntry& e : images) {
            const uint8_t b[2] = { uint8_t(e.palIndex), uint8_t(e.palIndex >> 8) };
            rwWrite(w, b, 2);
        }
    const size_t offsetsAt = w->position;
    for (size_t i = 0; i < images.size(); ++i)
        rwWriteU32(w, 0);
    for (const char* name : names)
        rwWriteStr(w, name);
    rwWriteU32(w, RW_NULL_STRING);
    std::vector<uint32_t> offsets;
    if (versioned && version == imgs_VERSION_1) {
        for (const SetEntry& e : images) {
            rwWriteU32(w, e.classIndex);
            e.image->WriteHeader(w);
        }
        for (const SetEntry& e : images) {
            offsets.push_back(uint32_t(w->position));
            e.image->WriteBody(w);
        }
    } else {
        for (const SetEntry& e : images) {
            offsets.push_back(uint32_t(w->position));
            rwWriteU32(w, e.classIndex);
            e.image->Write(w);
        }
    }
    const size_t end = w->position;
    rwSeek(w, offsetsAt);
    for (uint32_t o : offsets)
        rwWriteU32(w, o);
    rwSeek(w, end);
    EXPECT_EQ(rwClose(w), 0);
}

TEST(FuzzSeeds, DISABLED_WriteAlphaAndSetFuzzSeeds)
{
    const char* root = std::getenv("QUARN_SEED_DIR");
    ASSERT_NE(root, nullptr) << "set QUARN_SEED_DIR";
    imgRegisterClasses();
    const auto alpha = std::filesystem::path(root) / "gfx_alpha_read";
    const auto sets = std::filesystem::path(root) / "gfx_imgs_load";

    for (const uint32_t format : { pel_FMT_R8G8B8, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, pel_FMT_X1R5G5B5 }) {
        auto img = alpha_image(9, 4, format, format);
        put_file(alpha, "alpha_fmt" + std::to_string(format), [&] {
            const auto r = record(*img);
            return std::string(r.begin(), r.end());
        }());
    }
    auto premultiplied = alpha_image(5, 3, 11, pel_FMT_R8G8B8);
    premultiplied->premultiplied = 1;
    premultiplied->unblend = 1;
    const auto pm = record(*premultiplied);
    put_file(alpha, "alpha_flags", std::string(pm.begin(), pm.end()));
    // A transparent stretch longer than one run word holds (16383 pels).
    auto wide = std::make_unique<imgAlpha>();
    wide->SetSize(16400, 1, nullptr);
    wide->Lock(nullptr, img_LOCK_WRITE);
    static_cast<uint32_t*>(wide->lockPtr)[16399] = 0xFF123456;
    wide->Unlock();
    const auto split = record(*wide);
    put_file(alpha, "alpha_long_run", std::string(split.begin(), split.end()));

    auto pal = make_palette({ 0xFF000000, 0xFF112233, 0xFFFFFFFF, 0xFF808080 });
    auto row = image(3, 2, pel_FMT_P8);
    row->AttachPalette(pal.get());
    auto row565 = image(4, 2, pel_FMT_R5G6B5);
    auto a = alpha_image(4, 3, 2, pel_FMT_R5G6B5);
    imgRle8CTy rle;
    const pelFmtCTy p8(pel_FMT_P8, pal.get());
    rle.SetSize(4, 3, &p8);
    rle.SetColorKeyPel(0);
    rle.Lock(nullptr, img_LOCK_WRITE);
    static_cast<uint8_t*>(rle.lockPtr)[5] = 2;
    static_cast<uint8_t*>(rle.lockPtr)[6] = 3;
    rle.Unlock();
    const std::vector<SetEntry> images { { row.get(), 0, 0 },
                                         { a.get(), 1, imgs_NO_PALETTE },
                                         { &rle, 2, imgs_NO_PALETTE },
                                         { row565.get(), 0, imgs_NO_PALETTE } };
    // The same without the shared palette: the row image has its own.
    auto own = image(3, 2, pel_FMT_P8, pal.get());
    std::vector<SetEntry> owning = images;
    owning[0] = { own.get(), 0, imgs_NO_PALETTE };
    const auto scratch = std::filesystem::temp_directory_path() / "quarn_seed.imgs";
    auto set_file = [&](const std::string& name, uint32_t flags, bool versioned, uint32_t version,
                        const std::vector<palCTy*>& palettes) {
        write_set(scratch.string(), flags, versioned, version, palettes, palettes.empty() ? owning : images);
        imgsCTy check; // every seed is a set that loads
        EXPECT_EQ(check.Load(scratch.c_str()), 0) << name;
        EXPECT_EQ(check.count, 4) << name;
        std::ifstream in(scratch, std::ios::binary);
        put_file(sets, name, std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    };
    set_file("v1_shared_palette", 0, true, imgs_VERSION_1, { pal.get() });
    set_file("v1_no_palettes", 0, true, imgs_VERSION_1, {});
    set_file("unversioned", 0, false, imgs_VERSION_0, {});
    set_file("v1_packed", RW_PACKED, true, imgs_VERSION_1, { pal.get() });
    std::remove(scratch.c_str());
}

} // namespace
