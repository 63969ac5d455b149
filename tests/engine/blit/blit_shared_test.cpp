// Which draws read their source from a copy: images that are one, or row
// images whose pel blocks overlap, however little and whichever lies
// lower; and a draw between two views whose blocks share one pel.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/blit/blit.h"

namespace {

// A row image over `block`, its first pel `at` bytes in.
void View(imgRowCTy* v, uint8_t* block, size_t at, uint32_t fmt, int32_t w, int32_t h, uint32_t pitch) {
    v->pelFmt = pelFmtCTy(fmt, nullptr);
    v->width = w;
    v->height = h;
    v->rowPitch = pitch;
    v->pels = block ? block + at : nullptr;
}

}  // namespace

TEST(BlitShared, RowImagesShareWhenTheirBlocksOverlapByAByteOrMore) {
    struct Side {
        size_t at;
        uint32_t fmt;
        int32_t w, h;
        uint32_t pitch;
    };
    struct Row {
        const char* name;
        Side src, dst;
        bool shares;
    };
    // The source's block is (pitch x (h - 1) + w) pels from its first; the
    // byte counts below are worked out by hand.
    const Row rows[] = {
        {"source just before", {0, pel_FMT_R5G6B5, 4, 2, 4}, {16, pel_FMT_R5G6B5, 2, 2, 2}, false},
        {"source's last byte the destination's first", {0, pel_FMT_R5G6B5, 4, 2, 4}, {15, pel_FMT_R5G6B5, 2, 2, 2},
         true},
        {"destination just before", {16, pel_FMT_R5G6B5, 2, 2, 2}, {0, pel_FMT_R5G6B5, 4, 2, 4}, false},
        {"destination's last byte the source's first", {15, pel_FMT_R5G6B5, 2, 2, 2}, {0, pel_FMT_R5G6B5, 4, 2, 4},
         true},
        {"last row short of the pitch, just before", {0, pel_FMT_X8R8G8B8, 3, 2, 8}, {44, pel_FMT_P8, 1, 1, 1}, false},
        {"last row short of the pitch, into it", {0, pel_FMT_X8R8G8B8, 3, 2, 8}, {43, pel_FMT_P8, 1, 1, 1}, true},
        {"3-byte pels, just before", {0, pel_FMT_R8G8B8, 5, 1, 5}, {15, pel_FMT_R8G8B8, 5, 1, 5}, false},
        {"3-byte pels, into the last", {0, pel_FMT_R8G8B8, 5, 1, 5}, {14, pel_FMT_R8G8B8, 5, 1, 5}, true},
        {"1-byte pels below, just before", {25, pel_FMT_Z32, 2, 2, 2}, {0, pel_FMT_P8, 7, 3, 9}, false},
        {"1-byte pels below, into the last", {24, pel_FMT_Z32, 2, 2, 2}, {0, pel_FMT_P8, 7, 3, 9}, true},
        {"side by side in one frame", {0, pel_FMT_R5G6B5, 4, 4, 8}, {8, pel_FMT_R5G6B5, 4, 4, 8}, true},
        {"far apart", {0, pel_FMT_R5G6B5, 4, 4, 4}, {200, pel_FMT_R5G6B5, 4, 4, 4}, false},
        {"one without pels", {0, pel_FMT_R5G6B5, 0, 4, 0}, {0, pel_FMT_R5G6B5, 4, 4, 4}, false},
    };
    alignas(8) static uint8_t block[256];
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        imgRowCTy src, dst;
        View(&src, block, row.src.at, row.src.fmt, row.src.w, row.src.h, row.src.pitch);
        View(&dst, block, row.dst.at, row.dst.fmt, row.dst.w, row.dst.h, row.dst.pitch);
        EXPECT_EQ(bltSharesPels(&src, &dst), row.shares);
    }
    imgRowCTy none;
    View(&none, nullptr, 0, pel_FMT_P8, 4, 4, 4);
    EXPECT_TRUE(bltSharesPels(&none, &none)) << "one image";
    imgAlpha alpha;
    alpha.SetSize(4, 4, nullptr);
    EXPECT_TRUE(bltSharesPels(&alpha, &alpha)) << "one image of another kind";
    EXPECT_FALSE(bltSharesPels(&alpha, &none)) << "two images of different kinds";
}

// The source's last pel is the destination's first: the draw writes it
// before it reads it, and must read it as it was.
TEST(BlitShared, ViewsSharingOnePelDrawThePictureAsItWas) {
    gfxInit();
    const pelFmtCTy f(pel_FMT_X8R8G8B8);
    imgRowCTy frame, want, was;
    frame.SetSize(8, 8, &f);
    want.SetSize(8, 8, &f);
    std::mt19937 rng(5);
    for (size_t i = 0; i < frame.BodySize(); ++i) frame.pels[i] = uint8_t(rng());
    std::memcpy(want.pels, frame.pels, frame.BodySize());
    imgRowCTy src, dst, wantDst;
    View(&src, frame.pels, 0, pel_FMT_X8R8G8B8, 4, 3, 8);
    View(&dst, frame.pels, (2 * 8 + 3) * 4, pel_FMT_X8R8G8B8, 4, 3, 8);
    View(&wantDst, want.pels, (2 * 8 + 3) * 4, pel_FMT_X8R8G8B8, 4, 3, 8);
    was.SetSize(4, 3, &f);
    for (int32_t y = 0; y < 3; ++y) std::memcpy(was.pels + y * 16, frame.pels + y * 32, 16);
    src.Draw(&dst, 0, 0, nullptr);
    was.Draw(&wantDst, 0, 0, nullptr);
    EXPECT_EQ(std::memcmp(frame.pels, want.pels, frame.BodySize()), 0);
}
