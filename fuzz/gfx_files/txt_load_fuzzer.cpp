// Text depth pictures through imgCTy::LoadTxt: width, height, then one
// number a pel. The whole input is the file, written to the temporary
// folder because the reader takes a name. A picture that loads is read pel
// by pel.
#include "engine/gfx/gfx.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace {

volatile uint32_t sink;

const std::string& txt_path()
{
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("gfx_txt_load_" + std::to_string(std::random_device {}()) + ".txt"))
            .string();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (std::FILE* f = std::fopen(txt_path().c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    imgRowCTy img;
    const int rc = img.LoadTxt(txt_path().c_str());
    std::remove(txt_path().c_str());
    if (rc != 0)
        return 0;
    if (img.pelFmt.format != pel_FMT_Z32 || img.width <= 0 || img.height <= 0)
        __builtin_trap();
    // Each value took at least two bytes of the file.
    if (uint64_t(img.width) * uint64_t(img.height) > size / 2 + 1)
        __builtin_trap();
    uint32_t sum = 0;
    img.Lock(nullptr, img_LOCK_READ);
    const auto* pels = static_cast<const uint32_t*>(img.lockPtr);
    for (int32_t y = 0; pels && y < img.height; ++y)
        for (int32_t x = 0; x < img.width; ++x)
            sum += pels[size_t(y) * size_t(img.pitch) + size_t(x)];
    img.Unlock();
    sink = sum; // keeps the reads
    return 0;
}
