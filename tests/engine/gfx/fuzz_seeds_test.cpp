// Writes the seed corpora of the gfx_rw_read, gfx_bmp_read and gfx_txt_load
// fuzz targets with the real writers. Not a test: run it by hand when the
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

} // namespace
