// The alpha-image draw family's table: one row per selection, generated from
// one list of destination formats, one of stored colour formats and the four
// ops, so that the index of a selection is computed, never searched.
#include <array>
#include <tuple>
#include <utility>

#include "engine/blit/alpha_rules.h"
#include "engine/blit/alpha_span.h"
#include "engine/blit/blit_span.h"
#include "engine/blit/alpha_walk.h"

namespace {

using Dsts = std::tuple<alphaDstR8G8B8, alphaDstX8R8G8B8, alphaDstA8R8G8B8, alphaDstR5G6B5, alphaDstX1R5G5B5,
                        alphaDstA1R5G5B5>;
using Srcs = std::tuple<alphaSrcR8G8B8, alphaSrcX8R8G8B8, alphaSrcR5G6B5, alphaSrcX1R5G5B5>;
constexpr size_t kDsts = std::tuple_size_v<Dsts>, kSrcs = std::tuple_size_v<Srcs>;
constexpr size_t kRows = kDsts * 2 * 2 * alpha_OP_COUNT * kSrcs;
static_assert(kRows == 384, "six destinations x pm x scaled x four ops x four stored formats");

// The blitter's span level in force (bltSetSpanLevel): 0 none, 1 SSE2,
// 2 AVX2.
int SpanLevel() {
    const bltSpanSetTy* spans = &bltSpans();
    return spans == &bltSpansAvx2 ? 2 : spans == &bltSpansSse2 ? 1 : 0;
}

// A selection with span walks runs the one of the span level in force, the
// plain walk at level 0; the three are looked up at its first draw.
template <alphaOpTy Op, bool Pm, class S, class D>
void SpanOrPlainWalk(const alphaArgsTy& a) {
    struct Walks {
        alphaRowFnTy fn[3];
        Walks() {
            for (int level = 0; level < 3; ++level) {
                const alphaRowFnTy span = alphaSpanFn(level, D::code, Pm, false, Op, S::code);
                fn[level] = span ? span : &alphaPlainWalk<S, D, alphaRule<Op, Pm, S, D>>;
            }
        }
    };
    static const Walks walks;
    walks.fn[SpanLevel()](a);
}

template <class D, bool Pm, bool Scaled, alphaOpTy Op, class S>
constexpr alphaRowTy Row() {
    if constexpr (D::code == 5 && S::code == 5 && !Pm && Op == alpha_OP_COPY) {
        // The same-format copy writes the stored words whole either way, so
        // this selection takes the R5G6B5 copy loop of its walk.
        return Row<alphaDstR5G6B5, false, Scaled, alpha_OP_COPY, alphaSrcR5G6B5>();
    } else {
        using R = alphaRule<Op, Pm, S, D>;
        alphaRowFnTy fn = &alphaPlainWalk<S, D, R>;
        if constexpr (Scaled) fn = &alphaScaledWalk<S, D, R>;
        else if constexpr (alphaSpanHas(D::code, Pm, Op, S::code)) fn = &SpanOrPlainWalk<Op, Pm, S, D>;
        return {uint8_t(Op), uint8_t(Pm), uint8_t(Scaled), uint8_t(S::code), uint8_t(D::code), fn};
    }
}

// Table order: destination, pm, scaled, op, stored (the fastest).
template <size_t I>
constexpr alphaRowTy RowAt() {
    constexpr size_t s = I % kSrcs, op = I / kSrcs % alpha_OP_COUNT, scaled = I / (kSrcs * alpha_OP_COUNT) % 2,
                     pm = I / (kSrcs * alpha_OP_COUNT * 2) % 2, d = I / (kSrcs * alpha_OP_COUNT * 4);
    return Row<std::tuple_element_t<d, Dsts>, pm != 0, scaled != 0, alphaOpTy(op), std::tuple_element_t<s, Srcs>>();
}

template <size_t... I>
constexpr std::array<alphaRowTy, sizeof...(I)> Rows(std::index_sequence<I...>) {
    return {RowAt<I>()...};
}
constexpr auto kTable = Rows(std::make_index_sequence<kRows>());

template <class Tuple, size_t... I>
constexpr std::array<uint32_t, sizeof...(I)> Codes(std::index_sequence<I...>) {
    return {std::tuple_element_t<I, Tuple>::code...};
}
template <class Tuple, size_t... I>
constexpr std::array<const char*, sizeof...(I)> Names(std::index_sequence<I...>) {
    return {std::tuple_element_t<I, Tuple>::name...};
}
constexpr auto kDstCodes = Codes<Dsts>(std::make_index_sequence<kDsts>());
constexpr auto kSrcCodes = Codes<Srcs>(std::make_index_sequence<kSrcs>());
constexpr auto kDstNames = Names<Dsts>(std::make_index_sequence<kDsts>());
constexpr auto kSrcNames = Names<Srcs>(std::make_index_sequence<kSrcs>());
constexpr const char* kOpNames[alpha_OP_COUNT] = {"Copy", "Add", "Blend", "BlendAlpha"};

// Position of a pel format code in a list; the list's size when absent.
template <size_t N>
constexpr size_t Find(const std::array<uint32_t, N>& codes, uint32_t code) {
    for (size_t i = 0; i < N; ++i)
        if (codes[i] == code) return i;
    return N;
}

}  // namespace

const alphaRowTy* alphaRows(size_t* count) {
    *count = kTable.size();
    return kTable.data();
}

const alphaRowTy* alphaFindRow(uint32_t dstFmt, bool pm, bool scaled, uint32_t op, uint32_t stored) {
    const size_t d = Find(kDstCodes, dstFmt), s = Find(kSrcCodes, stored);
    if (d == kDsts || s == kSrcs || op >= alpha_OP_COUNT) return nullptr;
    return &kTable[(((d * 2 + pm) * 2 + scaled) * alpha_OP_COUNT + op) * kSrcs + s];
}

std::string alphaRowName(const alphaRowTy& row) {
    std::string name = "alphaBlt";
    name += row.op < alpha_OP_COUNT ? kOpNames[row.op] : "?";
    if (row.pm) name += "Pm";
    if (row.scaled) name += "Scaled";
    const size_t s = Find(kSrcCodes, row.stored), d = Find(kDstCodes, row.dst);
    name += '_';
    name += s < kSrcs ? kSrcNames[s] : "?";
    name += '_';
    name += d < kDsts ? kDstNames[d] : "?";
    return name;
}
