// Bitmap fonts: the record, the atlas, measuring, clipped drawing, text
// sprites, and the shared list over files written by the test.
#include "spr_test_support.h"
#include "tests/Lib/quarn/src/img/TgaWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// A glyph picture of R5G6B5 pels: character c (from 'a') has its box at
// x = 1 + sum of the earlier widths + gaps, with distinct pels; the
// reference glyph ' ' is a blank box at x 0 of background 0x0841.
struct FontFixture {
    fntFileTy rec;
    std::unique_ptr<imgRowCTy> picture;
};

FontFixture make_font(int32_t glyphs, int32_t h)
{
    FontFixture f;
    f.rec.magic = fnt_MAGIC;
    f.rec.refChar = ' ';
    f.rec.spacing = 1;
    f.rec.spaceWidth = 4;
    f.rec.height = h;
    int32_t x = 6;
    f.rec.boxes[' '] = { 0, 0, 4, h };
    for (int32_t i = 0; i < glyphs; ++i) {
        f.rec.boxes['a' + i] = { x, 0, 5 + i % 3, h };
        x += 5 + i % 3 + 2;
    }
    f.picture = make_image(pel_FMT_R5G6B5, x + 1, h, [](int32_t px, int32_t py) {
        return px < 5 ? 0x0841u : uint32_t(px * 97 + py * 13 + 1) & 0xFFFF;
    });
    return f;
}

std::vector<uint8_t> record_bytes(const fntFileTy& rec)
{
    Bytes b;
    b.u32(rec.magic).u32(rec.refChar).u32(uint32_t(rec.spacing)).u32(uint32_t(rec.spaceWidth));
    b.u32(uint32_t(rec.height)).u32(0).u32(0xDEADBEEF);
    for (const rectTy& r : rec.boxes)
        b.u32(uint32_t(r.x)).u32(uint32_t(r.y)).u32(uint32_t(r.w)).u32(uint32_t(r.h));
    return b.u32(0xDEADBEEF).get();
}

using Fnt = SprTest;

TEST_F(Fnt, RecordLayoutAndDamage)
{
    FontFixture f = make_font(26, 9);
    std::vector<uint8_t> bytes = record_bytes(f.rec);
    ASSERT_EQ(bytes.size(), fnt_FILE_SIZE);
    fntFileTy rec;
    ASSERT_EQ(fntParse(bytes.data(), bytes.size(), &rec), 0);
    EXPECT_EQ(rec.refChar, uint32_t(' '));
    EXPECT_EQ(rec.spaceWidth, 4);
    EXPECT_EQ(rec.boxes['z'].x, f.rec.boxes['z'].x);
    EXPECT_EQ(rec.boxes['z'].w, f.rec.boxes['z'].w);

    EXPECT_EQ(fntParse(bytes.data(), fnt_FILE_SIZE - 1, &rec), ERR_DATA);
    bytes[4] = 0;
    bytes[5] = 1; // reference character 256
    EXPECT_EQ(fntParse(bytes.data(), bytes.size(), &rec), ERR_DATA);
    bytes[0] ^= 1;
    EXPECT_EQ(fntParse(bytes.data(), bytes.size(), &rec), ERR_DATA);

    const rectTy outside[] = { { -1, 0, 2, 2 }, { 0, 0, 2, 10 }, { 210, 0, 5, 1 }, { 2, 2, -1, 1 } };
    for (const rectTy& box : outside) {
        FontFixture g = make_font(26, 9);
        g.rec.boxes['#'] = box;
        imgRowCTy atlas;
        EXPECT_EQ(fntPack(&g.rec, g.picture.get(), &atlas), ERR_DATA) << box.x << "," << box.w;
    }
}

// The atlas: 64 wide for narrow glyphs, doubled until the rows are at most
// four widths high; every glyph's pels equal its box in the picture, the
// characters sharing the reference glyph's column get its box, the key is
// the atlas pel (0, 0).
TEST_F(Fnt, PackedGlyphsEqualTheirSource)
{
    for (const auto& [glyphs, h, width] : { std::tuple { 3, 9, 64 }, { 26, 9, 64 }, { 26, 100, 128 } }) {
        FontFixture f = make_font(glyphs, h);
        f.rec.boxes['\n'] = f.rec.boxes[' '];
        fntFileTy source = f.rec;
        imgRowCTy atlas;
        ASSERT_EQ(fntPack(&f.rec, f.picture.get(), &atlas), 0);
        EXPECT_EQ(atlas.width, width) << glyphs << " " << h;
        EXPECT_LE(atlas.height, 4 * atlas.width);
        EXPECT_TRUE(atlas.keyFlag != 0 && atlas.keyPel == 0x0841u);
        EXPECT_TRUE(f.rec.boxes['\n'].x == 0 && f.rec.boxes[' '].w == 4);
        for (int c = 'a'; c < 'a' + glyphs; ++c) {
            const rectTy& from = source.boxes[c];
            const rectTy& to = f.rec.boxes[c];
            ASSERT_EQ(to.w, from.w);
            for (int32_t y = 0; y < from.h; ++y)
                for (int32_t x = 0; x <= from.w; ++x)
                    ASSERT_EQ(pel_at(atlas, to.x + x, to.y + y), pel_at(*f.picture, from.x + x, from.y + y))
                        << char(c) << " " << x << "," << y;
        }
    }
}

fntCTy* font_of(FontFixture& f)
{
    auto* font = new fntCTy;
    font->rec = f.rec;
    font->atlas = std::make_unique<imgRowCTy>();
    EXPECT_EQ(fntPack(&font->rec, f.picture.get(), font->atlas.get()), 0);
    return font;
}

// Widths (a, b, c are 5, 6, 7 wide; spacing 1) and alignments; a text
// sprite clipped by the redrawn rectangle writes only inside it, and there
// the same pels as an unclipped draw.
TEST_F(Fnt, MeasuresAlignsAndClipsText)
{
    FontFixture f = make_font(26, 9);
    std::unique_ptr<fntCTy> font(font_of(f));
    EXPECT_EQ(fntTextWidth(font.get(), "abc"), 6 + 1 + 7 + 1 + 8);
    EXPECT_EQ(fntTextWidth(font.get(), "a\t b"), 6 + 1 + 1 + 1 + 4 + 1 + 7);
    EXPECT_EQ(fntTextWidth(font.get(), ""), 0);
    EXPECT_EQ(fntTextWidth(nullptr, "abc"), 0);
    sprsCTy list;
    list.SetScrSize(64, 16);
    sprDfStrCTy s;
    s.fonts.push_back(font.get());
    s.SetPos(100, 50);
    s.Printf("%s", "abc");
    const rectTy centred = s.GetRect();
    EXPECT_TRUE(centred.x == 100 - 12 && centred.y == 50 && centred.w == 24 && centred.h == 9);
    s.SetAlign(spr_ALIGN_RIGHT);
    EXPECT_EQ(s.GetRect().x, 100 - 24);
    s.Printf("%s", std::string(300, 'a').c_str());
    EXPECT_EQ(s.text.size(), fnt_TEXT_SIZE - 1);

    sprsCTy::Add(&list, &s);
    s.SetAlign(spr_ALIGN_LEFT);
    s.Printf("zebra \t%d", 42);
    s.SetPos(-3, 4);
    s.Show();
    auto full = make_image(pel_FMT_R5G6B5, 64, 16, [](int32_t, int32_t) { return 0xFFFFu; });
    list.DrawRect(full.get(), 0, 0, nullptr);
    for (const rectTy& clip : { rectTy { 7, 5, 20, 3 }, rectTy { 0, 0, 3, 16 }, rectTy { 30, 0, 34, 16 } }) {
        auto part = make_image(pel_FMT_R5G6B5, 64, 16, [](int32_t, int32_t) { return 0xFFFFu; });
        list.DrawRect(part.get(), 0, 0, &clip);
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                const bool inside = x >= clip.x && x < clip.x + clip.w && y >= clip.y && y < clip.y + clip.h;
                ASSERT_EQ(pel_at(*part, x, y), inside ? pel_at(*full, x, y) : 0xFFFFu) << x << "," << y;
            }
    }
    EXPECT_NE(pel_at(*full, 0, 5), 0xFFFFu); // something was drawn
}

// A font file's spacing, space width or height past any picture's side is
// refused as damage; a font made in memory with a spacing near the 32-bit
// limits lays its text out with the width held to the 32-bit range (the
// sanitizer build catches an overflow on the way).
TEST_F(Fnt, SpacingNearThe32BitLimitsNeitherLoadsNorOverflows)
{
    struct Field {
        size_t offset;
        int32_t value;
        bool accepted;
    };
    const Field fields[] = {
        { 8, INT32_MAX - 2, false }, { 8, INT32_MIN, false }, { 8, 32769, false }, { 8, 32768, true },
        { 8, -32768, true },         { 12, 1 << 30, false },  { 16, -(1 << 30), false },
    };
    FontFixture f = make_font(26, 9);
    for (const Field& field : fields) {
        std::vector<uint8_t> bytes = record_bytes(f.rec);
        for (size_t i = 0; i < 4; ++i)
            bytes[field.offset + i] = uint8_t(uint32_t(field.value) >> (8 * i));
        fntFileTy rec;
        EXPECT_EQ(fntParse(bytes.data(), bytes.size(), &rec), field.accepted ? 0 : ERR_DATA)
            << field.offset << ": " << field.value;
    }

    struct Line {
        int32_t spacing;
        const char* text; // 'a' advances 6, 'b' 7, 'c' 8
        int32_t width;
    };
    const Line lines[] = {
        { 1, "abc", 24 },
        { -3, "a", 3 },
        { INT32_MAX - 2, "a", INT32_MAX },
        { INT32_MAX, "abc", INT32_MAX },
        { INT32_MIN, "ab", -INT32_MAX },
    };
    std::unique_ptr<fntCTy> font(font_of(f));
    for (const Line& l : lines) {
        font->rec.spacing = l.spacing;
        sprDfStrCTy s;
        s.fonts.push_back(font.get());
        s.Printf("%s", l.text);
        EXPECT_EQ(s.textW, l.width) << l.spacing << " " << l.text;
        EXPECT_EQ(s.anchorX, l.width / 2);
    }
}

// Fonts from files: shared by name in any case, ".fnt" before ".bmp",
// clear reports for what is missing or damaged.
TEST_F(Fnt, LoadsOnceFromFiles)
{
    const auto dir = std::filesystem::temp_directory_path() / ("fnt_test_" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    const std::string base = (dir / "Digits").string();
    FontFixture f = make_font(3, 9);
    const std::vector<uint8_t> bytes = record_bytes(f.rec);
    auto write = [](const std::string& path, const std::vector<uint8_t>& data) {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(out);
        std::fwrite(data.data(), 1, data.size(), out);
        std::fclose(out);
    };
    write(base + ".fda", bytes);
    ASSERT_EQ(f.picture->SaveBmp((base + ".fnt").c_str()), 0);
    auto other = make_image(pel_FMT_R5G6B5, 4, 4, [](int32_t, int32_t) { return 0u; });
    ASSERT_EQ(other->SaveBmp((base + ".bmp").c_str()), 0);

    fntListInit();
    fntCTy* a = fntGet("%s", base.c_str());
    ASSERT_NE(a, nullptr);
    fntCTy* b = fntGet("%s/DIGITS", dir.string().c_str());
    EXPECT_EQ(a, b);
    EXPECT_EQ(fntRefCount(a), 2u);
    EXPECT_EQ(fntTextWidth(a, "abc"), 23); // the .fnt picture: the .bmp has no room for the glyphs
    fntRelease(a);
    EXPECT_EQ(fntRefCount(a), 1u);
    fntRelease(b);
    EXPECT_EQ(fntRefCount(a), 0u);
    fntRelease(nullptr);
    EXPECT_TRUE(messages().empty());

    // A text sprite that outlives the list keeps drawing with its font; a
    // new list loads the name afresh; each font is freed once, by its last
    // release (the sanitizer build catches a second free or a stale read).
    {
        auto held = std::make_unique<sprDfStrCTy>();
        held->AddFont(base.c_str());
        const fntCTy* first = held->Font();
        fntListDone();
        EXPECT_EQ(fntRefCount(first), 1u);
        EXPECT_EQ(fntTextWidth(first, "abc"), 23);
        fntListInit();
        sprDfStrCTy again;
        again.AddFont(base.c_str());
        EXPECT_NE(again.Font(), first);
        held.reset();
        EXPECT_EQ(fntTextWidth(again.Font(), "abc"), 23);
    }

    std::filesystem::remove(base + ".fnt");
    EXPECT_EQ(fntLoad(base.c_str()), nullptr); // the .bmp is too small for the boxes
    std::filesystem::remove(base + ".bmp");
    // A TGA picture (32 bits, top row first) gives an alpha atlas.
    Bytes tga;
    tga.raw({ 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0 }).raw({ uint8_t(f.picture->width), 0, 9, 0, 32, 0x28 });
    auto argb = [&](int32_t x, int32_t y) { return x < 5 ? 0u : 0xFF000000u | pel_at(*f.picture, x, y) << 3; };
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < f.picture->width; ++x)
            tga.u32(argb(x, y));
    write(base + ".tga", tga);
    std::unique_ptr<fntCTy> alpha(fntLoad(base.c_str()));
    ASSERT_TRUE(alpha && alpha->atlas->kind == img_KIND_ALPHA);
    EXPECT_EQ(fntTextWidth(alpha.get(), "abc"), 23);
    auto target = make_image(pel_FMT_R5G6B5, 30, 9, [](int32_t, int32_t) { return 0u; });
    const rectTy all { 0, 0, 30, 9 };
    fntDrawText(alpha.get(), "abc", 0, 0, &all, target.get());
    for (int32_t x = 0; x < 6; ++x) // 'a' at x 6 of the picture
        EXPECT_EQ(pel_at(*target, x, 2), pelFmtCTy(pel_FMT_R5G6B5).ColorToPel(argb(6 + x, 2), pel_FMT_X8R8G8B8)) << x;
    std::filesystem::remove(base + ".tga");
    EXPECT_EQ(fntLoad(base.c_str()), nullptr);
    std::vector<uint8_t> wrong = bytes;
    wrong[3] = 2;
    write(base + ".fda", wrong);
    EXPECT_EQ(fntLoad(base.c_str()), nullptr);
    std::filesystem::remove(base + ".fda");
    sprDfStrCTy s;
    EXPECT_EQ(s.AddFont(base.c_str()), 0u);
    s.Printf("abc");
    EXPECT_EQ(s.GetRect().w, 0);
    // A file that is there but cannot be read is not "not found".
    std::filesystem::create_directory(base + ".fda");
    EXPECT_EQ(fntLoad(base.c_str()), nullptr);
    const std::vector<std::string> want = {
        "Font's glyph boxes do not fit its picture : " + base + ".bmp",
        "Font's glyph picture not found : " + base,
        "Wrong font's version : " + base,
        "Font's file not found : " + base + ".fda",
        "Font's file can't be opened : " + base + ".fda (Is a directory)",
    };
    EXPECT_EQ(messages(), want);
    fntListDone();
    std::filesystem::remove_all(dir);
}

// A folder of the test's own for a font's files.
struct FontFolder {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("fnt_files_" + std::to_string(std::rand()));
    std::string base = (dir / "big-digits").string();
    FontFolder() { std::filesystem::create_directories(dir); }
    ~FontFolder() { std::filesystem::remove_all(dir); }
    void write(const std::string& ext, const std::string& bytes) const
    {
        std::ofstream(base + ext, std::ios::binary) << bytes;
    }
};

std::string as_text(const std::vector<uint8_t>& bytes) { return { bytes.begin(), bytes.end() }; }

// An 8-bit TGA glyph picture, colour-mapped or grey, showed a box of the
// alpha atlas's formats naming no file, then drew as it should: it loads
// without a box and draws the picture's own colours.
TEST_F(Fnt, ColourMappedAndGreyTgaPicturesDrawWithoutABox)
{
    const FontFolder folder;
    FontFixture f = make_font(3, 9);
    folder.write(".fda", as_text(record_bytes(f.rec)));
    // Index 0, the background, only left of the first glyph.
    auto index = [](int32_t x, int32_t y) { return x < 5 ? 0u : 1 + uint32_t(x * 37 + y * 11) % 255; };
    auto mapped = [](uint32_t i) { return i << 16 | (i * 5 & 0xFF) << 8 | (255 - i); };
    for (const bool grey : { false, true }) {
        SCOPED_TRACE(grey ? "grey" : "colour-mapped");
        auto colour = [&](uint32_t i) { return grey ? i * 0x010101u : mapped(i); };
        img_test::Tga tga { .type = uint8_t(grey ? 3 : 1),
            .depth = 8,
            .width = uint16_t(f.picture->width),
            .height = 9,
            .descriptor = 0x20 };
        if (!grey) {
            tga.map_type = 1;
            tga.map_length = 256;
            tga.map_bits = 24;
            for (uint32_t i = 0; i < 256; ++i)
                tga.map += { char(colour(i)), char(colour(i) >> 8), char(colour(i) >> 16) };
        }
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < f.picture->width; ++x)
                tga.pixels += char(index(x, y));
        folder.write(".tga", img_test::tga_file(tga));
        std::unique_ptr<fntCTy> font(fntLoad(folder.base.c_str()));
        EXPECT_EQ(messages(), std::vector<std::string> {});
        ASSERT_TRUE(font && font->atlas->kind == img_KIND_ALPHA);
        auto target = make_image(pel_FMT_X8R8G8B8, 30, 9, [](int32_t, int32_t) { return 0u; });
        const rectTy all { 0, 0, 30, 9 };
        fntDrawText(font.get(), "abc", 0, 0, &all, target.get());
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 6; ++x) // 'a' at x 6 of the picture
                EXPECT_EQ(pel_at(*target, x, y) & 0xFFFFFF, colour(index(6 + x, y))) << x << "," << y;
    }
}

// The game's three texts share one font: one that did not load showed the
// same box three times. One report per list; a new list tries again.
TEST_F(Fnt, AFontThatDoesNotLoadIsReportedOncePerList)
{
    const FontFolder folder;
    FontFixture f = make_font(3, 9);
    auto small = make_image(pel_FMT_R5G6B5, 4, 4, [](int32_t, int32_t) { return 0u; });
    ASSERT_EQ(small->SaveBmp((folder.base + ".fnt").c_str()), 0);
    const std::string said[] = { "Font's file not found : " + folder.base + ".fda",
        "Font's glyph boxes do not fit its picture : " + folder.base + ".fnt" };
    for (const std::string& want : said) {
        if (&want != said)
            folder.write(".fda", as_text(record_bytes(f.rec)));
        reports().clear();
        fntListInit();
        for (int text = 0; text < 3; ++text)
            EXPECT_EQ(fntGet("%s", folder.base.c_str()), nullptr);
        EXPECT_EQ(messages(), std::vector<std::string> { want });
        fntListDone();
        fntListInit();
        EXPECT_EQ(fntGet("%s", folder.base.c_str()), nullptr);
        EXPECT_EQ(messages().size(), 2u);
        fntListDone();
    }
}

} // namespace
