// The RLE8 walk table: every row an instantiation of rle8Walk, listed group
// by group, op by op, in the order key x depth x direction.
#include <array>

#include "engine/blit/rle8_walk.h"

namespace {

constexpr size_t kRowCount = 4 * (10 * 6 - 2 + 2);  // per group: 38 plain, 20 mirrored, 2 scaled

template <class PelOp>
using Arith = bltDoArithOf<PelOp>;

struct Builder {
    std::array<rle8RowTy, kRowCount> rows{};
    size_t n = 0;

    template <class G, template <class, class> class Op, uint8_t OpI>
    constexpr void AddOp() {
        Add<G, Op, OpI, false, false, 1>();
        Add<G, Op, OpI, true, false, 1>();
        if constexpr (OpI != blt_OP_ALPHA) {
            Add<G, Op, OpI, false, true, 1>();
            Add<G, Op, OpI, true, true, 1>();
        }
        Add<G, Op, OpI, false, false, -1>();
        Add<G, Op, OpI, true, false, -1>();
    }
    template <class G, template <class, class> class Op, uint8_t OpI, bool Key, bool Depth, int Dir>
    constexpr void Add() {
        const uint8_t flags = uint8_t((Key ? rle8_KEY : 0) | (Depth ? rle8_DEPTH : 0) | (Dir < 0 ? rle8_MIRROR : 0));
        rows[n++] = {OpI, uint8_t(G::code), flags, &rle8Walk<G, Op, Key, Depth, Dir>};
    }
    template <class G>
    constexpr void AddGroup() {
        AddOp<G, bltDoCopy, blt_OP_COPY>();
        AddOp<G, bltDoAlpha, blt_OP_ALPHA>();
        AddOp<G, Arith<pelOpModulate>::Do, blt_OP_MODULATE>();
        AddOp<G, Arith<pelOpModulate2x>::Do, blt_OP_MODULATE2X>();
        AddOp<G, Arith<pelOpModulate4x>::Do, blt_OP_MODULATE4X>();
        AddOp<G, Arith<pelOpAdd>::Do, blt_OP_ADD>();
        AddOp<G, Arith<pelOpAddSigned>::Do, blt_OP_ADDSIGNED>();
        AddOp<G, Arith<pelOpAddSigned2x>::Do, blt_OP_ADDSIGNED2X>();
        AddOp<G, Arith<pelOpSubtract>::Do, blt_OP_SUBTRACT>();
        AddOp<G, Arith<pelOpAddSmooth>::Do, blt_OP_ADDSMOOTH>();
        rows[n++] = {blt_OP_COPY, uint8_t(G::code), rle8_SCALED, &rle8ScaledWalk<G, 1>};
        rows[n++] = {blt_OP_COPY, uint8_t(G::code), rle8_SCALED | rle8_MIRROR, &rle8ScaledWalk<G, -1>};
    }
};

constexpr std::array<rle8RowTy, kRowCount> MakeRows() {
    Builder b;
    b.AddGroup<bltFmtR8G8B8>();
    b.AddGroup<bltFmtX8R8G8B8>();
    b.AddGroup<bltFmtR5G6B5>();
    b.AddGroup<bltFmtX1R5G5B5>();
    // A copy without key moves table pels that are destination pels already,
    // so the 1:5:5:5 group shares the 5:6:5 walks (which copy whole words).
    for (auto& row : b.rows)
        if (row.dst == pel_FMT_X1R5G5B5 && row.op == blt_OP_COPY && !(row.flags & (rle8_KEY | rle8_DEPTH)))
            for (const auto& twin : b.rows)
                if (twin.dst == pel_FMT_R5G6B5 && twin.op == row.op && twin.flags == row.flags) row.fn = twin.fn;
    return b.rows;
}

constexpr std::array<rle8RowTy, kRowCount> kRows = MakeRows();

uint32_t GroupOf(uint32_t fmt) {
    switch (fmt) {
    case pel_FMT_A8R8G8B8: return pel_FMT_X8R8G8B8;
    case pel_FMT_A1R5G5B5: return pel_FMT_X1R5G5B5;
    default: return fmt;
    }
}

}  // namespace

const rle8RowTy* rle8FindRow(uint32_t op, uint32_t dstFmt, uint32_t flags) {
    const uint32_t g = GroupOf(dstFmt);
    for (const auto& row : kRows)
        if (row.op == op && row.dst == g && row.flags == flags) return &row;
    return nullptr;
}

const rle8RowTy* rle8Rows(size_t* count) {
    *count = kRows.size();
    return kRows.data();
}

std::string rle8RowName(const rle8RowTy& row) {
    static const char* const ops[blt_OP_COUNT] = {"Copy",       "Alpha",       "FadeAdd",  "AlphaMap",
                                                  "Modulate",   "Modulate2x",  "Modulate4x", "Add",
                                                  "AddSigned",  "AddSigned2x", "Subtract", "AddSmooth"};
    std::string name;
    if (row.flags & rle8_SCALED) name = (row.flags & rle8_MIRROR) ? "rleBltScaledMirror" : "rleBltScaled";
    else name = std::string((row.flags & rle8_MIRROR) ? "rleBltMirrorRows" : "rleBltRows") + ops[row.op < blt_OP_COUNT ? row.op : 0];
    if (row.flags & rle8_KEY) name += "Key";
    if (row.flags & rle8_DEPTH) name += "Depth";
    switch (row.dst) {
    case pel_FMT_R8G8B8: name += "_R8G8B8"; break;
    case pel_FMT_X8R8G8B8: name += "_X8R8G8B8"; break;
    case pel_FMT_R5G6B5: name += "_R5G6B5"; break;
    default: name += "_X1R5G5B5"; break;
    }
    return name;
}
