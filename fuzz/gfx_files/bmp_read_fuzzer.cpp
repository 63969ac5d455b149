// BMP files through imgCTy::ReadBmp, the reader behind imgCTy::Load, over
// the file's bytes as they are: real BMP files seed the corpus unchanged.
// A picture that loads is read pel by pel, drawn onto a 5:6:5 image as the
// screen takes it, and, when small, saved with SaveBmp and loaded again:
// the pels that come back must be the ones saved.
#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"
#include "quarn/quarn.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

// Larger pictures are loaded and read but not drawn or saved: those steps
// would measure the blitter and the disk, not the reader.
constexpr int64_t max_used_pels = int64_t { 1 } << 20;
constexpr int64_t max_saved_pels = int64_t { 1 } << 16;

const std::string& save_path()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("gfx_bmp_read_" + std::to_string(std::random_device {}()) + ".bmp"))
            .string();
    return path;
}

std::vector<uint8_t> pels_of(imgCTy& img)
{
    std::vector<uint8_t> out;
    img.Lock(nullptr, img_LOCK_READ);
    const auto* p = static_cast<const uint8_t*>(img.lockPtr);
    const size_t row = size_t(img.width) * pelSize(img.pelFmt.format);
    for (int32_t y = 0; p && y < img.height; ++y)
        out.insert(out.end(), p + size_t(y) * size_t(img.pitch) * pelSize(img.pelFmt.format),
                   p + size_t(y) * size_t(img.pitch) * pelSize(img.pelFmt.format) + row);
    img.Unlock();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        gfxInit();
        return true;
    }();
    (void)ready;

    quarn_test::MemoryBuf buf(data, size);
    quarn::io::IStream in(&buf);
    imgRowCTy img;
    if (img.ReadBmp(in) != 0)
        return 0;
    // A loaded picture is whole: its size within the limits, every pel
    // readable (ASan checks the reads).
    if (img.width <= 0 || img.height <= 0 || int64_t { img.width } > img_MAX_SIDE || int64_t { img.height } > img_MAX_SIDE)
        __builtin_trap();
    const std::vector<uint8_t> pels = pels_of(img);
    const int64_t count = int64_t { img.width } * img.height;
    if (count > max_used_pels)
        return 0;

    imgRowCTy screen;
    const pelFmtCTy r5g6b5(pel_FMT_R5G6B5);
    screen.SetSize(img.width, img.height, &r5g6b5);
    img.Draw(&screen, 0, 0, nullptr);

    if (count > max_saved_pels)
        return 0;
    if (img.SaveBmp(save_path().c_str()) != 0)
        return 0;
    imgRowCTy back;
    const int rc = back.Load(save_path().c_str());
    std::remove(save_path().c_str());
    if (rc != 0 || back.pelFmt.format != img.pelFmt.format || pels_of(back) != pels)
        __builtin_trap();
    return 0;
}
