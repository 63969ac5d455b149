// The alpha-image draws: every selection of the family against a plain
// scalar model written from the pixel rules, on random straight and
// premultiplied pictures, random rectangles and destination contents, plain
// and scaled; the worked numbers as one table; the dispatcher's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/blit/blit.h"

namespace {

class AlphaDraw : public testing::Test {
protected:
    void SetUp() override {
        saved_ = errState;
        errState.frames = nullptr;
        errState.mode = 0;
        errState.reportHandler = [] {
            Messages().push_back(errState.message ? errState.message : "");
            errState.answer = 0;
        };
        Messages().clear();
        gfxInit();
    }
    void TearDown() override { errState = saved_; }
    static std::vector<std::string>& Messages() {
        static std::vector<std::string> list;
        return list;
    }

private:
    errStateTy saved_;
};

std::unique_ptr<imgAlpha> MakeAlpha(int32_t w, int32_t h, const std::vector<uint32_t>& pels, uint32_t stored, bool pm) {
    auto img = std::make_unique<imgAlpha>();
    img->colorFmt = stored;
    img->premultiplied = pm ? 1 : 0;
    img->SetSize(w, h, nullptr);
    (void)img->Lock(nullptr, img_LOCK_WRITE);
    std::memcpy(img->lockPtr, pels.data(), pels.size() * 4);
    img->Unlock();
    return img;
}

std::unique_ptr<imgRowCTy> MakeDst(uint32_t fmt, int32_t w, int32_t h, const std::vector<uint8_t>& bytes) {
    auto img = std::make_unique<imgRowCTy>();
    pelFmtCTy f(fmt);
    img->SetSize(w, h, &f);
    (void)img->Lock(nullptr, 0);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(static_cast<uint8_t*>(img->lockPtr) + size_t(y) * size_t(img->pitch) * pelBytes[fmt],
                    bytes.data() + size_t(y) * size_t(w) * pelBytes[fmt], size_t(w) * pelBytes[fmt]);
    img->Unlock();
    return img;
}

std::vector<uint8_t> Bytes(imgRowCTy& img) {
    const size_t bpp = pelBytes[img.pelFmt.format];
    std::vector<uint8_t> out(size_t(img.width) * size_t(img.height) * bpp);
    (void)img.Lock(nullptr, 1);
    for (int32_t y = 0; y < img.height; ++y)
        std::memcpy(out.data() + size_t(y) * size_t(img.width) * bpp,
                    static_cast<uint8_t*>(img.lockPtr) + size_t(y) * size_t(img.pitch) * bpp, size_t(img.width) * bpp);
    img.Unlock();
    return out;
}

// ------------------------------------------------------------ the model
//
// One destination pel as an integer (3 bytes B,G,R; 4 bytes; or a u16), and
// the stored colour as the bytes the image keeps.

struct Rgb { int b, g, r; };

Rgb Channels(uint32_t stored, const uint8_t* p) {  // 8-bit, no replication
    if (stored == 1 || stored == 2) return {p[0], p[1], p[2]};
    const int v = p[0] | p[1] << 8;
    if (stored == 4) return {(v & 31) << 3, ((v >> 5) & 63) << 2, (v >> 11) << 3};
    return {(v & 31) << 3, ((v >> 5) & 31) << 3, ((v >> 10) & 31) << 3};
}

bool Wide(uint32_t dst) { return dst <= 3; }
int GBits(uint32_t dst) { return Wide(dst) ? 8 : dst == 4 ? 6 : 5; }
int RbBits(uint32_t dst) { return Wide(dst) ? 8 : 5; }

// The stored colour as destination fields.
Rgb SrcFields(uint32_t stored, uint32_t dst, const uint8_t* p) {
    if (Wide(dst)) return Channels(stored, p);
    const int v = p[0] | p[1] << 8;
    if (stored == 1 || stored == 2) return {p[0] >> 3, p[1] >> (8 - GBits(dst)), p[2] >> 3};
    if (stored == 4) return {v & 31, dst == 4 ? (v >> 5) & 63 : ((v >> 5) & 63) >> 1, v >> 11};
    return {v & 31, dst == 4 ? ((v >> 5) & 31) << 1 : (v >> 5) & 31, (v >> 10) & 31};
}

Rgb DstFields(uint32_t dst, uint32_t d) {
    if (Wide(dst)) return {int(d & 255), int((d >> 8) & 255), int((d >> 16) & 255)};
    if (dst == 4) return {int(d & 31), int((d >> 5) & 63), int(d >> 11)};
    return {int(d & 31), int((d >> 5) & 31), int((d >> 10) & 31)};
}

// Fields back into the pel; the fourth byte and bit 15 stay.
uint32_t WithFields(uint32_t dst, uint32_t d, Rgb f) {
    const int mg = (1 << GBits(dst)) - 1, mrb = (1 << RbBits(dst)) - 1;
    f = {f.b & mrb, f.g & mg, f.r & mrb};
    if (Wide(dst)) return (d & 0xFF000000u) | uint32_t(f.r) << 16 | uint32_t(f.g) << 8 | uint32_t(f.b);
    if (dst == 4) return uint32_t(f.r) << 11 | uint32_t(f.g) << 5 | uint32_t(f.b);
    return (d & 0x8000u) | uint32_t(f.r) << 10 | uint32_t(f.g) << 5 | uint32_t(f.b);
}

Rgb Widen(uint32_t dst, Rgb f) { return {f.b << (8 - RbBits(dst)), f.g << (8 - GBits(dst)), f.r << (8 - RbBits(dst))}; }
Rgb Narrow(uint32_t dst, Rgb c) { return {c.b >> (8 - RbBits(dst)), c.g >> (8 - GBits(dst)), c.r >> (8 - RbBits(dst))}; }

int DstAlpha(uint32_t dst, uint32_t d) { return dst == 3 ? int(d >> 24) : (d & 0x8000u) ? 255 : 0; }
uint32_t WithAlpha(uint32_t dst, uint32_t d, int a) {
    if (dst == 3) return (d & 0x00FFFFFFu) | uint32_t(a & 255) << 24;
    if (dst == 6) return (d & 0x7FFFu) | (a >= 128 ? 0x8000u : 0u);
    return d;
}

// kind 1 translucent (ab the stored alpha byte), 2 opaque; op 0 Copy, 1 Add,
// 2 Blend, 3 BlendAlpha.
uint32_t ModelPel(uint32_t dst, uint32_t op, bool pm, uint32_t stored, int kind, const uint8_t* s, int ab, int c,
                  uint32_t d) {
    const Rgb sf = SrcFields(stored, dst, s), df = DstFields(dst, d);
    const int a = kind == 2 ? 255 : pm ? 255 - ab : ab;
    const bool hasAlpha = dst == 3 || dst == 6;
    auto copyWord = [&](uint32_t onto) {
        if (dst == 5 && stored == 5) return uint32_t(s[0] | s[1] << 8);
        return WithFields(dst, onto, sf);
    };
    auto mix = [&](int wd, int ws) {
        return WithFields(dst, d, {(df.b * wd + sf.b * ws) >> 8, (df.g * wd + sf.g * ws) >> 8,
                                   (df.r * wd + sf.r * ws) >> 8});
    };
    auto unpm = [&] {
        const Rgb ch = Channels(stored, s);
        return Rgb{(ch.b * 256 / a) & 255, (ch.g * 256 / a) & 255, (ch.r * 256 / a) & 255};
    };
    auto add = [&](Rgb sc) {
        const Rgb dc = Widen(dst, df);
        return WithFields(dst, d, Narrow(dst, {std::min(dc.b + sc.b, 255), std::min(dc.g + sc.g, 255),
                                               std::min(dc.r + sc.r, 255)}));
    };
    if (kind == 2) {
        switch (op) {
        case 0:
        case 2: return dst == 5 ? copyWord(d) : WithAlpha(dst == 2 ? 3 : dst, copyWord(d), 255);
        case 1: return add(Channels(stored, s));
        default: {
            const int w = std::min(c, 255);
            return mix(255 - w, w);
        }
        }
    }
    switch (op) {
    case 0: {
        if (pm && a == 0) return d;
        const uint32_t v = pm ? WithFields(dst, d, Narrow(dst, unpm())) : copyWord(d);
        return dst == 2 ? WithAlpha(3, v, 255) : WithAlpha(dst, v, a);
    }
    case 1: {
        if (pm && a == 0) return d;
        const uint32_t v = add(pm ? unpm() : Channels(stored, s));
        return hasAlpha ? WithAlpha(dst, v, std::min(DstAlpha(dst, d) + a, 255)) : v;
    }
    case 2: {
        const uint32_t v = pm ? mix(ab, 256) : mix(255 - a, a);
        return dst == 3 ? WithAlpha(3, v, ((DstAlpha(3, d) * (255 - a)) >> 8) + a) : WithAlpha(dst, v, a);
    }
    default: {
        const int e = (a * c) >> 8;
        const uint32_t v = pm ? mix(255 - e, c) : mix(255 - e, e);
        return dst == 3 ? WithAlpha(3, v, ((DstAlpha(3, d) * (255 - e)) >> 8) + e) : WithAlpha(dst, v, e);
    }
    }
}

// The picture as pels: kind, alpha byte, stored colour, from the run table.
struct Pel { int kind; int ab; const uint8_t* colour; };
std::vector<Pel> Pels(const imgAlpha& img) {
    std::vector<Pel> out;
    const uint8_t* a = img.alphas;
    const uint8_t* col = img.colors;
    const size_t bytes = img.colorFmt == 1 ? 3 : img.colorFmt == 2 ? 4 : 2;
    for (uint32_t i = 0; i < img.runCount; ++i)
        for (uint32_t n = 0; n < uint32_t(img.runs[i] >> 2); ++n) {
            const int kind = img.runs[i] & 3;
            out.push_back({kind, kind == 1 ? *a++ : 0, kind ? col : nullptr});
            if (kind) col += bytes;
        }
    return out;
}

uint32_t Load(const std::vector<uint8_t>& buf, size_t i, size_t bpp) {
    uint32_t v = 0;
    std::memcpy(&v, buf.data() + i * bpp, bpp);
    return v;
}
void Save(std::vector<uint8_t>& buf, size_t i, size_t bpp, uint32_t v) { std::memcpy(buf.data() + i * bpp, &v, bpp); }

// A picture of runs of random kinds and lengths (some past a row's end).
std::vector<uint32_t> RandomPicture(std::mt19937& rng, int32_t w, int32_t h) {
    std::vector<uint32_t> pels;
    while (pels.size() < size_t(w) * size_t(h)) {
        const int kind = int(rng() % 3), len = 1 + int(rng() % 14);
        for (int i = 0; i < len; ++i) {
            const uint32_t a = kind == 0 ? 0 : kind == 2 ? 255 : 1 + rng() % 254;
            pels.push_back(a << 24 | (rng() & 0xFFFFFF));
        }
    }
    pels.resize(size_t(w) * size_t(h));
    return pels;
}

TEST_F(AlphaDraw, EverySelectionDrawsAsTheModel) {
    std::mt19937 rng(19);
    const uint32_t dsts[] = {1, 2, 3, 4, 5, 6}, storeds[] = {1, 2, 4, 5}, imgOps[] = {0, 7, 14, 15};
    const float scales[] = {2.0f, 0.5f, 1.7f};
    size_t selections = 0;
    std::set<std::string> names;
    for (uint32_t dst : dsts)
        for (int pm = 0; pm < 2; ++pm)
            for (int scaled = 0; scaled < 2; ++scaled)
                for (uint32_t op = 0; op < 4; ++op)
                    for (uint32_t stored : storeds) {
                        const alphaRowTy* row = alphaFindRow(dst, pm, scaled, op, stored);
                        ASSERT_NE(row, nullptr);
                        ++selections;
                        const std::string name = alphaRowName(*row);
                        names.insert(name);
                        for (int trial = 0; trial < (scaled ? 3 : 4); ++trial) {
                            const int32_t w = 3 + int32_t(rng() % 30), h = 1 + int32_t(rng() % 12);
                            auto src = MakeAlpha(w, h, RandomPicture(rng, w, h), stored, pm);
                            const std::vector<Pel> pels = Pels(*src);
                            const float scale = scaled ? scales[trial] : 1.0f;
                            const uint32_t step = uint32_t(65536.0 / scale);
                            // Destination columns whose source column lies in the picture.
                            int32_t cols = 0, rows = 0;
                            while (((uint64_t(cols) * step) >> 16) < uint64_t(w)) ++cols;
                            while (((uint64_t(rows) * step) >> 16) < uint64_t(h)) ++rows;
                            rectTy r;
                            r.x = int32_t(rng() % uint32_t(cols));
                            r.y = int32_t(rng() % uint32_t(rows));
                            r.w = trial == 0 ? cols - r.x : int32_t(rng() % uint32_t(cols - r.x + 1));
                            r.h = int32_t(rng() % uint32_t(rows - r.y + 1));
                            const int32_t dw = cols + 5, dh = rows + 4, x = int32_t(rng() % 3) - r.x % 2,
                                          y = int32_t(rng() % 3) - r.y % 2;
                            const size_t bpp = pelBytes[dst];
                            std::vector<uint8_t> before(size_t(dw) * size_t(dh) * bpp);
                            for (auto& b : before) b = uint8_t(rng());
                            auto img = MakeDst(dst, dw, dh, before);
                            imgDrawPrmCTy prm;
                            prm.op = imgOps[op];
                            if (scaled && op == 2 && trial == 1) prm.op = img_OP_SCALED;
                            else prm.scaled = scaled;
                            prm.scaleX = prm.scaleY = scale;
                            prm.alpha = trial == 0 ? 256 : trial == 1 ? 0 : int32_t(rng() % 257);
                            src->DrawEx(img.get(), x, y, &r, prm);

                            std::vector<uint8_t> want = before;
                            for (int32_t j = 0; j < r.h; ++j)
                                for (int32_t i = 0; i < r.w; ++i) {
                                    const size_t sx = (uint64_t(uint32_t(r.x + i) * step)) >> 16,
                                                 sy = (uint64_t(uint32_t(r.y + j) * step)) >> 16;
                                    const Pel& p = pels[sy * size_t(w) + sx];
                                    if (p.kind == 0) continue;
                                    const size_t at = size_t(y + r.y + j) * size_t(dw) + size_t(x + r.x + i);
                                    Save(want, at, bpp,
                                         ModelPel(dst, op, pm, stored, p.kind, p.colour, p.ab, prm.alpha, Load(want, at, bpp)));
                                }
                            ASSERT_EQ(Bytes(*img), want) << name << " trial " << trial << " rect " << r.x << ","
                                                         << r.y << "," << r.w << "," << r.h << " in " << w << "x" << h;
                        }
                    }
    // 384 selections, 382 loops: straight Copy of stored X1R5G5B5 onto
    // X1R5G5B5 takes the R5G6B5 copy loops.
    EXPECT_EQ(selections, 384u);
    EXPECT_EQ(names.size(), 382u);
    EXPECT_EQ(alphaRowName(*alphaFindRow(4, true, true, 2, 2)), "alphaBltBlendPmScaled_X8R8G8B8_R5G6B5");
    EXPECT_EQ(alphaRowName(*alphaFindRow(6, false, false, 3, 1)), "alphaBltBlendAlpha_R8G8B8_A1R5G5B5");
    EXPECT_EQ(alphaRowName(*alphaFindRow(5, false, true, 0, 5)), "alphaBltCopyScaled_R5G6B5_R5G6B5");
    EXPECT_EQ(alphaFindRow(5, false, true, 0, 3), nullptr);
}

// One pel of colour `pel` (A8R8G8B8) drawn onto one destination pel.
struct Example {
    uint32_t dst, op;
    bool pm;
    uint32_t stored, pel, before;
    int32_t c;
    uint32_t after;
};

TEST_F(AlphaDraw, WorkedNumbers) {
    const Example examples[] = {
        {4, img_OP_COPY, false, 1, 0xFF7F80FF, 0x0000, 0, 0x7C1F},
        {4, img_OP_COPY, false, 5, 0xFFFFFFFF, 0x0000, 0, 0xFFDF},
        {4, img_OP_BLEND, false, 4, 0x80FFFFFF, 0x0000, 0, 0x7BEF},
        {4, img_OP_BLEND, false, 4, 0x80FFFFFF, 0xFFFF, 0, 0xF7DE},
        {4, img_OP_ADD, false, 1, 0xFF080808, 0x0821, 0, 0x1062},
        {4, img_OP_ADD, false, 1, 0xFF080808, 0xFFFF, 0, 0xFFFF},
        {4, img_OP_COPY, true, 4, 0x80FFFFFF, 0x0000, 0, 0xF7DE},
        {4, img_OP_COPY, true, 1, 0x64FFFFFF, 0x0000, 0, 0xFFFF},
        {4, img_OP_BLEND, false, 4, 0xFEFFFFFF, 0x0000, 0, 0xF7DE},  // fields (30, 62, 30)
        {5, img_OP_COPY, false, 1, 0xFF7F80FF, 0x8000, 0, 0xBE1F},
        {5, img_OP_COPY, false, 4, 0xFFFFFFFF, 0x0000, 0, 0x7FFF},
        {5, img_OP_BLEND, false, 5, 0x80FFFFFF, 0x0000, 0, 0x3DEF},
        {5, img_OP_BLEND, false, 5, 0x80FFFFFF, 0x8000, 0, 0xBDEF},
        {5, img_OP_ADD, false, 1, 0xFF102030, 0x7FFF, 0, 0x7FFF},
        {5, img_OP_ADD, false, 1, 0xFF102030, 0xFFFF, 0, 0xFFFF},
        {6, img_OP_BLENDALPHA, true, 4, 0xC8F6F6F6, 0x0000, 256, 0xE318},
        {6, img_OP_COPY, true, 1, 0x64C8C8C8, 0xFFFF, 0, 0x6318},
        {6, img_OP_BLEND, false, 5, 0x64C86030, 0x7FFF, 0, 0x72F5},
        {6, img_OP_BLENDALPHA, false, 1, 0xFFF88008, 0xFFFF, 200, 0xFA67},
        {6, img_OP_BLENDALPHA, false, 1, 0xC81048F8, 0x7FFF, 200, 0xB63E},
        {6, img_OP_BLEND, false, 1, 0x7F000000, 0x8000, 0, 0x0000},
        {6, img_OP_BLEND, false, 1, 0x80000000, 0x0000, 0, 0x8000},
        {6, img_OP_ADD, false, 1, 0xC8000000, 0x0000, 0, 0x8000},
        {6, img_OP_ADD, false, 1, 0x64000000, 0x0000, 0, 0x0000},
        {6, img_OP_COPY, false, 1, 0xFF000000, 0x0000, 0, 0x8000},
        {3, img_OP_BLENDALPHA, true, 2, 0xC8FFFFFF, 0x00000000, 256, 0xC8C7C7C7},
        {2, img_OP_COPY, false, 1, 0x641E140A, 0x00000000, 0, 0xFF1E140A},
        {3, img_OP_COPY, false, 1, 0x641E140A, 0x00000000, 0, 0x641E140A},
        {3, img_OP_BLEND, false, 1, 0x01000000, 0xFF000000, 0, 0xFE000000},
        {3, img_OP_BLEND, false, 1, 0x80000000, 0x00000000, 0, 0x80000000},
        {3, img_OP_ADD, false, 1, 0x64000000, 0xC8000000, 0, 0xFF000000},
        {3, img_OP_BLENDALPHA, false, 1, 0xC8000000, 0x00000000, 128, 0x64000000},
        {3, img_OP_COPY, true, 1, 0x80FFFFFF, 0x00000000, 0, 0x80FEFEFE},
        {3, img_OP_COPY, true, 4, 0x80FFFFFF, 0x00000000, 0, 0x80F0F8F0},
        {2, img_OP_BLEND, false, 1, 0x80FFFFFF, 0x07000000, 0, 0x077F7F7F},
        {1, img_OP_BLEND, false, 1, 0x80FFFFFF, 0x000000, 0, 0x7F7F7F},
        {1, img_OP_BLEND, false, 1, 0x01000000, 0xFFFFFF, 0, 0xFDFDFD},
        {1, img_OP_BLENDALPHA, false, 2, 0xFFFFFFFF, 0x123456, 256, 0xFEFEFE},
        {1, img_OP_BLENDALPHA, false, 2, 0xFF000000, 0x123456, 256, 0x000000},
        {1, img_OP_BLENDALPHA, false, 1, 0x80FFFFFF, 0x102030, 0, 0x0F1F2F},
        {1, img_OP_COPY, false, 5, 0xFF000000, 0xFFFFFF, 0, 0x000000},
    };
    for (const Example& e : examples) {
        auto src = MakeAlpha(1, 1, {e.pel}, e.stored, e.pm);
        auto dst = MakeDst(e.dst, 1, 1, std::vector<uint8_t>((const uint8_t*)&e.before, (const uint8_t*)&e.before + 4));
        imgDrawPrmCTy prm;
        prm.op = e.op;
        prm.alpha = e.c;
        const rectTy r{0, 0, 1, 1};
        src->DrawEx(dst.get(), 0, 0, &r, prm);
        const std::vector<uint8_t> got = Bytes(*dst);
        EXPECT_EQ(Load(got, 0, pelBytes[e.dst]), e.after)
            << std::hex << "dst " << e.dst << " op " << e.op << " pm " << e.pm << " stored " << e.stored << " pel "
            << e.pel;
    }
}

TEST_F(AlphaDraw, WrappersAndRefusals) {
    // Draw blends (below); DrawAlpha truncates 0.999 x 256 to 255: a = 200 becomes
    // (200 x 255) >> 8 = 199 and white over black (255 x 199) >> 8 = 198.
    auto src = MakeAlpha(2, 1, {0xC8FFFFFF, 0x00000000}, 1, false);
    auto dst = MakeDst(1, 2, 1, std::vector<uint8_t>(6, 0));
    src->DrawAlpha(dst.get(), 0, 0, nullptr, 0.999f);
    EXPECT_EQ(Load(Bytes(*dst), 0, 3), 0xC6C6C6u);
    src->Draw(dst.get(), 0, 0, nullptr);
    EXPECT_EQ(Load(Bytes(*dst), 0, 3), 0xF1F1F1u);  // (198 x 55 + 255 x 200) >> 8

    // A lock the caller holds is dropped; nothing draws for stored format 3,
    // an op outside the family, a scale without step, or a rectangle
    // outside the picture; a palettised destination is refused with the
    // message and left unlocked.
    const std::vector<uint8_t> zero(6, 0);
    auto clean = MakeDst(1, 2, 1, zero);
    (void)clean->Lock(nullptr, 0);
    imgDrawPrmCTy prm;
    prm.op = img_OP_COPY;
    src->DrawEx(clean.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(clean->lockPtr, nullptr);
    EXPECT_EQ(Load(Bytes(*clean), 0, 3), 0xFFFFFFu);
    auto blank = MakeDst(1, 2, 1, zero);
    const rectTy all{0, 0, 1, 1}, outside{1, 0, 2, 1};
    src->colorFmt = 3;
    src->DrawEx(blank.get(), 0, 0, &all, prm);
    src->colorFmt = 1;
    for (uint32_t op : {1u, 3u, 4u, 12u, 16u, 0xFFFFFFFFu}) {
        prm.op = op;
        src->DrawEx(blank.get(), 0, 0, &all, prm);
    }
    prm.op = img_OP_COPY;
    src->DrawEx(blank.get(), 0, 0, &outside, prm);
    const rectTy empty{0, 1000, 0, 5};  // empty, and below the picture
    src->DrawEx(blank.get(), 0, -1000, &empty, prm);
    prm.scaled = 1;
    for (float s : {0.0f, -1.0f, NAN, 1e-9f}) {
        prm.scaleX = s;
        src->DrawEx(blank.get(), 0, 0, &all, prm);
    }
    EXPECT_EQ(Bytes(*blank), zero);
    EXPECT_TRUE(Messages().empty());

    palCTy pal;
    auto paletted = std::make_unique<imgRowCTy>();
    pelFmtCTy f(pel_FMT_P8, &pal);
    paletted->SetSize(2, 1, &f);
    prm = imgDrawPrmCTy{};
    src->DrawEx(paletted.get(), 0, 0, nullptr, prm);
    EXPECT_EQ(Messages(), std::vector<std::string>{"imgCTy::Draw: This is not impelmetned yet"});
    EXPECT_EQ(paletted->lockPtr, nullptr);
}

}  // namespace
