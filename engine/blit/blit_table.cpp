// The dispatch table: one block of 48 rows per (source, destination) format
// pair, in the family's order. Each row is an instantiation of the kernel.
#include <array>

#include "engine/blit/blit_rows.h"

namespace {

template <class S, class D, template <class, class> class Op, bool Key, bool Depth, bool Map = false>
constexpr bltRowTy Plain(uint8_t op) {
    return {op, uint8_t(S::code), uint8_t(D::code), uint8_t((Key ? blt_KEY : 0) | (Depth ? blt_DEPTH : 0)),
            &bltWalk<S, D, Op, Key, Depth, Map>};
}

template <class S, class D, template <class, class> class Op, bool Key>
constexpr bltRowTy Scaled(uint8_t op) {
    return {op, uint8_t(S::code), uint8_t(D::code), uint8_t(blt_SCALED | (Key ? blt_KEY : 0)),
            &bltScaledWalk<S, D, Op, Key>};
}

// The four rows of an op with key and depth variants.
template <class S, class D, class PelOp>
constexpr std::array<bltRowTy, 4> Quad(uint8_t op) {
    using Op = bltDoArithOf<PelOp>;
    return {Plain<S, D, Op::template Do, true, false>(op), Plain<S, D, Op::template Do, false, false>(op),
            Plain<S, D, Op::template Do, true, true>(op), Plain<S, D, Op::template Do, false, true>(op)};
}

template <class S, class D>
constexpr std::array<bltRowTy, 48> Block() {
    std::array<bltRowTy, 48> b{};
    size_t n = 0;
    for (auto r : {Scaled<S, D, bltDoCopy, true>(blt_OP_COPY), Scaled<S, D, bltDoCopy, false>(blt_OP_COPY),
                   Scaled<S, D, bltDoAlpha, true>(blt_OP_ALPHA), Scaled<S, D, bltDoAlpha, false>(blt_OP_ALPHA),
                   Scaled<S, D, bltDoArithOf<pelOpAdd>::template Do, true>(blt_OP_ADD),
                   Scaled<S, D, bltDoArithOf<pelOpAdd>::template Do, false>(blt_OP_ADD),
                   Plain<S, D, bltDoCopy, true, false>(blt_OP_COPY), Plain<S, D, bltDoCopy, false, false>(blt_OP_COPY),
                   Plain<S, D, bltDoCopy, true, true>(blt_OP_COPY), Plain<S, D, bltDoCopy, false, true>(blt_OP_COPY),
                   Plain<S, D, bltDoAlpha, true, false>(blt_OP_ALPHA), Plain<S, D, bltDoAlpha, false, false>(blt_OP_ALPHA),
                   Plain<S, D, bltDoFadeAdd, true, false>(blt_OP_FADEADD),
                   Plain<S, D, bltDoFadeAdd, false, false>(blt_OP_FADEADD),
                   Plain<S, D, bltDoAlpha, true, false, true>(blt_OP_ALPHAMAP),
                   Plain<S, D, bltDoAlpha, false, false, true>(blt_OP_ALPHAMAP)})
        b[n++] = r;
    for (const auto& q : {Quad<S, D, pelOpModulate>(blt_OP_MODULATE), Quad<S, D, pelOpModulate2x>(blt_OP_MODULATE2X),
                          Quad<S, D, pelOpModulate4x>(blt_OP_MODULATE4X), Quad<S, D, pelOpAdd>(blt_OP_ADD),
                          Quad<S, D, pelOpAddSigned>(blt_OP_ADDSIGNED),
                          Quad<S, D, pelOpAddSigned2x>(blt_OP_ADDSIGNED2X),
                          Quad<S, D, pelOpSubtract>(blt_OP_SUBTRACT), Quad<S, D, pelOpAddSmooth>(blt_OP_ADDSMOOTH)})
        for (auto r : q) b[n++] = r;
    return b;
}

// One block per (source, destination) pair of the format list, sources
// outermost.
template <size_t... I>
constexpr std::array<bltRowTy, bltFmtCount * bltFmtCount * 48> Concat(std::index_sequence<I...>) {
    std::array<bltRowTy, bltFmtCount * bltFmtCount * 48> out{};
    size_t n = 0;
    for (const auto& blk : {Block<std::tuple_element_t<I / bltFmtCount, bltFmtList>,
                                  std::tuple_element_t<I % bltFmtCount, bltFmtList>>()...})
        for (auto r : blk) out[n++] = r;
    return out;
}

// Every row matches exactly one request, so the order only has to keep each
// source's rows together; there is no catch-all row because a combination
// outside the family must draw nothing.
constexpr auto kTable = Concat(std::make_index_sequence<bltFmtCount * bltFmtCount>());

// Palette sources, one block per destination group; A1R5G5B5 destinations
// use the X1R5G5B5 group (a table pel is stored whole by a copy, and the
// blends keep the destination's bit 15 either way).
constexpr std::array<bltRowTy, 4 * 48> PalConcat() {
    std::array<bltRowTy, 4 * 48> out{};
    size_t n = 0;
    for (const auto& blk : {Block<bltPalOf<bltFmtR8G8B8>, bltFmtR8G8B8>(), Block<bltPalOf<bltFmtX8R8G8B8>, bltFmtX8R8G8B8>(),
                            Block<bltPalOf<bltFmtR5G6B5>, bltFmtR5G6B5>(), Block<bltPalOf<bltFmtX1R5G5B5>, bltFmtX1R5G5B5>()})
        for (auto r : blk) out[n++] = r;
    return out;
}
constexpr auto kPalTable = PalConcat();

}  // namespace

const bltRowTy* bltRows(size_t* count) {
    *count = kTable.size();
    return kTable.data();
}

const bltRowTy* bltPalRows(size_t* count) {
    *count = kPalTable.size();
    return kPalTable.data();
}

const bltRowTy* bltFindPalRow(uint32_t op, uint32_t dstFmt, uint32_t flags) {
    if (dstFmt == pel_FMT_A8R8G8B8) dstFmt = pel_FMT_X8R8G8B8;
    if (dstFmt == pel_FMT_A1R5G5B5) dstFmt = pel_FMT_X1R5G5B5;
    for (const bltRowTy& r : kPalTable)
        if (r.op == op && r.dst == dstFmt && r.flags == flags) return &r;
    return nullptr;
}

namespace {

// Every row has op < blt_OP_COUNT, formats < pel_FMT_COUNT and flags < 8.
constexpr size_t kFlagKinds = 8;
constexpr size_t kIndexSize = blt_OP_COUNT * pel_FMT_COUNT * pel_FMT_COUNT * kFlagKinds;
constexpr uint16_t kNoRow = 0xFFFF;
static_assert(kTable.size() < kNoRow, "row numbers fit the index");

constexpr size_t IndexOf(uint32_t op, uint32_t src, uint32_t dst, uint32_t flags) {
    return ((size_t(op) * pel_FMT_COUNT + src) * pel_FMT_COUNT + dst) * kFlagKinds + flags;
}

// The first matching row of every key, found at compile time: a small
// sprite's draw costs about as much as a few pels, and walking the table for
// it cost many times more than the draw (building it at run time would cost
// a guard test on every lookup).
constexpr std::array<uint16_t, kIndexSize> BuildIndex() {
    std::array<uint16_t, kIndexSize> index{};
    for (auto& i : index) i = kNoRow;
    for (size_t i = kTable.size(); i-- > 0;) {
        const bltRowTy& r = kTable[i];
        index[IndexOf(r.op, r.src, r.dst, r.flags)] = uint16_t(i);
    }
    return index;
}

constexpr std::array<uint16_t, kIndexSize> kIndex = BuildIndex();

} // namespace

namespace {

inline const bltRowTy* FindRow(uint32_t op, uint32_t srcFmt, uint32_t dstFmt, uint32_t flags) {
    if (srcFmt == pel_FMT_A8R8G8B8) srcFmt = pel_FMT_X8R8G8B8;
    if (dstFmt == pel_FMT_A8R8G8B8) dstFmt = pel_FMT_X8R8G8B8;
    if (op >= blt_OP_COUNT || srcFmt >= pel_FMT_COUNT || dstFmt >= pel_FMT_COUNT || flags >= kFlagKinds)
        return nullptr;
    const uint16_t row = kIndex[IndexOf(op, srcFmt, dstFmt, flags)];
    return row == kNoRow ? nullptr : &kTable[row];
}

} // namespace

const bltRowTy* bltFindRow(uint32_t op, uint32_t srcFmt, uint32_t dstFmt, uint32_t flags) {
    return FindRow(op, srcFmt, dstFmt, flags);
}

// Here beside the index, so that a small sprite's draw looks its row up
// without a further call.
void bltRun(uint32_t op, uint32_t flags, const bltArgsTy& args) {
    const bltRowTy* row = args.src->pelFmt.format == pel_FMT_P8
                              ? bltFindPalRow(op, args.dst->pelFmt.format, flags)
                              : FindRow(op, args.src->pelFmt.format, args.dst->pelFmt.format, flags);
    bltRunRow(row, args);
}
