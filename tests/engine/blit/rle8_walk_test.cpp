// The RLE8 walk on hand-made rows, each held in a block of exactly its size
// so that a read past the last code needed shows under ASan, and the draw
// entry's locks through a recording image.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/blit/blit.h"

namespace {

// One-byte "pels": table entry i of an R8G8B8 table is {i, i, i}.
struct Row {
    std::vector<uint8_t> table = std::vector<uint8_t>(3 * 16);
    imgRle8CTy img;
    std::unique_ptr<uint8_t[]> codes;
    uint8_t* slot = nullptr;
    Row(std::initializer_list<uint8_t> bytes) : codes(new uint8_t[bytes.size()]) {
        std::copy(bytes.begin(), bytes.end(), codes.get());
        for (size_t i = 0; i < table.size(); ++i) table[i] = uint8_t(i / 3 + 1);
        slot = codes.get();
        img.box = {0, 0, 64, 1};
    }
    ~Row() { img.rows = nullptr; }
    // Draws with clip and width through the row for flags; column c of the
    // result is the index drawn there (0: untouched).
    std::vector<int> Draw(int32_t clip, int32_t w, uint8_t flags) {
        std::vector<uint8_t> dst(3 * 12, 0);
        img.rows = &slot;
        rle8ArgsTy a;
        a.src = &img;
        a.dst = dst.data();
        a.r = {clip, 0, w, 1};
        a.table = table.data();
        a.tableCount = 16;
        rle8FindRow(blt_OP_COPY, pel_FMT_R8G8B8, flags)->fn(a);
        std::vector<int> out;
        for (size_t i = 0; i < dst.size(); i += 3) out.push_back(dst[i] ? dst[i] - 1 : 0);
        return out;
    }
};

TEST(Rle8Walk, CodeExamples) {
    // Ten pels: fill 3 of 5, skip 2, literal 7, literal 1 2 3 4; clip 2,
    // width 5: 5 at 0, 7 at 3, 1 at 4, nothing after.
    Row ten{0xC3, 0x05, 0x02, 0x81, 0x07, 0x84, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(ten.Draw(2, 5, 0), (std::vector<int>{5, 0, 0, 7, 1, 0, 0, 0, 0, 0, 0, 0}));
    // Mirrored: literal a b c, skip 2, fill 2 of d; clip 1, width 5.
    Row mirrored{0x83, 10, 11, 12, 0x02, 0xC2, 13};
    EXPECT_EQ(mirrored.Draw(1, 5, rle8_MIRROR), (std::vector<int>{13, 0, 0, 12, 11, 0, 0, 0, 0, 0, 0, 0}));
    // Zero-length codes of each kind, and a run cut at the width: only the
    // codes up to the cut are read (the block ends there).
    Row zeros{0x00, 0x80, 0xC0, 0x09, 0xC2, 0x04, 0x83, 0x01, 0x02};
    EXPECT_EQ(zeros.Draw(0, 4, 0), (std::vector<int>{4, 4, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
    // Indices beyond the table draw nothing.
    Row beyond{0x83, 0x02, 0x40, 0x03};
    EXPECT_EQ(beyond.Draw(0, 3, 0), (std::vector<int>{2, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // The scaled walk at scale 1 on the same rows, and zero-length codes at
    // the sampled place.
    Row scaled{0x00, 0x80, 0xC0, 0x09, 0xC2, 0x04, 0x83, 0x01, 0x02};
    EXPECT_EQ(scaled.Draw(0, 4, rle8_SCALED), (std::vector<int>{4, 4, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// An image that records its locks and unlocks by name.
struct Recorder : imgRowCTy {
    std::vector<std::string>* log = nullptr;
    std::string name;
    bool failLock = false;
    int32_t Lock(const rectTy* rect, uint32_t mode) override {
        log->push_back(name + (mode == 0 ? " lock write" : " lock read"));
        if (failLock) return 0;
        return imgRowCTy::Lock(rect, mode);
    }
    void Unlock() override {
        log->push_back(name + " unlock");
        imgRowCTy::Unlock();
    }
};

TEST(Rle8Walk, DrawExLocksInOrderAndAlwaysUnlocks) {
    gfxInit();
    palCTy pal;
    const uint32_t colours[2] = {0x000000, 0xFFFFFF};
    pal.Set(colours, 2);
    imgRle8CTy img;
    pelFmtCTy pf(pel_FMT_P8, &pal);
    img.SetSize(4, 2, &pf);
    (void)img.Lock(nullptr, 0);
    std::fill_n(static_cast<uint8_t*>(img.lockPtr), 8, uint8_t(1));
    img.Unlock();
    std::vector<std::string> log;
    auto make = [&](const char* name, uint32_t fmt) {
        auto r = std::make_unique<Recorder>();
        pelFmtCTy f(fmt);
        r->SetSize(4, 2, &f);
        r->log = &log;
        r->name = name;
        return r;
    };
    auto dst = make("dst", pel_FMT_R5G6B5), sz = make("sz", pel_FMT_Z32), dz = make("dz", pel_FMT_Z32),
         map = make("map", pel_FMT_P8);
    imgDrawPrmCTy prm;
    prm.op = img_OP_ALPHAMAP;  // no RLE8 draw: locks taken and released all the same
    prm.srcDepth = sz.get();
    prm.dstDepth = dz.get();
    prm.alphaMap = map.get();
    img.DrawEx(dst.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(log, (std::vector<std::string>{"sz lock read", "map lock read", "dst lock write", "dz lock write",
                                             "dst unlock", "map unlock", "sz unlock", "dz unlock"}));
    // A failed destination lock, and only one depth image: nothing drawn,
    // nothing written through null, still unlocked.
    log.clear();
    dst->failLock = true;
    prm = {};
    prm.srcDepth = sz.get();
    img.DrawEx(dst.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(log, (std::vector<std::string>{"sz lock read", "dst lock write", "dst unlock", "sz unlock"}));
    dst->failLock = false;
    img.DrawEx(dst.get(), 0, 0, nullptr, prm);  // draws without the depth test
    (void)dst->Lock(nullptr, 1);
    EXPECT_EQ(static_cast<const uint16_t*>(dst->lockPtr)[0], 0xFFFF);
    dst->Unlock();
    EXPECT_EQ(dst->lockPtr, nullptr);
}

}  // namespace
