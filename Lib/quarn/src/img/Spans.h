// Row spans: whole-row loops for the format pairs that pictures and screens
// use most (8-bit-per-channel and Rgb565 sources onto Rgb565, Rgbx8888 and
// Rgba8888 targets), written with vector instructions. The
// family kernels (Kernels.h) hand a row to a span when the pixel operation
// names one and the processor has a set of them; every other row, every
// keyed row and every row whose source and target overlap runs the
// kernel's own pixel loop. A span gives the very bytes that loop gives.
//
// Two sets exist on x86-64: SSE2 (always present there) and AVX2, chosen at
// start-up by the processor's identification. Other processors get no set,
// and the pixel loops do everything.
#pragma once

#include <cstdint>

namespace quarn::g {

// n pixels of the source row s onto the target row t; k is the weight
// (1..256) of the constant-alpha spans and unused by the others.
using Span = void (*)(uint8_t* t, const uint8_t* s, int32_t n, uint32_t k);

struct SpanSet {
    // The assign conversion of an Rgba8888 or Rgbx8888 source into Rgb565.
    Span convert_8888_to_565 = nullptr;
    // The assign copy of an Rgb888 source into Rgbx8888 (the target's top
    // byte kept).
    Span copy_888_to_8888 = nullptr;
    // The assign conversion of an Rgb565 source into Rgbx8888 (its x byte
    // kept) and into Rgba8888 (alpha full).
    Span widen_565_to_x888 = nullptr;
    Span widen_565_to_8888 = nullptr;
    // Draw by the source's own alpha: an Rgba8888 source onto an Rgbx8888
    // or Rgba8888 target (alpha 255 stores the source word, anything else
    // mixes and keeps the target's top byte), and onto Rgb565.
    Span draw_8888_onto_8888 = nullptr;
    Span draw_8888_onto_565 = nullptr;
    // Constant alpha: the colour channels of a 32-bit source mixed at
    // weight k into a 32-bit target (its top byte kept), or converted into
    // Rgb565 and mixed there.
    Span mix_8888_onto_8888 = nullptr;
    Span mix_8888_onto_565 = nullptr;
    // Constant alpha: an Rgb565 source widened and mixed into a 32-bit
    // target (its top byte kept).
    Span mix_565_onto_8888 = nullptr;
    // Constant alpha, the difference form, Rgb565 onto Rgb565.
    Span approach_565 = nullptr;
};

// The instruction sets a span set can be built for, in rising order.
enum class SpanLevel : uint8_t { none, sse2, avx2 };

// The best level this processor (and its operating system) runs.
[[nodiscard]] SpanLevel best_span_level();
// The level in use: the best one unless set otherwise.
[[nodiscard]] SpanLevel span_level();
// Uses another level for every later operation; levels above the best
// one count as the best one. Meant for tests and benchmarks that compare
// the sets.
void set_span_level(SpanLevel level);

// The set of the level in use; all members null at level none.
[[nodiscard]] const SpanSet& spans();

namespace detail {
const SpanSet& sse2_spans();
const SpanSet& avx2_spans();
} // namespace detail

} // namespace quarn::g
