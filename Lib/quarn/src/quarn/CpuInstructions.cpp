#include "quarn/CpuInstructions.h"

#include <cpuid.h>

namespace quarn::detail {

uint32_t cpuid_max_leaf(uint32_t base)
{
    uint32_t highest = __get_cpuid_max(base, nullptr);
    // A processor without extended leaves may echo anything below the base.
    return highest >= base ? highest : 0;
}

CpuidWords cpuid(uint32_t leaf)
{
    CpuidWords words{};
    __cpuid_count(leaf, 0, words[0], words[1], words[2], words[3]);
    return words;
}

} // namespace quarn::detail
