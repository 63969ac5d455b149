// Image-set files (".imgs") through imgsCTy::Load: the whole input is the
// file, packed or not, written to the temporary folder because the reader
// takes a name. Every image of a set that loads is used: its box, a
// reading lock, the colour of a pel, drawn onto a 5:6:5 image when small;
// then the set is cleared (ASan checks that shared palettes go once).
#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace {

// Larger images are locked but not drawn.
constexpr int64_t max_drawn_pels = int64_t { 1 } << 18;

const std::string& set_path()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("gfx_imgs_load_" + std::to_string(std::random_device {}()) + ".imgs"))
            .string();
    return path;
}

void use(imgCTy& img)
{
    (void)img.GetRect();
    img.Lock(nullptr, img_LOCK_READ);
    img.Unlock();
    if (img.width > 0 && img.height > 0)
        (void)img.ColorAtXY(img.width - 1, img.height - 1);
    if (int64_t { img.width } * img.height > max_drawn_pels)
        return;
    // The draw entry takes rectangles its caller clipped: a screen of the
    // image's size holds every one.
    imgRowCTy screen;
    const pelFmtCTy r5g6b5(pel_FMT_R5G6B5);
    screen.SetSize(img.width, img.height, &r5g6b5);
    img.Draw(&screen, 0, 0, nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        gfxInit();
        return true;
    }();
    (void)ready;

    if (std::FILE* f = std::fopen(set_path().c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    imgsCTy set;
    const int rc = set.Load(set_path().c_str());
    std::remove(set_path().c_str());
    if (rc != 0) {
        // A set that fails is left empty.
        if (set.count != 0 || set.images || set.palettes)
            __builtin_trap();
        return 0;
    }
    for (int32_t i = 0; i < set.count; ++i)
        if (imgCTy* img = set.GetImage(i))
            use(*img);
    set.Clear();
    return 0;
}
