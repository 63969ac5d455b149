// Writes the seed corpus of the gfx_rw_read fuzz target with the real
// writers. Not a test: run it by hand when the records change,
//
//     QUARN_SEED_DIR=fuzz/corpus test_engine_gfx
//         --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds*'
//
// then minimise the corpus with the fuzzer's -merge=1.
#include "gfx_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

} // namespace
