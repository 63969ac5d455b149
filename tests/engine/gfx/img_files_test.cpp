// BMP files written and read back at every depth, hand-made BMP headers of
// the common variants, damaged files, the text picture and decoded TGAs.
#include "gfx_test_support.h"
#include "tests/Lib/quarn/src/img/JpegFixtures.h"
#include "tests/Lib/quarn/src/img/TgaWriter.h"
#include "tests/support/refused_calls.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir()
    {
        static int serial = 0;
        path = fs::temp_directory_path() / ("quarn_img_files_" + std::to_string(std::random_device {}()) + "_"
                                            + std::to_string(serial++));
        fs::create_directories(path);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

std::vector<uint8_t> read_file(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void write_file(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The pels of a whole image, row after row without gaps.
std::vector<uint8_t> pels_of(imgCTy& img)
{
    img.Lock(nullptr, img_LOCK_READ);
    const size_t bpp = pelSize(img.pelFmt.format);
    std::vector<uint8_t> out;
    const auto* p = static_cast<const uint8_t*>(img.lockPtr);
    for (int32_t y = 0; p && y < img.height; ++y)
        out.insert(out.end(), p + size_t(y) * size_t(img.pitch) * bpp, p + (size_t(y) * size_t(img.pitch) + size_t(img.width)) * bpp);
    img.Unlock();
    return out;
}

void fill_random(imgRowCTy& img, uint32_t seed)
{
    std::mt19937 rng(seed);
    img.Lock(nullptr, img_LOCK_WRITE);
    auto* p = static_cast<uint8_t*>(img.lockPtr);
    for (size_t i = 0; i < img.BodySize(); ++i)
        p[i] = static_cast<uint8_t>(rng());
    img.Unlock();
}

// A BMP file put together field by field, for the header variants that our
// writer never makes.
struct BmpFileFixture {
    uint32_t infoSize = 40;
    int32_t width = 2;
    int32_t height = 2;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> masks;   // after the 40-byte header or inside a longer one
    std::vector<uint32_t> table;   // colour-table entries written
    uint32_t gap = 0;              // bytes between the table and the pels
    int32_t offBits = -1;          // -1: where the pels really start
    std::vector<uint8_t> pels;     // stored rows, padded by the caller
};

void put(std::vector<uint8_t>& v, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        v.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> make_bmp(const BmpFileFixture& s)
{
    std::vector<uint8_t> info;
    put(info, s.infoSize, 4);
    put(info, uint32_t(s.width), 4);
    put(info, uint32_t(s.height), 4);
    put(info, 1, 2);
    put(info, s.bits, 2);
    put(info, s.compression, 4);
    put(info, uint32_t(s.pels.size()), 4);
    put(info, 2835, 4);
    put(info, 2835, 4);
    put(info, s.coloursUsed, 4);
    put(info, 0, 4);
    std::vector<uint8_t> extra;
    for (uint32_t m : s.masks)
        put(s.infoSize > 40 ? info : extra, m, 4);
    info.resize(std::max<size_t>(info.size(), s.infoSize), 0);
    for (uint32_t c : s.table)
        put(extra, c, 4);
    extra.resize(extra.size() + s.gap, 0xEE);
    const uint32_t start = uint32_t(14 + info.size() + extra.size());
    std::vector<uint8_t> f = { 'B', 'M' };
    put(f, uint32_t(start + s.pels.size()), 4);
    put(f, 0, 4);
    put(f, s.offBits < 0 ? start : uint32_t(s.offBits), 4);
    f.insert(f.end(), info.begin(), info.end());
    f.insert(f.end(), extra.begin(), extra.end());
    f.insert(f.end(), s.pels.begin(), s.pels.end());
    return f;
}

class ImgFilesTest : public GfxTest {
protected:
    TempDir dir;

    int read_bytes(imgRowCTy& img, const std::vector<uint8_t>& bytes)
    {
        return imgReadBmpBytes(&img, bytes.data(), bytes.size());
    }
};

TEST_F(ImgFilesTest, SaveThenLoadAtEveryDepthWithExactSizes)
{
    struct Case {
        uint32_t format;
        int32_t w, h;
        size_t fileSize;      // 54 + masks + colour table + padded rows
        uint32_t readFormat;  // what the file reads back as
    };
    const Case cases[] = {
        { pel_FMT_R8G8B8, 3, 2, 54 + 2 * 12, pel_FMT_R8G8B8 },
        { pel_FMT_R8G8B8, 5, 3, 54 + 3 * 16, pel_FMT_R8G8B8 },
        // Rows go to the file gathered in chunks of 64 KB, or alone when
        // longer: many rows with padding, and rows longer than a chunk.
        { pel_FMT_R8G8B8, 1023, 100, 54 + 100 * 3072, pel_FMT_R8G8B8 },
        { pel_FMT_R8G8B8, 22001, 3, 54 + 3 * 66004, pel_FMT_R8G8B8 },
        { pel_FMT_X8R8G8B8, 3, 3, 54 + 12 + 3 * 12, pel_FMT_X8R8G8B8 },
        { pel_FMT_A8R8G8B8, 7, 1, 54 + 28, pel_FMT_A8R8G8B8 },
        { pel_FMT_R5G6B5, 2, 2, 74, pel_FMT_R5G6B5 },
        { pel_FMT_R5G6B5, 3, 2, 54 + 12 + 2 * 8, pel_FMT_R5G6B5 },
        { pel_FMT_X1R5G5B5, 5, 2, 54 + 2 * 12, pel_FMT_X1R5G5B5 },
        { pel_FMT_A1R5G5B5, 1, 4, 54 + 4 * 4, pel_FMT_X1R5G5B5 },
        { pel_FMT_P8, 3, 3, 54 + 1024 + 3 * 4, pel_FMT_P8 },
        { pel_FMT_P8, 6, 1, 54 + 1024 + 8, pel_FMT_P8 },
        { pel_FMT_Z32, 3, 2, 54 + 24, pel_FMT_A8R8G8B8 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " " << c.w << "x" << c.h);
        imgRowCTy img;
        const pelFmtCTy fmt(c.format);
        img.SetSize(c.w, c.h, &fmt);
        fill_random(img, c.format * 100 + uint32_t(c.w));
        const std::string name = dir.file("pic.bmp");
        ASSERT_EQ(img.SaveBmp(name.c_str()), 0);
        EXPECT_EQ(read_file(name).size(), c.fileSize);
        imgRowCTy back;
        ASSERT_EQ(back.Load(name.c_str()), 0);
        EXPECT_EQ(back.pelFmt.format, c.readFormat);
        EXPECT_EQ(back.width, c.w);
        EXPECT_EQ(back.height, c.h);
        EXPECT_EQ(pels_of(back), pels_of(img));
        if (c.format == pel_FMT_P8) {
            // Without a palette the writer stores a grey ramp.
            ASSERT_NE(back.pelFmt.palette, nullptr);
            ASSERT_EQ(back.pelFmt.palette->count, 256u);
            EXPECT_EQ(back.pelFmt.palette->entries[0x42], 0xFF424242u);
        }
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgFilesTest, PaletteRoundTripAndTheTemporaryFileIsGone)
{
    palCTy pal;
    const uint32_t colours[3] = { 0x00112233, 0x00445566, 0x00FF0000 };
    pal.Set(colours, 3);
    imgRowCTy img;
    pelFmtCTy fmt(pel_FMT_P8, &pal);
    img.SetSize(5, 2, &fmt);
    img.Fill(2, nullptr);
    const std::string name = dir.file("pal.bmp");
    write_file(name, { 'o', 'l', 'd' });
    ASSERT_EQ(img.SaveBmp(name.c_str()), 0);
    EXPECT_EQ(read_file(name).size(), 54u + 12 + 2 * 8);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator {}), 1);
    imgRowCTy back;
    ASSERT_EQ(back.Load(name.c_str()), 0);
    ASSERT_EQ(back.pelFmt.palette->count, 3u);
    EXPECT_EQ(back.ColorAtXY(4, 1), 0xFFFF0000u);

    // On a file system that keeps no modes (vfat, CIFS) a screenshot was
    // made, refused its mode and removed.
    const std::string shot = dir.file("shot.bmp");
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(test_support::refuse_modes() && img.SaveBmpNew(shot.c_str()) == 0 ? 0 : 1);
    int status = -1;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(shot), read_file(name));
}

// A name made from a setting is one file name in the folder given, taken
// as it is: a name of the most bytes the save's temporary names leave room
// for is made, also through the last temporary name ("<name>.99.tmp~").
// What is no one name is refused, with nothing made anywhere; a name that
// is there (one that appeared after the free number was looked up) keeps
// its file.
TEST_F(ImgFilesTest, ANameInAFolderIsOneFileNameTakenAsItIs)
{
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R8G8B8);
    img.SetSize(2, 2, &fmt);
    fs::create_directory(dir.file("game"));
    fs::create_directory(dir.file("game/sub"));
    const struct {
        std::string name;
        int result;
        int temporaries_taken = 0; // leftovers "<name>.tmp~", "<name>.1.tmp~", ...
        bool there = false;        // a file "old" has the name
    } rows[] = {
        {"\\" + std::string(imgSaveNameMost - 1, 'n'), 0, 99},
        {"Quarn Race_0.bmp", ERR_CREATE, 0, true},
        {"sub/x.bmp", ERR_CREATE},
        {"../x.bmp", ERR_CREATE},
        {"..", ERR_CREATE},
        {".", ERR_CREATE},
        {"", ERR_CREATE},
    };
    size_t files = 1;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.substr(0, 20));
        for (int n = 0; n < row.temporaries_taken; ++n) {
            std::string taken = "game/" + row.name;
            if (n > 0)
                taken.append(".").append(std::to_string(n));
            write_file(dir.file(taken.append(".tmp~")), {'x'});
        }
        if (row.there)
            write_file(dir.file("game/" + row.name), {'o', 'l', 'd'});
        EXPECT_EQ(img.SaveBmpNewIn(dir.file("game").c_str(), row.name.c_str()), row.result);
        files += size_t(row.temporaries_taken) + (row.result == 0 || row.there ? 1 : 0);
        if (row.result == 0 || row.there) {
            EXPECT_EQ(read_file(dir.file("game/" + row.name)).size(), row.there ? 3u : 54u + 2 * 8);
        }
    }
    EXPECT_EQ(size_t(std::distance(fs::directory_iterator(dir.file("game")), fs::directory_iterator {})), files);
    EXPECT_TRUE(fs::is_empty(dir.file("game/sub")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator {}), 1);
}

TEST_F(ImgFilesTest, SaveReportsWhatCannotBeWritten)
{
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R8G8B8);
    img.SetSize(2, 2, &fmt);
    EXPECT_EQ(img.SaveBmp(dir.file("missing/x.bmp").c_str()), ERR_CREATE);
    imgRowCTy empty;
    EXPECT_EQ(empty.SaveBmp(dir.file("e.bmp").c_str()), ERR_DATA);
    EXPECT_FALSE(fs::exists(dir.file("e.bmp")));
    // The save that never replaces keeps what has the name, and leaves no
    // temporary file beside it.
    write_file(dir.file("taken.bmp"), { 'o', 'l', 'd' });
    EXPECT_EQ(img.SaveBmpNew(dir.file("taken.bmp").c_str()), ERR_CREATE);
    EXPECT_EQ(read_file(dir.file("taken.bmp")).size(), 3u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator {}), 1);
    ASSERT_EQ(reports().size(), 3u);
    EXPECT_EQ(reports()[0].code, ERR_CREATE);
    // Another user's picture in a folder every user may write to is theirs:
    // the save that replaces took it over. Only root can give it away.
    const std::string theirs = dir.file("shared/theirs.bmp");
    fs::create_directory(dir.file("shared"));
    fs::permissions(dir.file("shared"), fs::perms(0777));
    write_file(theirs, { 'o', 'l', 'd' });
    if (::chown(theirs.c_str(), 65534, 65534) == 0) {
        EXPECT_EQ(img.SaveBmp(theirs.c_str()), ERR_CREATE);
        EXPECT_EQ(read_file(theirs).size(), 3u);
    }
}

// With every temporary name taken, a screenshot said "Can't create file
// 'Quarn Race_0.bmp': File exists", of a name that did not exist. The
// report names the first name taken and whose it is: another user's
// first, as theirs to remove.
TEST_F(ImgFilesTest, EveryTemporaryNameTakenIsNamedWithItsOwner)
{
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R8G8B8);
    img.SetSize(2, 2, &fmt);
    const struct {
        const char* what;
        int others_from; // the first name given to another user; 100: none
        const char* said;
    } rows[] = {
        {"the player's own", 100, "Every name for a new file is taken, the first ('@shot.bmp.tmp~', yours): remove "
                                  "those names"},
        {"another user's from the 50th on", 50, "Owned by another user ('@shot.bmp.50.tmp~', user nobody (uid "
                                                "65534)): make it yours, or remove it"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.others_from < 100 && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a name away\n", row.what);
            continue;
        }
        const fs::path folder = dir.path / std::to_string(row.others_from);
        fs::create_directory(folder);
        for (int n = 0; n < 100; ++n) {
            const fs::path taken = folder / (n == 0 ? "shot.bmp.tmp~" : "shot.bmp." + std::to_string(n) + ".tmp~");
            write_file(taken.string(), {'x'});
            if (n >= row.others_from) {
                ASSERT_EQ(::chown(taken.c_str(), 65534, 65534), 0);
            }
        }
        reports().clear();
        const std::string shot = (folder / "shot.bmp").string();
        EXPECT_EQ(img.SaveBmpNew(shot.c_str()), ERR_CREATE);
        EXPECT_FALSE(fs::exists(shot));
        std::string said = row.said;
        said.replace(said.find('@'), 1, folder.string() + "/");
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0].text, "Can't create file '" + shot + "': " + said);
    }
}

// A saved picture's name is a title's or a folder's: shown, ESC and
// U+202E written out. A long title's name cut the message at 511 bytes,
// inside a letter, and so did the first temporary name a reason quotes
// when every one is taken: the whose and the way out were lost.
TEST_F(ImgFilesTest, AFailedSavesNamesAreShownAndItsReasonKeptWhole)
{
    const std::string hostile = "a\x1b[2J\xe2\x80\xae", shown = "a\\x1b[2J\\u202e", a230(230, 'a');
    const struct {
        int code; // 0: SaveBmpNew with every temporary name taken
        std::string name;
        int error;
        std::string said;
    } rows[] = {
        {ERR_CREATE, hostile + ".bmp", EACCES, "Can't create file '" + shown + ".bmp': Permission denied"},
        {ERR_WRITE, hostile + ".bmp", ENOSPC, "Can't write to file '" + shown + ".bmp': No space left on device"},
        {ERR_CREATE, std::string(600, 'a') + hostile + ".bmp", EACCES,
         "Can't create file '" + std::string(156, 'a') + "..." + std::string(295, 'a') + shown +
             ".bmp': Permission denied"},
        {0, "t/" + a230 + hostile + ".bmp", 0,
         "Can't create file 't/" + a230 + shown + ".bmp': Every name for a new file is taken, the first ('t/" +
             std::string(50, 'a') + "..." + std::string(82, 'a') + shown + ".bmp.tmp~', yours): remove those names"},
    };
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R8G8B8);
    img.SetSize(2, 2, &fmt);
    const fs::path start = fs::current_path();
    fs::current_path(dir.path);
    fs::create_directory("t");
    for (const auto& row : rows) {
        reports().clear();
        for (int n = 0; n < (row.code ? 0 : 100); ++n)
            write_file(row.name + (n == 0 ? std::string() : '.' + std::to_string(n)) + ".tmp~", {'x'});
        (void)(row.code ? gfxReportFileFailure(row.code, row.name.c_str(), row.error)
                        : img.SaveBmpNew(row.name.c_str()));
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0].text, row.said);
    }
    fs::current_path(start);
}

// A picture written through a group member's link, in the group's folder:
// the member could aim it at any folder of the player's. The player's own
// link there is written through.
TEST_F(ImgFilesTest, APictureIsWrittenThroughNoMembersLink)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a name away";
    imgRowCTy img;
    const pelFmtCTy fmt(pel_FMT_R8G8B8);
    img.SetSize(2, 2, &fmt);
    const fs::path group = dir.path / "group";
    fs::create_directories(group / "mine");
    fs::permissions(group, fs::perms(02775));
    fs::create_directory_symlink("mine", group / "theirs");
    ASSERT_EQ(::lchown((group / "theirs").c_str(), 65534, 65534), 0);
    fs::create_directory_symlink("mine", group / "own");
    const struct {
        const char* through;
        int result;
        const char* said;
    } rows[] = {
        {"theirs", ERR_CREATE,
         "Owned by another user ('@theirs', a link of user nobody (uid 65534)): make it yours, or remove it"},
        {"own", 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.through);
        reports().clear();
        const std::string shot = (group / row.through / "shot.bmp").string();
        EXPECT_EQ(img.SaveBmpNew(shot.c_str()), row.result);
        EXPECT_EQ(fs::exists(group / "mine" / "shot.bmp"), row.result == 0);
        if (row.said) {
            std::string said = row.said;
            said.replace(said.find('@'), 1, group.string() + "/");
            ASSERT_EQ(reports().size(), 1u);
            EXPECT_EQ(reports()[0].text, "Can't create file '" + shot + "': " + said);
        }
    }
}

TEST_F(ImgFilesTest, HeaderVariantsReadTheSamePels)
{
    // A 3 x 2 24-bit picture: rows of 9 bytes padded to 12, stored bottom-up.
    const std::vector<uint8_t> bottomUp = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0 };
    const std::vector<uint8_t> top = { 11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    struct Case {
        const char* what;
        BmpFileFixture spec;
    };
    BmpFileFixture plain { .width = 3, .pels = bottomUp };
    BmpFileFixture v5 = plain;
    v5.infoSize = 124;
    v5.gap = 6; // bfOffBits points past a gap: the pels start there
    BmpFileFixture v4 = plain;
    v4.infoSize = 108;
    BmpFileFixture topDown = plain;
    topDown.height = -2;
    topDown.pels = { 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0 };
    BmpFileFixture noLastPad = plain;
    noLastPad.pels.resize(21);
    for (const Case& c : { Case { "40-byte header", plain }, Case { "V5 header with a gap", v5 },
                           Case { "V4 header", v4 }, Case { "top-down", topDown },
                           Case { "last row without padding", noLastPad } }) {
        SCOPED_TRACE(c.what);
        imgRowCTy img;
        ASSERT_EQ(read_bytes(img, make_bmp(c.spec)), 0);
        EXPECT_EQ(img.pelFmt.format, pel_FMT_R8G8B8);
        EXPECT_EQ(pels_of(img), top);
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(ImgFilesTest, MasksChooseTheFormat)
{
    struct Case {
        uint32_t infoSize;
        uint16_t bits;
        std::vector<uint32_t> masks;
        uint32_t format; // 0: refused
    };
    const Case cases[] = {
        { 40, 16, { 0xF800, 0x07E0, 0x001F }, pel_FMT_R5G6B5 },
        { 40, 16, { 0x7C00, 0x03E0, 0x001F }, pel_FMT_X1R5G5B5 },
        { 56, 16, { 0x7C00, 0x03E0, 0x001F, 0x8000 }, pel_FMT_X1R5G5B5 },
        { 40, 32, { 0xFF0000, 0xFF00, 0xFF }, pel_FMT_X8R8G8B8 },
        { 124, 32, { 0xFF0000, 0xFF00, 0xFF, 0xFF000000 }, pel_FMT_A8R8G8B8 },
        { 40, 16, { 0, 0x07E0, 0x001F }, 0 },          // zero mask
        { 40, 16, { 0xF800, 0xF800, 0x001F }, 0 },     // overlapping masks
        { 40, 16, { 0x001F, 0x07E0, 0xF800 }, 0 },     // blue and red swapped
        { 40, 24, { 0xFF0000, 0xFF00, 0xFF }, 0 },     // bit fields at 24 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, first mask " << std::hex << c.masks[0]);
        reports().clear();
        BmpFileFixture s { .infoSize = c.infoSize, .bits = c.bits, .compression = 3, .masks = c.masks };
        s.pels.assign(c.bits == 16 ? 8 : c.bits == 24 ? 16 : 16, 0x5A);
        imgRowCTy img;
        const int rc = read_bytes(img, make_bmp(s));
        if (c.format) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(img.pelFmt.format, c.format);
        } else {
            EXPECT_EQ(rc, ERR_DATA);
            ASSERT_EQ(reports().size(), 1u);
            EXPECT_EQ(reports()[0].code, ERR_DATA);
        }
    }
}

TEST_F(ImgFilesTest, EightBitTablesShortOrCounted)
{
    const std::vector<uint8_t> pels = { 0, 1, 0, 0, 1, 0, 0, 0 }; // 2 x 2, rows of 4
    // Colours used 0 with only two entries before bfOffBits: the pels start
    // there and the table holds what fits.
    BmpFileFixture shortTable { .width = 2, .bits = 8, .table = { 0x00FF0000, 0x000000FF }, .pels = pels };
    imgRowCTy img;
    ASSERT_EQ(read_bytes(img, make_bmp(shortTable)), 0);
    ASSERT_EQ(img.pelFmt.palette->count, 2u);
    EXPECT_EQ(img.ColorAtXY(0, 0), 0xFF000000u | 0x0000FF);
    EXPECT_EQ(img.ColorAtXY(1, 0), 0xFFFF0000u);
    // A counted table of 16 entries gets 16 entries.
    BmpFileFixture counted = shortTable;
    counted.coloursUsed = 16;
    counted.table.resize(16, 0x00808080);
    ASSERT_EQ(read_bytes(img, make_bmp(counted)), 0);
    EXPECT_EQ(img.pelFmt.palette->count, 16u);
    EXPECT_TRUE(reports().empty());
}

// "Data error in file" alone left the player to guess what was wrong with
// the picture: each refusal says why after it.
TEST_F(ImgFilesTest, DamagedFilesAreRefusedWithDataErrorAndWhy)
{
    BmpFileFixture good { .width = 3, .pels = std::vector<uint8_t>(24, 7) };
    const std::vector<uint8_t> valid = make_bmp(good);
    auto with = [&](auto change) {
        BmpFileFixture s = good;
        change(s);
        return make_bmp(s);
    };
    auto as_bytes = [](const std::string& file) { return std::vector<uint8_t>(file.begin(), file.end()); };
    std::vector<uint8_t> magic = valid;
    magic[1] = 'A';
    const struct {
        const char* what;
        const char* file; // by its extension, the loader
        std::vector<uint8_t> bytes;
        const char* why;
    } rows[] = {
        { "empty", "a.bmp", {}, "the file is empty" },
        { "cut in the header", "a.bmp", std::vector<uint8_t>(valid.begin(), valid.begin() + 30),
            "the file ends inside its headers" },
        { "cut in the pels", "a.bmp", std::vector<uint8_t>(valid.begin(), valid.end() - 4),
            "the file is cut short: its pels need 21 bytes, 20 are there" },
        { "4 bits", "a.bmp", with([](BmpFileFixture& s) { s.bits = 4; }), "4-bit BMPs are not supported" },
        { "1 bit", "a.bmp", with([](BmpFileFixture& s) { s.bits = 1; }), "1-bit BMPs are not supported" },
        { "RLE8", "a.bmp", with([](BmpFileFixture& s) {
             s.bits = 8;
             s.compression = 1;
             s.table = { 0 };
         }),
            "RLE8 BMPs are not supported" },
        { "RLE4", "a.bmp", with([](BmpFileFixture& s) {
             s.bits = 4;
             s.compression = 2;
         }),
            "RLE4 BMPs are not supported" },
        { "OS/2 header", "a.bmp", with([](BmpFileFixture& s) { s.infoSize = 12; }), "OS/2 BMPs are not supported" },
        { "header of 200 bytes", "a.bmp", with([](BmpFileFixture& s) { s.infoSize = 200; }),
            "a header of 200 bytes is none of the BMP headers" },
        { "colours used 257", "a.bmp", with([](BmpFileFixture& s) {
             s.bits = 8;
             s.coloursUsed = 257;
         }),
            "its colour table has 257 colours, at most 256" },
        { "huge colours used", "a.bmp", with([](BmpFileFixture& s) {
             s.bits = 8;
             s.coloursUsed = 0xFFFFFFF0;
         }),
            "its colour table has 4294967280 colours, at most 256" },
        { "table at 24 bits", "a.bmp", with([](BmpFileFixture& s) {
             s.coloursUsed = 2;
             s.table = { 1, 2 };
         }),
            "a colour table beside 24-bit colours" },
        { "width 0", "a.bmp", with([](BmpFileFixture& s) { s.width = 0; }), "the picture is 0 pels wide" },
        { "negative width", "a.bmp", with([](BmpFileFixture& s) { s.width = -3; }), "the picture is -3 pels wide" },
        { "height INT32_MIN", "a.bmp", with([](BmpFileFixture& s) { s.height = INT32_MIN; }),
            "the picture is 2147483648 pels high, at most 32768" },
        { "huge size", "a.bmp", with([](BmpFileFixture& s) {
             s.width = 40000;
             s.height = 40000;
         }),
            "the picture is 40000 pels wide, at most 32768" },
        { "over the byte cap", "a.bmp", with([](BmpFileFixture& s) {
             s.width = 32768;
             s.height = 32768;
             s.bits = 32;
         }),
            "the picture is 32768 x 32768 pels of 4 bytes, more than 1073741824 bytes" },
        { "bad magic", "a.bmp", magic, "not a BMP picture: it does not begin with 'BM'" },
        { "JPEG 40000 wide", "a.jpg", as_bytes(img_test::jpeg_file(40000, 1, std::vector<uint8_t>(40000 * 3, 90))),
            "the picture is 40000 pels wide, at most 32768" },
        { "JPEG 40000 high", "a.jpg", as_bytes(img_test::jpeg_file(1, 40000, std::vector<uint8_t>(40000 * 3, 90))),
            "the picture is 40000 pels high, at most 32768" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string name = dir.file(row.file);
        write_file(name, row.bytes);
        reports().clear();
        imgRowCTy img;
        const std::string file = row.file;
        EXPECT_EQ(file.ends_with(".jpg") ? img.LoadJpg(name.c_str()) : img.Load(name.c_str()), ERR_DATA);
        EXPECT_EQ(img.pels, nullptr);
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0].code, ERR_DATA);
        EXPECT_EQ(reports()[0].text, "Data error in file '" + name + "': " + row.why);
    }
    // Every cut of a valid file reads whole or is refused, never past its end.
    for (size_t n = 0; n < valid.size(); ++n) {
        imgRowCTy img;
        const std::vector<uint8_t> cut(valid.begin(), valid.begin() + ptrdiff_t(n));
        EXPECT_EQ(read_bytes(img, cut), n + 3 >= valid.size() ? 0 : ERR_DATA) << n;
    }
}

// A picture past the decoders' size limit is refused with its size and the
// limit, as the layer's own size refusals are: "JPEG picture too large"
// left the player to guess which picture, and by how much.
TEST_F(ImgFilesTest, APictureTooLargeToDecodeSaysItsSizeAndTheLimit)
{
    const std::string small_jpeg = img_test::jpeg_file(16, 16, std::vector<uint8_t>(16 * 16 * 3, 90));
    const struct {
        const char* file;
        std::string bytes;
        const char* why;
    } rows[] = {
        {"bkg.jpg", img_test::with_frame_size(small_jpeg, 30000, 30000),
         "the JPEG picture is 30000 x 30000 pels of 3 bytes, more than 1073741824 bytes"},
        {"font.tga", img_test::tga_file({.type = 2, .depth = 16, .width = 65535, .height = 6000}),
         "the TGA picture is 65535 x 6000 pels of 3 bytes, more than 1073741824 bytes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string name = dir.file(row.file);
        write_file(name, std::vector<uint8_t>(row.bytes.begin(), row.bytes.end()));
        reports().clear();
        imgRowCTy img;
        EXPECT_EQ(name.ends_with(".jpg") ? img.LoadJpg(name.c_str()) : img.LoadTga(name.c_str()), ERR_DATA);
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0].text, name + ": " + row.why);
    }
}

// The box names the picture and why it did not open: the name alone left
// the player to guess between a missing file, a folder in its place and
// a refusal.
TEST_F(ImgFilesTest, LoadReportsAMissingFileWithItsName)
{
    fs::create_directory(dir.file("folder.jpg"));
    const struct {
        const char* name;
        std::function<int(const char*)> load;
        const char* why;
    } rows[] = {
        {"nothing.bmp", [](const char* name) { return imgRowCTy().Load(name); }, "No such file or directory"},
        {"nothing.jpg", [](const char* name) { return imgRowCTy().LoadJpg(name); }, "No such file or directory"},
        {"folder.jpg", [](const char* name) { return imgRowCTy().LoadJpg(name); }, "Is a directory"},
        {"nothing.tga", [](const char* name) { return imgAlpha().LoadTga(name); }, "No such file or directory"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        reports().clear();
        const std::string name = dir.file(row.name);
        EXPECT_EQ(row.load(name.c_str()), ERR_OPEN);
        ASSERT_EQ(reports().size(), 1u);
        EXPECT_EQ(reports()[0].code, ERR_OPEN);
        EXPECT_EQ(reports()[0].text, "Can't open file '" + name + "': " + row.why);
    }
}

TEST_F(ImgFilesTest, ImageMagickBmpsDecodeToTheSamePels)
{
    // A 5 x 3 gradient as a PPM, turned into BMPs of several kinds.
    std::vector<uint8_t> ppm = { 'P', '6', '\n', '5', ' ', '3', '\n', '2', '5', '5', '\n' };
    std::vector<uint8_t> bgr;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t r = uint8_t(x * 50), g = uint8_t(y * 100), b = uint8_t(200 - x * 20);
            ppm.insert(ppm.end(), { r, g, b });
            bgr.insert(bgr.end(), { b, g, r });
        }
    write_file(dir.file("in.ppm"), ppm);
    struct Case {
        const char* output;
        uint32_t format;
    };
    for (const Case& c : { Case { "BMP3:a.bmp", pel_FMT_R8G8B8 }, Case { "BMP:b.bmp", pel_FMT_R8G8B8 } }) {
        const std::string out = c.output;
        const std::string file = dir.file(out.substr(out.find(':') + 1));
        const std::string cmd = "convert " + dir.file("in.ppm") + " -type TrueColor " + out.substr(0, out.find(':') + 1)
            + file + " > /dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0 || !fs::exists(file))
            GTEST_SKIP() << "ImageMagick's convert is not available";
        imgRowCTy img;
        ASSERT_EQ(img.Load(file.c_str()), 0) << c.output;
        EXPECT_EQ(img.pelFmt.format, c.format);
        EXPECT_EQ(pels_of(img), bgr) << c.output;
    }
}

TEST_F(ImgFilesTest, TextPicturesAndTheirFaults)
{
    const std::string name = dir.file("depth.txt");
    write_file(name, { '2', '\n', '1', '\n', '0', '.', '5', '\n', '0', '\n' });
    imgRowCTy img;
    ASSERT_EQ(img.LoadTxt(name.c_str()), 0);
    EXPECT_EQ(img.pelFmt.format, pel_FMT_Z32);
    EXPECT_EQ(img.PelAtXY(0, 0), 32768u);
    EXPECT_EQ(img.PelAtXY(1, 0), 0x8AD00000u);
    for (const char* text : { "2\n1\n0.5\n", "x\n", "0\n5\n", "-1\n1\n1\n", "100000\n1\n", "3000\n3000\n1\n",
                              "1\n1\nnan\n" }) {
        SCOPED_TRACE(text);
        reports().clear();
        write_file(name, std::vector<uint8_t>(text, text + std::strlen(text)));
        imgRowCTy bad;
        EXPECT_EQ(bad.LoadTxt(name.c_str()), ERR_DATA);
        EXPECT_EQ(bad.pels, nullptr);
    }
    imgRowCTy none;
    EXPECT_EQ(none.LoadTxt(dir.file("none.txt").c_str()), ERR_OPEN);
}

TEST_F(ImgFilesTest, ColourMappedTgaKeepsItsPalette)
{
    // Image type 1: an 18-byte header, a colour map of two 24-bit entries,
    // 2 x 1 index pels.
    const std::vector<uint8_t> tga = { 0, 1, 1, 0, 0, 2, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0,
                                       0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 1, 0 };
    const std::string name = dir.file("p.tga");
    write_file(name, tga);
    imgRowCTy img;
    ASSERT_EQ(img.LoadTga(name.c_str()), 0);
    EXPECT_EQ(img.pelFmt.format, pel_FMT_P8);
    ASSERT_NE(img.pelFmt.palette, nullptr);
    EXPECT_EQ(img.ColorAtXY(0, 0), 0xFF605040u);
    EXPECT_EQ(img.ColorAtXY(1, 0), 0xFF302010u);
    // A damaged one is an ERR_DATA report carrying the decoder's reason.
    write_file(name, { 0, 0, 77, 0, 0, 0 });
    EXPECT_EQ(img.LoadTga(name.c_str()), ERR_DATA);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_NE(reports()[0].text.find("p.tga: "), std::string::npos);
    EXPECT_EQ(img.LoadJpg(name.c_str()), ERR_DATA);
}

} // namespace
