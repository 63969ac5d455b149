// The WAV parser over fuzzed images: every byte it points at is read, so a
// data pointer or length outside the image shows.
#include "engine/sound/snd_sources.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<wavInfo> info(wavParse(nullptr, data, size));
    if (!info)
        return 0;
    if (info->data < data || info->data + info->dataLength > data + size)
        __builtin_trap();
    volatile uint32_t sum = 0;
    for (uint32_t i = 0; i < info->dataLength; ++i)
        sum = sum + info->data[i];
    return 0;
}
