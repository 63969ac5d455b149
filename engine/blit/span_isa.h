#pragma once
// The vector instruction groups the span kernels of the alpha-image and RLE8
// draws are built for, and the best one this processor runs. SSE2 is part of
// every x86-64 processor; AVX2 is probed once, at the first question.
#include <cstdint>

enum class spanIsaTy : uint8_t {
    generic,  // the plain template walks, no span kernels
    sse2,
    avx2,
};

// The widest group this processor and its operating system run.
[[nodiscard]] spanIsaTy spanBestIsa();
