#include "engine/base/cfg_internal.h"
#include "files_test_support.h"
#include "tests/support/as_unprivileged.h"
#include "tests/support/refused_calls.h"
#include "tests/support/own_device.h"
#include "tests/support/refused_calls.h"

#include "platform/process.h"
#include "platform/trust.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using test_support::as_unprivileged;

// Makes fallocate fail in this process as it does on a file system that
// cannot reserve space (ext2, NFS before 4.2), where the C library reserves
// by reading and writing a byte of each block instead. False where no
// filter can be set.
bool refuse_fallocate()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fallocate, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program {static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

// The rows of a test of the reserve: with fallocate, and without it where
// a filter can be set in a child run in `folder` (the output says so
// where it cannot).
std::vector<bool> with_and_without_fallocate(const std::filesystem::path& folder)
{
    if (as_unprivileged(folder, refuse_fallocate))
        return {false, true};
    std::printf("the row without fallocate is skipped: no system call filter can be set\n");
    return {false};
}

// `text` in UTF-16 (`width` 2) or UTF-32 (4), little- or big-endian: the
// bytes an editor writes, made here letter by letter from the code points.
std::string encoded(const std::u32string& text, int width, bool big)
{
    std::vector<uint32_t> units;
    for (const char32_t letter : text) {
        if (width == 2 && letter > 0xFFFF) {
            units.push_back(0xD800 + ((letter - 0x10000) >> 10));
            units.push_back(0xDC00 + ((letter - 0x10000) & 0x3FF));
        } else
            units.push_back(letter);
    }
    std::string bytes;
    for (const uint32_t unit : units)
        for (int i = 0; i < width; ++i)
            bytes += static_cast<char>(unit >> (8 * (big ? width - 1 - i : i)) & 0xFF);
    return bytes;
}

// The length of the UTF-8 letter at the start of `text`, by the table of
// well-formed byte sequences (Unicode, table 3-7); 0 where none begins
// there (a byte that begins no letter, a letter cut short).
size_t utf8_letter_length(std::string_view text)
{
    static constexpr struct {
        unsigned char first_lo, first_hi, second_lo, second_hi;
        size_t length;
    } forms[] = {
        {0x00, 0x7F, 0x00, 0x00, 1}, {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
        {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
        {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (const auto& form : forms) {
        if (text.empty() || byte(0) < form.first_lo || byte(0) > form.first_hi)
            continue;
        if (text.size() < form.length ||
            (form.length > 1 && (byte(1) < form.second_lo || byte(1) > form.second_hi)))
            return 0;
        for (size_t i = 2; i < form.length; ++i)
            if (byte(i) < 0x80 || byte(i) > 0xBF)
                return 0;
        return form.length;
    }
    return 0;
}

// The longest start of the UTF-8 text `text` that has at most `room`
// bytes and ends between two letters.
std::string whole_letters_within(const std::string& text, size_t room)
{
    size_t end = 0;
    while (end < text.size()) {
        const size_t length = utf8_letter_length(std::string_view(text).substr(end));
        if (length == 0 || end + length > room)
            break;
        end += length;
    }
    return text.substr(0, end);
}

bool valid_utf8(std::string_view text)
{
    for (size_t length; !text.empty(); text.remove_prefix(length))
        if ((length = utf8_letter_length(text)) == 0)
            return false;
    return true;
}

class CfgTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        errInitFileMessages();
        cfgWriteFailAfterForTest = -1;
    }
    void TearDown() override
    {
        cfgWriteFailAfterForTest = -1;
        BaseTest::TearDown();
    }

    // Loads `text` into `cfg` from a file.
    void load(cfgCTy& cfg, const std::string& text)
    {
        write_text(dir.file("in.cfg"), text);
        ASSERT_EQ(cfg.Load(dir.file("in.cfg").c_str()).read, cfgReadTy::whole);
    }

    std::string box_texts() const
    {
        std::string all;
        for (const auto& box : platform::shown_boxes())
            all += box.text + "\n";
        return all;
    }

    ScratchDir dir;
};

TEST_F(CfgTest, ParseRules)
{
    struct Case {
        const char* line;
        const char* name; // null: nothing is set
        const char* value;
    };
    const Case cases[] = {
        { "  Name  =  some value  ", "Name", "some value" },
        { "a = x--y", "a", "x" },
        { "a = x -- y", "a", "x" },
        { "-- note", nullptr, nullptr },
        { "   ", nullptr, nullptr },
        { "", nullptr, nullptr },
        { "a =", "a", "" },
        { "a =   ", "a", "" },
        { "a = b = c", "a", "b = c" },
        { "x y = 1", "x y", "1" },
        { "\tkey\t=\tv a l\t", "key", "v a l" },
        { "crlf = 5\r", "crlf", "5" },
        // A CR alone ends a line too: read as part of it, the whole file
        // was one comment.
        { "-- settings\rbest_result = 1", "best_result", "1" },
        { "k=v", "k", "v" },
        { "path = c:\\games\\race", "path", "c:\\games\\race" },
        // A byte order mark before the first line, as some editors save it.
        { "\xEF\xBB\xBF" "best_result = 1", "best_result", "1" },
        { "\xEF\xBB\xBF" "-- note", nullptr, nullptr },
        // Marks before a name are no part of it: a save writes the name
        // first on a line, where the next load would drop a mark.
        { "\xEF\xBB\xBF\xEF\xBB\xBF" "best_result = 1", "best_result", "1" },
        { " \xEF\xBB\xBF" "key\xEF\xBB\xBF = 2", "key\xEF\xBB\xBF", "2" },
        // UTF-16's mark before UTF-8 text: no part of the key either.
        { "\xFF\xFE" "best_result = 1", "best_result", "1" },
    };
    for (const auto& c : cases) {
        cfgCTy cfg;
        load(cfg, std::string(c.line) + "\n");
        if (!c.name) {
            EXPECT_EQ(cfg.Count(), 0u) << c.line;
            continue;
        }
        ASSERT_EQ(cfg.Count(), 1u) << c.line;
        EXPECT_STREQ(cfg.At(0)->name, c.name) << c.line;
        EXPECT_STREQ(cfg.At(0)->Text(), c.value) << c.line;
    }
    EXPECT_TRUE(boxes().empty());
}

// A bad line must not cost the settings after it: they would take their
// defaults and the save at exit would write the defaults over them.
TEST_F(CfgTest, BadLinesAreReportedWithFileAndLineAndTheLoadGoesOn)
{
    using namespace std::string_literals;
    // Lines with NULs, what a crash leaves, are damaged whatever else they
    // hold: taken, they saved the value with U+FFFD in it, or the key.
    for (const auto& [bad, message] : { std::pair<std::string, std::string> { "=5", "Empty variable name" },
             { "  = x", "Empty variable name" }, { "abc", "Invalid line" }, { "abc -- = comment", "Invalid line" },
             { "snd_volume 50", "Invalid line" }, { "best_result = 123\0\0" "456"s, "Invalid line" },
             { "snd_\0volume = 37"s, "Invalid line" } }) {
        platform::clear_shown_boxes();
        cfgCTy cfg;
        load(cfg, "first = 1\r\n-- a comment\r\n" + bad + "\r\nlater = 2\r\n");
        EXPECT_EQ(cfg.GetInt("first"), 1) << bad;
        EXPECT_EQ(cfg.GetInt("later"), 2) << bad;
        EXPECT_EQ(cfg.Count(), 2u) << bad;
        ASSERT_EQ(boxes().size(), 1u) << bad;
        const std::string text = boxes()[0].text;
        std::string shown; // a NUL shows as U+FFFD
        for (const char c : bad)
            shown += c == '\0' ? "\xEF\xBF\xBD"s : std::string(1, c);
        EXPECT_NE(text.find("\n" + message), std::string::npos) << text;
        EXPECT_NE(text.find(" '" + dir.file("in.cfg") + "', line 3: " + shown + "\n"), std::string::npos) << text;
    }
}

TEST_F(CfgTest, BadLinesInsideATryFrameAreShownAndSkipped)
{
    cfgCTy cfg;
    write_text(dir.file("in.cfg"), "a = 1\n=oops\nb = 2\nnothing\nc = 3\n");
    const int code = errTry([&] { EXPECT_EQ(cfg.Load(dir.file("in.cfg").c_str()).read, cfgReadTy::whole); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(cfg.GetInt("a") + cfg.GetInt("b") + cfg.GetInt("c"), 6);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_NE(boxes()[0].text.find("', line 2: =oops"), std::string::npos) << boxes()[0].text;
    EXPECT_NE(boxes()[1].text.find("', line 4: nothing"), std::string::npos) << boxes()[1].text;
    // The frame is whole again: a later report still unwinds to it.
    EXPECT_EQ(errTry([] { (void)errReport(ERR_DATA); }), ERR_DATA);
}

TEST_F(CfgTest, OverlongLinesAreCutAndTheirRestDropped)
{
    // The rest of a long line must not come back as a line of its own
    // (here it would be reported as "Invalid line").
    const std::string long_value(3000, 'v');
    cfgCTy cfg;
    load(cfg, "long = " + long_value + "tail\nnext = 7\n");
    EXPECT_EQ(boxes().size(), 1u); // the cut, named by its key
    EXPECT_EQ(std::string(cfg.GetStr("long")), long_value.substr(0, CFG_LINE_SIZE - 1 - 7));
    EXPECT_EQ(cfg.GetInt("next"), 7);

    // A NUL byte reads as three; one just before the cut must not overrun
    // the line.
    for (size_t at = CFG_LINE_SIZE - 5; at < CFG_LINE_SIZE; ++at) {
        std::string line = "near = " + std::string(at - 7, 'v');
        line += '\0';
        load(cfg, line + "tail\n");
        EXPECT_LT(std::strlen(cfg.GetStr("near")), size_t {CFG_LINE_SIZE});
    }
}

// A value cut inside a letter was saved back as text that is no UTF-8,
// and nothing was said. Letters of one to four bytes, cut or not: the
// value keeps the whole letters that fit the line, and a cut names its key.
TEST_F(CfgTest, ALongValueIsCutBetweenLettersAndNamedByItsKey)
{
    const std::string head = "title = ";
    const size_t room = CFG_LINE_SIZE - 1 - head.size(); // bytes a value may have
    // A long comment or blanks after a value lose nothing of it.
    const std::string long_comment = " -- " + std::string(2000, 'c'), blanks(2000, ' ');
    const struct {
        std::string letters; // repeated `count` times
        size_t count;
        std::string after = ""; // the line's text after the value
        size_t lead_ins = 1;    // run after 0 ... lead_ins - 1 one-byte letters, which move the cut
    } cases[] = {
        {"v", 3000}, {"\xC3\xA9", 600}, {"\xE4\xB8\xAD", 400}, {"\xF0\x9F\x98\x80", 300},
        {"\xC3\xA9", room / 2}, {"\xE4\xB8\xAD", room / 3}, {"v", room}, {"v", room + 1},
        {"v", 5, long_comment}, {"\xC3\xA9", room / 2, long_comment}, {"v", 5, blanks}, {"v", room - 1, " --x"},
        {"v", room - 2, " --x"}, // the comment's "--" across the cut
        // Letters of every width, 10 bytes in all: the cut meets each at
        // every byte of it.
        {"v\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", 200, "", 10},
    };
    for (const auto& c : cases) {
        for (size_t lead_in = 0; lead_in < c.lead_ins; ++lead_in) {
            std::string value(lead_in, 'v');
            for (size_t i = 0; i < c.count; ++i)
                value += c.letters;
            SCOPED_TRACE(std::to_string(c.count) + " times " + std::to_string(c.letters.size()) + " bytes after " +
                         std::to_string(lead_in) + ", then " + std::to_string(c.after.size()) + " bytes");
            const std::string kept = whole_letters_within(value, room);
            const bool cut = kept.size() < value.size();
            platform::clear_shown_boxes();
            cfgCTy cfg;
            load(cfg, "first = 1\n" + head + value + c.after + "\nnext = 7\n");
            const std::string got = cfg.GetStr("title");
            const std::string end = got.substr(got.size() - std::min<size_t>(got.size(), 4));
            EXPECT_EQ(got.size(), kept.size()) << "it ends in " << testing::PrintToString(end);
            EXPECT_TRUE(got == kept) << "it is not the value's start cut between letters";
            EXPECT_TRUE(valid_utf8(got)) << "it ends in " << testing::PrintToString(end);
            EXPECT_EQ(cfg.GetInt("next"), 7);
            EXPECT_EQ(boxes().size(), cut ? 1u : 0u);
            if (cut && !boxes().empty()) {
                const std::string text = boxes()[0].text;
                EXPECT_NE(text.find("Value of title cut"), std::string::npos) << text;
                EXPECT_NE(text.find(" '" + dir.file("in.cfg") + "', line 2"), std::string::npos) << text;
            }
        }
    }
}

// A file's or a key's name is quoted shown: ESC [ 2 J would clear the
// player's terminal, U+202E turn the rest of the line around.
TEST_F(CfgTest, EveryNameAReportQuotesIsShownWrittenOut)
{
    const std::string hostile = "n\x1b[2J\xe2\x80\xae", shown = "n\\x1b[2J\\u202e", file = dir.file(hostile);
    const std::pair<std::function<void(cfgCTy&)>, std::string> rows[] = {
        {[&](cfgCTy& c) { write_text(file, "bad\n"), (void)c.Load(file.c_str()); }, dir.file(shown) + "', line 1: bad"},
        {[&](cfgCTy& c) { load(c, hostile + " = " + std::string(CFG_LINE_SIZE, 'v')); }, "Value of " + shown + " cut"},
        {[&](cfgCTy& c) { (void)c.Save((file + "_/x").c_str()); }, "to file '" + dir.file(shown) + "_/x': No such"},
    };
    for (const auto& [report, said] : rows) {
        platform::clear_shown_boxes();
        cfgCTy cfg;
        report(cfg);
        EXPECT_NE(box_texts().find(said), std::string::npos) << box_texts();
        EXPECT_EQ(box_texts().find_first_of("\x1b\xe2"), std::string::npos) << box_texts();
    }
}

// A file of nothing but bad lines once gave a box for each and as many
// reports on stderr. The first 20 are shown one by one, the rest in one
// report that counts them; the lines after them still load.
TEST_F(CfgTest, BadLinesBeyondTheFirstTwentyAreCountedInOneReport)
{
    const struct {
        unsigned bad;
        const char* folded; // the last box's text, or null
    } cases[] = {
        // The formatter ends a box's lines in CR LF.
        {1, nullptr}, {20, nullptr}, {21, "\n1 more bad line\r\n"}, {5000, "\n4980 more bad lines\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bad);
        std::string text = "first = 1\n";
        for (unsigned i = 0; i < c.bad; ++i)
            text += i % 2 ? "not a setting\n" : "=5\n";
        platform::clear_shown_boxes();
        cfgCTy cfg;
        load(cfg, text + "last = 2\n");
        EXPECT_EQ(cfg.GetInt("first") + cfg.GetInt("last"), 3);
        ASSERT_EQ(boxes().size(), std::min(c.bad, 20u) + (c.folded ? 1 : 0));
        EXPECT_NE(boxes()[std::min(c.bad, 20u) - 1].text.find("line " + std::to_string(std::min(c.bad, 20u) + 1)),
                  std::string::npos);
        if (c.folded) {
            const std::string folded = boxes().back().text;
            EXPECT_NE(folded.find(c.folded), std::string::npos) << folded;
            const std::string lines = "lines 22 to " + std::to_string(c.bad + 1);
            EXPECT_NE(folded.find(" '" + dir.file("in.cfg") + "', " + (c.bad == 21 ? "line 22" : lines)),
                      std::string::npos)
                << folded;
        }
    }
}

TEST_F(CfgTest, LoadReplacesIgnoringCaseAndAddsAtTheEnd)
{
    cfgCTy cfg;
    cfg.SetInt("name", 1);
    cfg.SetStr("other", "o");
    load(cfg, "NAME = 3\nfresh = yes\n");
    ASSERT_EQ(cfg.Count(), 3u);
    EXPECT_STREQ(cfg.At(0)->name, "name");
    EXPECT_STREQ(cfg.At(0)->Text(), "3");
    EXPECT_STREQ(cfg.At(2)->name, "fresh");

    EXPECT_EQ(cfg.Load(dir.file("missing.cfg").c_str()).read, cfgReadTy::none);
    EXPECT_EQ(cfg.Count(), 3u);
    EXPECT_TRUE(boxes().empty());
}

// Names compare without regard to the case of the 26 letters, and of
// nothing else. A letter left out of the folding had "zoom = 2" in the
// file read back as 0 through GetInt("ZOOM").
TEST_F(CfgTest, EveryLetterOfANameMatchesInEitherCase)
{
    const struct {
        const char* what;
        const char* in_file; // each byte begins a name of its own
        const char* asked;   // the byte that begins the name asked for
        bool same;
    } rows[] = {
        {"lower case in the file", "abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", true},
        {"upper case in the file", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", true},
        // 0x20 apart, as the letters' two cases are.
        {"bytes beside the letters", "@[\\]^_", "`{|}~\x7F", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const size_t names = std::strlen(row.in_file);
        std::string text;
        for (size_t i = 0; i < names; ++i)
            text += row.in_file[i] + std::string("oom = ") + std::to_string(i + 1) + "\n";
        cfgCTy cfg;
        load(cfg, text);
        EXPECT_EQ(cfg.Count(), names);
        for (size_t i = 0; i < names; ++i) {
            const std::string asked = row.asked[i] + std::string("oom");
            EXPECT_EQ(cfg.GetInt(asked.c_str()), row.same ? int(i + 1) : 0) << asked;
        }
    }
}

// The game saves only over a file it read whole, so the load tells a
// missing file from one it could not read. A FIFO held the load in the
// open, a link to /dev/zero was read without end, a folder read as empty,
// and UTF-16 text read as mangled lines that a save then put in its place.
TEST_F(CfgTest, LoadSaysWhatItFoundAndWaitsForNothing)
{
    using namespace std::string_literals;
    write_text(dir.file("utf16le"), "\xFF\xFE" "b\0=\0" "1\0\n\0"s);
    write_text(dir.file("utf16be"), "\xFE\xFF" "\0b\0=\0" "1\0\n"s);
    // Without a mark, and UTF-32 with and without one: read as UTF-8, they
    // were saved back with U+FFFD between their letters.
    write_text(dir.file("utf16le-unmarked"), "b\0=\0" "1\0\n\0"s);
    write_text(dir.file("utf16be-unmarked"), "\0b\0=\0" "1\0\n"s);
    write_text(dir.file("utf32le"), "\xFF\xFE\0\0" "b\0\0\0=\0\0\0" "1\0\0\0\n\0\0\0"s);
    write_text(dir.file("utf32be"), "\0\0\xFE\xFF" "\0\0\0b\0\0\0=" "\0\0\0" "1\0\0\0\n"s);
    write_text(dir.file("utf32le-unmarked"), "b\0\0\0=\0\0\0" "1\0\0\0\n\0\0\0"s);
    write_text(dir.file("utf32be-unmarked"), "\0\0\0b\0\0\0=" "\0\0\0" "1\0\0\0\n"s);
    // One NUL in a UTF-8 line makes it a bad line, reported and skipped.
    write_text(dir.file("stray-nul"), "b = 1\0\n"s);
    // Runs of NULs are what a crash leaves, not text: once called UTF-32
    // and kept, every later exit said the settings were not saved. Text in
    // UTF-16 stays UTF-16 with such a run after it.
    write_text(dir.file("nuls"), std::string(387, '\0'));
    write_text(dir.file("text-then-nuls"), "a = 1\nb = 2\n" + std::string(200, '\0'));
    write_text(dir.file("nuls-between"), "a = 1\n" + std::string(101, '\0') + "\nb = 2\n");
    write_text(dir.file("utf16le-then-nuls"), "b\0=\0" "1\0\n\0"s + std::string(200, '\0'));
    // A mark says no more than the letters after it: UTF-8 text after one
    // was called UTF-16 or UTF-32, and never read nor saved again. (The
    // NULs of UTF-32's mark make a bad line.)
    write_text(dir.file("utf8-after-utf16-mark"), "\xFF\xFE" "best_result = 1\nb = 2\n");
    write_text(dir.file("utf8-after-utf32-mark"), "\xFF\xFE\0\0" "-- notes\nb = 2\n"s);
    // Letters beyond ASCII first, or most of the letters: without a mark
    // such files were read as UTF-8, gave no settings, and the shipped
    // settings were saved over them.
    const std::u32string settings = U"best_result = 123456\nsnd_volume = 55\n";
    const std::pair<std::string, std::u32string> texts[] = {
        {"cjk-comment", U"-- " + std::u32string(64, U'\u4E2D') + U"\n" + settings},
        {"emoji-first", std::u32string(200, U'\U0001F600') + U"\n" + settings},
        {"emoji-values", U"title = " + std::u32string(150, U'\U0001F697') + U"\nbest_result = \U0001F3C1\n"},
        {"marked-cjk", U"\uFEFF-- " + std::u32string(64, U'\u4E00') + U"\n" + settings},
    };
    std::vector<std::string> wide;
    for (const auto& [kind, text] : texts)
        for (const int width : {2, 4})
            for (const bool big : {false, true}) {
                wide.push_back(kind + "-utf" + std::to_string(8 * width) + (big ? "be" : "le"));
                write_text(dir.file(wide.back()), encoded(text, width, big));
            }
    // One NUL in UTF-8 text after UTF-16's mark, or without one, is damage
    // whichever letter stands before it: the same rule as for any text.
    write_text(dir.file("nul-after-mark"), "\xFF\xFE-- note\0\nbest_result = 123456\nsnd_volume = 55\n"s);
    write_text(dir.file("nul-after-mark-odd"), "\xFF\xFE-- notes\0\nbest_result = 123456\nsnd_volume = 55\n"s);
    write_text(dir.file("nul-unmarked"), "-- note\0\nbest_result = 123456\nsnd_volume = 55\n"s);
    // Two such NULs, each after a letter at an even place: two letters in
    // UTF-16's pattern, but not side by side as a name's or "--" are.
    write_text(dir.file("two-stray-nuls"), "b = 1\0\nc = 23\0\nd = 4\n"s);
    fs::create_directory(dir.file("folder"));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir.file("zero"));
    fs::create_symlink("gone", dir.file("dangling"));
    fs::create_symlink("loop", dir.file("loop"));
    const struct { std::string name; cfgReadTy read; int error; uint32_t count = 0; } cases[] = {
        {dir.file("dangling"), cfgReadTy::none, 0}, {dir.file("folder"), cfgReadTy::not_a_file, EISDIR},
        {dir.file("fifo"), cfgReadTy::not_a_file, platform::error_not_regular_file},
        {dir.file("zero"), cfgReadTy::not_a_file, platform::error_not_regular_file},
        {dir.file("loop"), cfgReadTy::unopened, ELOOP},
        {"/proc/self/mem", cfgReadTy::cut, EIO}, // a regular file whose first read fails
        {dir.file("utf16le"), cfgReadTy::utf16, EILSEQ}, {dir.file("utf16be"), cfgReadTy::utf16, EILSEQ},
        {dir.file("utf16le-unmarked"), cfgReadTy::utf16, EILSEQ},
        {dir.file("utf16be-unmarked"), cfgReadTy::utf16, EILSEQ},
        {dir.file("utf32le"), cfgReadTy::utf32, EILSEQ}, {dir.file("utf32be"), cfgReadTy::utf32, EILSEQ},
        {dir.file("utf32le-unmarked"), cfgReadTy::utf32, EILSEQ},
        {dir.file("utf32be-unmarked"), cfgReadTy::utf32, EILSEQ},
        {dir.file("stray-nul"), cfgReadTy::whole, 0},
        {dir.file("nuls"), cfgReadTy::whole, 0}, {dir.file("text-then-nuls"), cfgReadTy::whole, 0, 2},
        {dir.file("nuls-between"), cfgReadTy::whole, 0, 2},
        {dir.file("utf16le-then-nuls"), cfgReadTy::utf16, EILSEQ},
        {dir.file("utf8-after-utf16-mark"), cfgReadTy::whole, 0, 2},
        {dir.file("utf8-after-utf32-mark"), cfgReadTy::whole, 0, 1},
        {dir.file("nul-after-mark"), cfgReadTy::whole, 0, 2},
        {dir.file("nul-after-mark-odd"), cfgReadTy::whole, 0, 2},
        {dir.file("nul-unmarked"), cfgReadTy::whole, 0, 2},
        {dir.file("two-stray-nuls"), cfgReadTy::whole, 0, 1},
    };
    for (const std::string& name : wide) {
        cfgCTy cfg;
        const cfgLoadTy got = cfg.Load(dir.file(name).c_str());
        const cfgReadTy want = name.find("utf16") != std::string::npos ? cfgReadTy::utf16 : cfgReadTy::utf32;
        EXPECT_TRUE(got.read == want && got.error == EILSEQ) << name << ": " << static_cast<int>(got.read);
        EXPECT_EQ(cfg.Count(), 0u) << name;
    }
    for (const auto& c : cases) {
        cfgCTy cfg;
        const cfgLoadTy got = cfg.Load(c.name.c_str());
        EXPECT_TRUE(got.read == c.read && got.error == c.error) << c.name << ": " << got.error;
        EXPECT_EQ(cfg.Count(), c.count) << c.name;
    }
    write_text(dir.file("closed.cfg"), "best_result = 1\n");
    fs::permissions(dir.file("closed.cfg"), fs::perms::none);
    EXPECT_TRUE(as_unprivileged(dir.path(), [] {
        cfgCTy cfg;
        const cfgLoadTy got = cfg.Load("closed.cfg");
        return got.read == cfgReadTy::unopened && got.error == EACCES && cfg.Count() == 0;
    }));
}

// A file called UTF-16 or UTF-32 says where the letters that decided it
// stand: UTF-8 text with a picture's bytes after it, or a value holding
// "a\0b\0", was only called UTF-16, and the player could not find what to
// mend. Offsets by hand: the first of the two units, counted from 0.
TEST_F(CfgTest, TextInAnotherEncodingSaysWhereItsLettersStand)
{
    using namespace std::string_literals;
    const struct {
        const char* what;
        std::string text;
        cfgReadTy read;
        uint64_t at;
        uint32_t line;
    } rows[] = {
        {"UTF-16 with its mark", "\xFF\xFE" "b\0=\0" "1\0\n\0"s, cfgReadTy::utf16, 2, 1},
        {"UTF-32, big-endian", "\0\0\0b\0\0\0=" "\0\0\0" "1\0\0\0\n"s, cfgReadTy::utf32, 0, 1},
        // 'a' at 13 shares its unit with ' '; "\0b" and "\0\n" are the pair.
        {"a value holding a, NUL, b, NUL", "a = 1\nname = a\0b\0\n"s, cfgReadTy::utf16, 14, 2},
        {"binary bytes after a line", "best_result = 5\n\x01\x02\x7F\0\x10\0\xFF"s, cfgReadTy::utf16, 18, 2},
        // Past the first 64 KB the load reads in.
        {"far down", [] {
             std::string text;
             for (int line = 0; line < 12000; ++line)
                 text += "x = 1\n";
             return text + "a\0b\0"s;
         }(),
         cfgReadTy::utf16, 72000, 12001},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        write_text(dir.file("wide.cfg"), row.text);
        cfgCTy cfg;
        const cfgLoadTy got = cfg.Load(dir.file("wide.cfg").c_str());
        EXPECT_EQ(got.read, row.read);
        EXPECT_EQ(got.wideAt, row.at);
        EXPECT_EQ(got.wideLine, row.line);
    }
}

TEST_F(CfgTest, GettersAndSetters)
{
    cfgCTy cfg;
    EXPECT_STREQ(cfg.GetStr("absent"), "");
    EXPECT_EQ(cfg.GetInt("absent"), 0);
    EXPECT_EQ(cfg.Count(), 0u) << "getters add nothing";

    cfg.SetInt("W", -640);
    EXPECT_STREQ(cfg.GetStr("w"), "-640");
    EXPECT_EQ(cfg.GetInt("W"), -640);
    cfg.SetStr("mixed", "12abc");
    EXPECT_EQ(cfg.GetInt("MIXED"), 12);
    cfg.SetStr("huge", "99999999999");
    EXPECT_EQ(cfg.GetInt("huge"), INT_MAX);
    cfg.SetStr("spaced", "  -7");
    EXPECT_EQ(cfg.GetInt("spaced"), -7);

    // UpdateInt only touches what exists; the setters overwrite.
    cfg.UpdateInt("nothing", 5);
    EXPECT_EQ(cfg.Find("nothing"), nullptr);
    cfg.UpdateInt("w", 800);
    EXPECT_EQ(cfg.GetInt("W"), 800);
    cfg.SetStr("W", "text");
    EXPECT_STREQ(cfg.GetStr("W"), "text");
    EXPECT_EQ(cfg.Count(), 4u);

    // FindOrAdd adds only when absent, and a new variable reads as "".
    cfgVarCTy* v = cfg.FindOrAdd("novalue");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(cfg.FindOrAdd("NOVALUE"), v);
    EXPECT_EQ(cfg.Count(), 5u);
    EXPECT_STREQ(cfg.GetStr("novalue"), "");
    EXPECT_EQ(cfg.GetInt("novalue"), 0);
    cfg.SetStr("W", nullptr);
    EXPECT_STREQ(cfg.GetStr("W"), "");
}

// The n-th allocation from now fails, whichever hook makes it.
struct FailingAllocation {
    static inline memHooksTy saved;
    static inline int calls = 0, fails_at = -1;

    explicit FailingAllocation(int n)
    {
        saved = memHooks;
        calls = 0;
        fails_at = n;
        memHooks.alloc = [](size_t size) { return calls++ == fails_at ? nullptr : saved.alloc(size); };
        memHooks.allocZ = [](size_t n, size_t size) { return calls++ == fails_at ? nullptr : saved.allocZ(n, size); };
        memHooks.realloc = [](void* b, size_t size) { return calls++ == fails_at ? nullptr : saved.realloc(b, size); };
        memHooks.allocStr = [](size_t size) { return calls++ == fails_at ? nullptr : saved.allocStr(size); };
    }
    ~FailingAllocation() { memHooks = saved; }
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
};

// Each allocation a new variable may need (its record, a longer list, a
// larger index of names) fails in turn, for the first variable, the
// second, and the ninth, which outgrows both list and index.
TEST_F(CfgTest, FailedAllocationLeavesTheListAsItWas)
{
    const struct {
        int before; // variables already there
        int fails;  // the allocation that fails
    } cases[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {8, 0}, {8, 1}, {8, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + " variables, allocation " + std::to_string(c.fails));
        platform::clear_shown_boxes();
        cfgCTy cfg;
        for (int i = 0; i < c.before; ++i)
            cfg.SetInt(("Key" + std::to_string(i)).c_str(), i);
        {
            const FailingAllocation failing(c.fails);
            EXPECT_EQ(cfg.FindOrAdd("new"), nullptr);
            EXPECT_GT(FailingAllocation::calls, c.fails); // the row failed what it names
        }
        EXPECT_NE(box_texts().find("No memory"), std::string::npos);
        ASSERT_EQ(cfg.Count(), static_cast<uint32_t>(c.before));
        EXPECT_EQ(cfg.Find("new"), nullptr);
        for (int i = 0; i < c.before; ++i) {
            EXPECT_STREQ(cfg.At(i)->name, ("Key" + std::to_string(i)).c_str());
            EXPECT_EQ(cfg.GetInt(("KEY" + std::to_string(i)).c_str()), i);
        }
        // With memory again, the variable joins the list at its end.
        const cfgVarCTy* added = cfg.FindOrAdd("NEW");
        EXPECT_EQ(added, cfg.At(c.before));
        EXPECT_EQ(cfg.Find("new"), added);
    }
}

// Hundreds of thousands of keys (a tool's, or the whole file a key of its
// own per line) load into the list in the file's order, one variable per
// name whatever its case, and the save writes them back as they were.
TEST_F(CfgTest, AFileOfManyKeysLoadsAndSavesBackAsItWas)
{
    const struct {
        int keys;
        bool again_upper_case; // every key set a second time, in upper case
    } cases[] = {{200000, false}, {100000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string text, expected;
        for (int i = 0; i < c.keys; ++i) {
            const std::string name = (i % 2 ? "Gate_" : "best_lap_") + std::to_string(i);
            text += name + " = " + std::to_string(i) + "\n";
            expected += name + " = " + std::to_string(c.again_upper_case ? -i : i) + "\n";
        }
        if (c.again_upper_case)
            for (int i = 0; i < c.keys; ++i) {
                std::string name = (i % 2 ? "Gate_" : "best_lap_") + std::to_string(i);
                for (char& ch : name)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                text += name + " = " + std::to_string(-i) + "\n";
            }
        write_text(dir.file("many.cfg"), text);
        cfgCTy cfg;
        const cfgLoadTy read = cfg.Load(dir.file("many.cfg").c_str());
        EXPECT_EQ(read.read, cfgReadTy::whole);
        EXPECT_EQ(read.variables, static_cast<uint32_t>(c.again_upper_case ? 2 * c.keys : c.keys));
        ASSERT_EQ(cfg.Count(), static_cast<uint32_t>(c.keys));
        EXPECT_TRUE(boxes().empty());
        EXPECT_EQ(cfg.GetInt("GATE_12345"), c.again_upper_case ? -12345 : 12345);
        ASSERT_EQ(cfg.Save(dir.file("saved.cfg").c_str()), 0);
        EXPECT_TRUE(read_text(dir.file("saved.cfg")) == expected);
    }
}

TEST_F(CfgTest, SaveThenLoadGivesTheSameList)
{
    cfgCTy cfg;
    cfg.SetInt("SCR_LX", 800);
    cfg.SetStr("WND_NAME", "Race = fast");
    cfg.SetStr("empty", "");
    cfg.FindOrAdd("unset");
    const std::string name = dir.file("game.cfg");
    ASSERT_EQ(cfg.Save(name.c_str()), 0);
    EXPECT_EQ(read_text(name), "SCR_LX = 800\nWND_NAME = Race = fast\nempty = \nunset = \n");
    EXPECT_FALSE(fs::exists(name + ".new"));

    cfgCTy back;
    ASSERT_EQ(back.Load(name.c_str()).read, cfgReadTy::whole);
    ASSERT_EQ(back.Count(), cfg.Count());
    for (uint32_t i = 0; i < cfg.Count(); ++i) {
        EXPECT_STREQ(back.At(i)->name, cfg.At(i)->name);
        EXPECT_STREQ(back.At(i)->Text(), cfg.At(i)->Text());
    }

    // On a file system that keeps no modes (vfat, CIFS) the first save
    // made its file, was refused its mode and removed it.
    const std::string first = dir.file("first.cfg");
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(test_support::refuse_modes() && cfg.Save(first.c_str()) == 0 ? 0 : 1);
    int status = -1;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_text(first), read_text(name));
}

// A file that holds the text already is left as it is (its time stays);
// any other content, a longer or a shorter one too, is replaced.
TEST_F(CfgTest, SaveLeavesAFileThatHoldsTheTextAlone)
{
    const std::string name = dir.file("game.cfg");
    const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    const struct {
        const char* old_text;
        bool rewritten;
    } cases[] = {
        {"SCR_LX = 800\nmusic = 1\n", false},
        {"SCR_LX = 800\nmusic = 1\n\n", true},
        {"SCR_LX = 800\nmusic = 1", true},
        {"SCR_LX = 801\nmusic = 1\n", true},
        {"", true},
    };
    cfgCTy cfg;
    cfg.SetInt("SCR_LX", 800);
    cfg.SetInt("music", 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.old_text);
        write_text(name, c.old_text);
        fs::last_write_time(name, long_ago);
        ASSERT_EQ(cfg.Save(name.c_str()), 0);
        EXPECT_EQ(read_text(name), "SCR_LX = 800\nmusic = 1\n");
        EXPECT_EQ(fs::last_write_time(name) != long_ago, c.rewritten);
        EXPECT_FALSE(fs::exists(name + ".new"));
    }
    // A first save makes the file 0644 whatever the umask: never open to
    // others' writes, nor with the set-id or sticky bits, nor closed to
    // the player.
    for (const mode_t umask : {mode_t(022), mode_t(0777), mode_t(0)}) {
        fs::remove(name);
        const mode_t umask_before = ::umask(umask);
        ASSERT_EQ(cfg.Save(name.c_str()), 0);
        ::umask(umask_before);
        EXPECT_EQ(fs::status(name).permissions(), fs::perms(0644)) << "umask " << umask;
    }
}

TEST_F(CfgTest, FailedSaveKeepsTheOldFile)
{
    const std::string name = dir.file("game.cfg");
    write_text(name, "best_result = 12345\n");
    cfgCTy cfg;
    cfg.SetInt("best_result", 999);
    cfg.SetInt("music", 1);
    cfgWriteFailAfterForTest = 1;
    EXPECT_EQ(cfg.Save(name.c_str()), ERR_WRITE);
    EXPECT_EQ(read_text(name), "best_result = 12345\n");
    EXPECT_FALSE(fs::exists(name + ".new"));
    EXPECT_NE(box_texts().find("Can't write to file '" + name + "'"), std::string::npos);
}

TEST_F(CfgTest, SaveKeepsPermissionsAndWritesThroughALink)
{
    const std::string real = dir.file("real.cfg");
    write_text(real, "old = 1\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    const std::string link = dir.file("link.cfg");
    fs::create_symlink(real, link);

    cfgCTy cfg;
    cfg.SetInt("new", 2);
    ASSERT_EQ(cfg.Save(link.c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_text(real), "new = 2\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // A link whose file was deleted was replaced by a plain file.
    fs::remove(real);
    ASSERT_EQ(cfg.Save(link.c_str()), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_text(real), "new = 2\n");

    // Mode 444 freezes the settings: the rename went past it.
    fs::permissions(real, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    cfg.SetInt("new", 3);
    EXPECT_EQ(cfg.Save(link.c_str()), CFG_KEPT_READ_ONLY);
    EXPECT_EQ(read_text(real), "new = 2\n");
    EXPECT_TRUE(boxes().empty());
    // Mode 000 is mended only for the game's own files (the log): a
    // settings file of the player's left so is neither given a mode nor
    // saved over, by the load or by the save.
    fs::permissions(real, fs::perms::none);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(real.c_str(), test_support::unprivileged_user, test_support::unprivileged_user), 0);
    }
    EXPECT_TRUE(as_unprivileged(dir.path(), [] {
        cfgCTy frozen;
        (void)frozen.Load("real.cfg");
        frozen.SetInt("new", 4);
        (void)frozen.Save("real.cfg");
        return true;
    }));
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::none);
    // Only root reads a file of mode 000: the text is checked once the
    // owner may read it again.
    fs::permissions(real, fs::perms::owner_read);
    EXPECT_EQ(read_text(real), "new = 2\n");
}

// A folder the player cannot write to, holding a settings file they can:
// the file is rewritten in place, to its end, and a shorter text leaves no
// stale tail; a longer text takes the reserve, whose check of the last byte
// within the new length once looked past it and failed the save ("Input/
// output error"); also where the file system cannot reserve space, whose
// stand-in reads what it reserves (a file opened for writing only failed
// there with "Bad file descriptor", and the best time was lost).
TEST_F(CfgTest, AFileInAFolderThePlayerCannotWriteToIsRewrittenInPlace)
{
    cfgCTy cfg;
    cfg.SetInt("best_result", 90515);
    for (const char* old_text : {"best_result = 999999\nmusic = 1\nsnd_volume = 100\n", "best_result = 1\n"}) {
        for (const bool emulated : with_and_without_fallocate(dir.path())) {
            SCOPED_TRACE(std::string(emulated ? "no fallocate, " : "fallocate, ") + old_text);
            const fs::path folder = dir.path() / (emulated ? "emulated" : "native");
            fs::create_directory(folder);
            const std::string name = (folder / "game.cfg").string();
            write_text(name, old_text);
            if (::geteuid() == 0) {
                EXPECT_EQ(::chown(name.c_str(), 65534, 65534), 0);
            }
            fs::permissions(folder, fs::perms(0555));
            EXPECT_TRUE(as_unprivileged(folder, [&] {
                return (!emulated || refuse_fallocate()) && cfg.Save("game.cfg") == 0 && boxes().empty();
            }));
            fs::permissions(folder, fs::perms(0755));
            EXPECT_EQ(read_text(name), "best_result = 90515\n");
        }
    }
    // A file with a second name is not the settings' alone: rewriting it
    // would change the other name's file too, so it is left whole. The
    // message called a member's or root's file one "of yours".
    const struct {
        uid_t owner; // of the file and of its folder (mode 0755)
        const char* said;
    } linked_rows[] = {
        {65534, "A file of yours with a second name"},
        {65533, "A file of user 65533 with a second name (a hard link) elsewhere, which writing it would change "
                "too: ask its owner to remove this name, or run a copy of the game from a folder of your own"},
        {0, "A file of root's with a second name"},
    };
    for (const auto& row : linked_rows) {
        SCOPED_TRACE(row.said);
        if (row.owner != 65534 && ::geteuid() != 0)
            continue; // only root can give a file away
        const fs::path linked = dir.path() / ("linked" + std::to_string(row.owner));
        fs::create_directory(linked);
        write_text((linked / "private").string(), "secret = 1\n");
        fs::permissions(linked / "private", fs::perms(0666));
        fs::create_hard_link(linked / "private", linked / "game.cfg");
        if (::geteuid() == 0) {
            EXPECT_EQ(::chown((linked / "private").c_str(), row.owner, row.owner), 0);
            EXPECT_EQ(::chown(linked.c_str(), row.owner == 65534 ? 0 : row.owner, row.owner), 0);
        }
        fs::permissions(linked, fs::perms(row.owner == 65534 ? 0555 : 0755));
        EXPECT_TRUE(as_unprivileged(linked, [&] {
            return cfg.Save("game.cfg") == ERR_WRITE && box_texts().find(row.said) != std::string::npos;
        }));
        fs::permissions(linked, fs::perms(0755));
        EXPECT_EQ(read_text((linked / "private").string()), "secret = 1\n");
    }
}

// A settings file that no rename may replace: bind-mounted over its name
// from a dotfiles folder (EBUSY), or where the rename finds another mount
// (EXDEV). The rename failed and the run's settings were lost; the file
// is rewritten in place instead. The errors are made by a call filter in
// a child, and the real bind mount needs root.
TEST_F(CfgTest, ANameNoRenameMayReplaceIsRewrittenInPlace)
{
    const struct {
        const char* what;
        int error; // the rename's, made by the filter; 0: a real bind mount
    } rows[] = {
        {"the rename refused with EBUSY", EBUSY},
        {"the rename refused with EXDEV", EXDEV},
        {"a bind mount", 0},
    };
    cfgCTy cfg;
    cfg.SetInt("best_result", 90515);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path folder = dir.path() / std::to_string(row.error);
        fs::create_directories(folder / "dotfiles");
        const std::string name = (folder / "game.cfg").string(), kept = (folder / "dotfiles" / "game.cfg").string();
        write_text(name, "best_result = 1\n");
        write_text(kept, "best_result = 2\n");
        if (row.error == 0 && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can mount\n", row.what);
            continue;
        }
        if (row.error == 0 && ::mount(kept.c_str(), name.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            std::printf("the row '%s' is skipped: the mount failed: %s\n", row.what, std::strerror(errno));
            continue;
        }
        // 77: no call filter can be set here.
        const pid_t child = ::fork();
        if (child == 0) {
            const bool refused = row.error == 0 || test_support::refuse_calls({{SYS_rename, row.error},
                                                                               {SYS_renameat, row.error},
                                                                               {SYS_renameat2, row.error}});
            std::_Exit(!refused ? 77 : cfg.Save(name.c_str()) == 0 && boxes().empty() ? 0 : 1);
        }
        int status = -1;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
            std::printf("the row '%s' is skipped: no system call filter can be set\n", row.what);
            continue;
        }
        EXPECT_EQ(status, 0);
        EXPECT_EQ(read_text(name), "best_result = 90515\n");
        if (row.error == 0) {
            EXPECT_EQ(::umount(name.c_str()), 0);
            EXPECT_EQ(read_text(kept), "best_result = 90515\n");
            EXPECT_EQ(read_text(name), "best_result = 1\n");
        }
        EXPECT_FALSE(fs::exists(name + ".new"));
    }
}

// A full disk in a folder the player cannot write to: the rewrite in place
// cut the file mid-line, and a reserve that got part way, as the stand-in
// for fallocate does, left it longer. A small file system of its own is
// filled, which needs root to mount.
TEST_F(CfgTest, AFullDiskLeavesAFileRewrittenInPlaceWhole)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a small file system needs root to mount";
    if (::mount("none", dir.path().c_str(), "tmpfs", 0, "size=64k,mode=755") != 0)
        GTEST_SKIP() << "a small file system could not be mounted: " << std::strerror(errno);
    const std::string name = dir.file("game.cfg");
    const std::string old_text = "best_result = 12345\n";
    write_text(name, old_text);
    EXPECT_EQ(::chown(name.c_str(), 65534, 65534), 0); // no ASSERT: the mount must go
    write_text(dir.file("spare"), std::string(8192, 's'));
    write_text(dir.file("filler"), std::string(1 << 20, 'x')); // cut where the disk is full
    fs::remove(dir.file("spare")); // two pages free: room for part of the text
    cfgCTy cfg;
    for (int i = 0; i < 16; ++i) // more pages than are free
        cfg.SetStr(("key" + std::to_string(i)).c_str(), std::string(1000, 'v').c_str());
    bool kept = true;
    for (const bool emulated : with_and_without_fallocate(dir.path())) {
        kept = as_unprivileged(dir.path(), [&] {
            return (!emulated || refuse_fallocate()) && cfg.Save("game.cfg") == ERR_WRITE &&
                   read_text("game.cfg") == old_text &&
                   box_texts().find("Can't write to file 'game.cfg': No space left on device") != std::string::npos;
        }) && kept;
    }
    (void)::umount(dir.path().c_str());
    EXPECT_TRUE(kept);
}

// A settings file on a read-only file system is the player's to write by
// its mode: the save fails, and the box says why.
TEST_F(CfgTest, ASaveOnAReadOnlyFileSystemSaysSo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a file system of its own needs root to mount";
    if (::mount("none", dir.path().c_str(), "tmpfs", 0, "size=64k,mode=755") != 0)
        GTEST_SKIP() << "a file system of its own could not be mounted: " << std::strerror(errno);
    write_text(dir.file("game.cfg"), "best_result = 12345\n");
    const bool read_only = ::mount("none", dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    cfgCTy cfg;
    cfg.SetInt("best_result", 90515);
    const int saved = cfg.Save(dir.file("game.cfg").c_str());
    (void)::umount(dir.path().c_str());
    ASSERT_TRUE(read_only);
    EXPECT_EQ(saved, ERR_WRITE);
    EXPECT_NE(box_texts().find("Read-only file system"), std::string::npos) << box_texts();
}

// Under a file size limit (ulimit -f) below the new text, a file as long
// as that text already took the reserve, and the rewrite then stopped at
// the limit: race.cfg held the head of the new text and the old rest.
TEST_F(CfgTest, AFileSizeLimitLeavesAFileRewrittenInPlaceWhole)
{
    const std::string name = dir.file("game.cfg");
    const std::string old_text = std::string(3000, '-') + "\n";
    write_text(name, old_text);
    if (::geteuid() == 0) {
        EXPECT_EQ(::chown(name.c_str(), 65534, 65534), 0);
    }
    cfgCTy cfg;
    cfg.SetStr("long", std::string(2500, 'v').c_str());
    fs::permissions(dir.path(), fs::perms(0555));
    EXPECT_TRUE(as_unprivileged(dir.path(), [&] {
        platform::make_process_sound(); // a write past the limit fails instead of ending the process
        const rlimit limit {2048, 2048};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && cfg.Save("game.cfg") == ERR_WRITE &&
               box_texts().find("Can't write to file 'game.cfg': File too large") != std::string::npos;
    }));
    fs::permissions(dir.path(), fs::perms(0755));
    EXPECT_EQ(read_text(name), old_text);
}

// Another user may plant a link at the new file's name in a folder that
// all may write to and only owners may delete from (as /tmp): the player
// cannot remove it, and the save wrote the settings where it led. The name
// is passed over for another.
TEST_F(CfgTest, ALinkPlantedAtTheNewFilesNameIsNotWrittenThrough)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can plant a link of another user's";
    // With a settings file there and without one: the in-place rewrite
    // would save the same text, so the file is checked to be a new one.
    for (const bool existed : {true, false}) {
        SCOPED_TRACE(existed ? "a file there" : "no file there");
        const fs::path shared = dir.path() / "shared";
        fs::remove_all(shared);
        fs::create_directory(shared);
        fs::permissions(shared, fs::perms(01777));
        const std::string name = (shared / "game.cfg").string(), victim = (shared / "victim").string();
        struct stat before {};
        if (existed) {
            write_text(name, "best_result = 999999\n");
            EXPECT_EQ(::chown(name.c_str(), 65534, 65534), 0);
            EXPECT_EQ(::stat(name.c_str(), &before), 0);
        }
        write_text(victim, "precious\n");
        EXPECT_EQ(::chown(victim.c_str(), 65534, 65534), 0);
        fs::create_symlink("victim", name + ".new");
        cfgCTy cfg;
        cfg.SetInt("best_result", 90515);
        EXPECT_TRUE(as_unprivileged(shared, [&] { return cfg.Save("game.cfg") == 0; }));
        EXPECT_EQ(read_text(victim), "precious\n");
        EXPECT_EQ(read_text(name), "best_result = 90515\n");
        EXPECT_TRUE(fs::is_symlink(name + ".new"));
        struct stat after {};
        EXPECT_EQ(::stat(name.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino); // made under the numbered name and renamed
        EXPECT_FALSE(fs::exists(name + ".1.new"));
    }
}

// What an interrupted save left at the new file's name, a file or a link,
// goes with the next save when it is the player's own (a link's file
// stays); another user's is not the player's to remove, and the save
// passes over it to the next name.
TEST_F(CfgTest, ASavesLeftoverGoesOnlyWhenItIsThePlayers)
{
    const struct {
        const char* what;
        bool link;   // to the file "kept", else a file
        bool others; // given to another user
    } rows[] = {
        {"the player's file", false, false},
        {"the player's link", true, false},
        {"another user's file", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.others && ::geteuid() != 0) {
            std::printf("the row '%s' is skipped: only root can give a name away\n", row.what);
            continue;
        }
        const fs::path folder = dir.path() / row.what;
        fs::create_directory(folder);
        const std::string name = (folder / "game.cfg").string(), leftover = name + ".new";
        write_text(name, "best_result = 1\n");
        write_text((folder / "kept").string(), "-- precious\n");
        if (row.link)
            fs::create_symlink("kept", leftover);
        else
            write_text(leftover, "best_res");
        if (row.others) {
            ASSERT_EQ(::lchown(leftover.c_str(), 65534, 65534), 0);
        }
        cfgCTy cfg;
        cfg.SetInt("best_result", 90515);
        EXPECT_EQ(cfg.Save(name.c_str()), 0);
        EXPECT_EQ(read_text(name), "best_result = 90515\n");
        EXPECT_EQ(read_text((folder / "kept").string()), "-- precious\n");
        EXPECT_EQ(fs::exists(fs::symlink_status(leftover)), row.others) << "game.cfg.new after the save";
        if (row.others) {
            EXPECT_EQ(read_text(leftover), "best_res");
        }
        EXPECT_FALSE(fs::exists(fs::symlink_status(name + ".1.new")));
    }
}

// A save that cannot even open its file loses the run's settings: the
// user must hear of it, as of any other failed write.
TEST_F(CfgTest, SaveToAnUnwritablePlaceIsReported)
{
    fs::create_directories(dir.file("taken.cfg"));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    fs::create_symlink("loop", dir.file("loop"));
    // Why, too: a FIFO held the save in the open, a device was written to.
    const std::string device = dir.file("full");
    const bool device_made = test_support::make_full_device(device);
    for (const auto& [name, why] : { std::pair<std::string, std::string> { dir.file("no/such/dir/x.cfg"),
             "No such file or directory" }, { dir.file("taken.cfg"), "Is a directory" },
             { dir.file("fifo"), "Not a regular file" }, { device, "Not a regular file" },
             { dir.file("loop"), "Too many levels of symbolic links" } }) {
        if (name == device && !device_made)
            continue;
        platform::clear_shown_boxes();
        cfgCTy cfg;
        cfg.SetInt("a", 1);
        EXPECT_EQ(cfg.Save(name.c_str()), ERR_WRITE) << name;
        EXPECT_NE(box_texts().find("Can't write to file '" + name + "': " + why), std::string::npos) << box_texts();
    }
    EXPECT_TRUE(fs::is_directory(dir.file("taken.cfg")));
    EXPECT_TRUE(fs::is_empty(dir.file("taken.cfg")));
    EXPECT_EQ(fs::is_character_file(device), device_made);
}

} // namespace

// Names another user plants in a folder every user may write to, with and
// without the sticky bit, for a player who is neither that user nor root.
// The player's own file "mine" lies beside them. Each row's `planted`
// puts another user's name in the folder; the player then loads and saves
// "game.cfg", and `check` sees what became of the folder.
TEST_F(CfgTest, AnotherUsersNamesInASharedFolderAreNotTakenOver)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can plant names of another user's";
    static constexpr uid_t other = 65533, player = 65534;
    struct Row {
        const char* what;
        std::function<void(const fs::path&)> planted;
        cfgReadTy read; // what the player's load finds
        int saved;      // what the player's save answers
        std::function<void(const fs::path&)> check;
        const char* named = nullptr;       // in the refusal of a file the save kept
        void (*before_rename)() = nullptr; // run by the player's save
        bool no_safe_rename = false;       // neither a no-replace rename nor hard links
        const char* said = nullptr;        // in the box of a failed save
    };
    const auto plant = [](const fs::path& at, const std::function<void()>& make) {
        make();
        EXPECT_EQ(::lchown(at.c_str(), other, other), 0);
    };
    const auto theirs_kept = [](const fs::path& f, uid_t owner, fs::perms mode) {
        EXPECT_EQ(read_text((f / "game.cfg").string()), "theirs = 1\n");
        struct stat st {};
        EXPECT_EQ(::stat((f / "game.cfg").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, owner);
        EXPECT_EQ(fs::perms(st.st_mode & 07777), mode);
    };
    const auto group_folder = [](const fs::path& f) {
        fs::permissions(f, fs::perms(02775));
        EXPECT_EQ(::chown(f.c_str(), 0, player), 0);
    };
    const auto players_folder = [](const fs::path& f) {
        fs::permissions(f, fs::perms(0755));
        EXPECT_EQ(::chown(f.c_str(), player, player), 0);
    };
    const auto members_file = [&](const fs::path& f, fs::perms mode) {
        group_folder(f);
        write_text((f / "game.cfg").string(), "theirs = 1\n");
        EXPECT_EQ(::chown((f / "game.cfg").c_str(), other, player), 0);
        fs::permissions(f / "game.cfg", mode);
    };
    const auto mine_kept = [](const fs::path& f) {
        EXPECT_EQ(read_text((f / "mine").string()), "-- precious\n");
        EXPECT_TRUE(fs::is_symlink(f / "game.cfg"));
        EXPECT_FALSE(fs::exists(f / "game.cfg.new"));
    };
    const auto take_new_names = [&](const fs::path& f) {
        for (int n = 0; n < 100; ++n) {
            const fs::path taken = f / (n == 0 ? "game.cfg.new" : "game.cfg." + std::to_string(n) + ".new");
            plant(taken, [&] { write_text(taken.string(), "theirs\n"); });
        }
    };
    const auto saved_mine = [](const fs::path& f, const std::string& text, fs::perms mode) {
        EXPECT_EQ(read_text((f / "game.cfg").string()), text);
        struct stat st {};
        EXPECT_EQ(::stat((f / "game.cfg").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, player);
        EXPECT_EQ(fs::perms(st.st_mode & 07777), mode);
    };
    const Row rows[] = {
        // The settings went over the file the link led to, and the load
        // copied its lines, as bad lines, into the log.
        {"a link at the name", [&](const fs::path& f) { plant(f / "game.cfg", [&] { fs::create_symlink("mine", f / "game.cfg"); }); },
         cfgReadTy::unopened, CFG_KEPT_OTHERS, mine_kept, "('game.cfg', a link of user 65533)"},
        // A member's link in the group's folder, aimed at any file of the
        // player's: the save wrote the settings into it, and the load read
        // it. Their link leads only to what they own.
        {"a group member's link, in the group's folder", [&](const fs::path& f) {
             group_folder(f);
             fs::create_symlink("mine", f / "game.cfg");
             EXPECT_EQ(::lchown((f / "game.cfg").c_str(), other, player), 0);
         },
         cfgReadTy::unopened, CFG_KEPT_OTHERS, mine_kept,
         "('game.cfg', a link of user 65533): make it yours, or remove it"},
        {"the player's link, in the group's folder", [&](const fs::path& f) {
             group_folder(f);
             fs::create_symlink("mine", f / "game.cfg");
             EXPECT_EQ(::lchown((f / "game.cfg").c_str(), player, player), 0);
         },
         cfgReadTy::whole, 0, [](const fs::path& f) {
             EXPECT_EQ(read_text((f / "mine").string()), "best_result = 90515\n");
             EXPECT_TRUE(fs::is_symlink(f / "game.cfg"));
         }},
        // Read, its title named the screenshots; the rename made it the
        // player's.
        {"another user's file", [&](const fs::path& f) {
             plant(f / "game.cfg", [&] { write_text((f / "game.cfg").string(), "theirs = 1\n"); });
             fs::permissions(f / "game.cfg", fs::perms(0644));
         },
         cfgReadTy::unopened, CFG_KEPT_OTHERS, [&](const fs::path& f) { theirs_kept(f, other, fs::perms(0644)); },
         "('game.cfg', user 65533)"},
        // Made by another user while the game ran, writable by all, here
        // between the save's first look and its rename: the save copied its
        // mode to the player's settings, which every user could then write.
        // The other user's file waits in a folder of theirs that all may
        // write to, for the player's process to move it in at that moment.
        {"another user's 0666 file that appears while the game runs", [&](const fs::path& f) {
             fs::create_directory(f / "theirs");
             fs::permissions(f / "theirs", fs::perms(0777));
             plant(f / "theirs", [] {});
             plant(f / "theirs" / "game.cfg", [&] { write_text((f / "theirs" / "game.cfg").string(), "theirs = 1\n"); });
             fs::permissions(f / "theirs" / "game.cfg", fs::perms(0666));
         },
         cfgReadTy::none, CFG_KEPT_OTHERS,
         [&](const fs::path& f) {
             theirs_kept(f, other, fs::perms(0666));
             EXPECT_FALSE(fs::exists(f / "game.cfg.new"));
         },
         "('game.cfg', user 65533)", [] { (void)std::rename("theirs/game.cfg", "game.cfg"); }},
        // The same, with another user's file put at the new file's name
        // too: the save, giving up, removed that file by its name.
        {"another user's files at both names before the rename", [&](const fs::path& f) {
             fs::create_directory(f / "theirs");
             fs::permissions(f / "theirs", fs::perms(0777));
             plant(f / "theirs", [] {});
             for (const char* name : {"game.cfg", "new"})
                 plant(f / "theirs" / name, [&] { write_text((f / "theirs" / name).string(), "theirs = 1\n"); });
         },
         cfgReadTy::none, CFG_KEPT_OTHERS,
         [&](const fs::path& f) {
             theirs_kept(f, other, fs::perms(0644));
             EXPECT_EQ(read_text((f / "game.cfg.new").string()), "theirs = 1\n");
         },
         "('game.cfg', user 65533)", [] {
             (void)std::rename("theirs/game.cfg", "game.cfg");
             (void)std::rename("theirs/new", "game.cfg.new");
         }},
        // The player's own mode stays.
        {"the player's 0640 file", [](const fs::path& f) {
             write_text((f / "game.cfg").string(), "best_result = 1\n");
             EXPECT_EQ(::chown((f / "game.cfg").c_str(), player, player), 0);
             fs::permissions(f / "game.cfg", fs::perms(0640));
         },
         cfgReadTy::whole, 0, [&](const fs::path& f) { saved_mine(f, "best_result = 90515\n", fs::perms(0640)); }},
        // A file of root's the player may write is replaced by one of the
        // player's, which every user could write when its mode was copied.
        {"root's 0666 file, in a folder without the sticky bit", [](const fs::path& f) {
             fs::permissions(f, fs::perms(0777));
             write_text((f / "game.cfg").string(), "installed = 1\n");
             fs::permissions(f / "game.cfg", fs::perms(0666));
         },
         cfgReadTy::whole, 0, [&](const fs::path& f) { saved_mine(f, "installed = 1\nbest_result = 90515\n", fs::perms(0644)); }},
        // The sticky bit keeps root's file from the rename: the save said
        // "Operation not permitted", naming neither the owner nor a way out.
        {"root's 0666 file, in a folder with the sticky bit", [](const fs::path& f) {
             fs::permissions(f, fs::perms(01777));
             write_text((f / "game.cfg").string(), "installed = 1\n");
             fs::permissions(f / "game.cfg", fs::perms(0666));
         },
         cfgReadTy::whole, CFG_KEPT_OTHERS,
         [](const fs::path& f) { EXPECT_EQ(read_text((f / "game.cfg").string()), "installed = 1\n"); },
         "Owned by root ('game.cfg'): it is not yours to remove; run a copy of the game from a folder of your own"},
        // The group's write bit was copied from root's mode.
        {"root's 0666 file, in the player's folder", [&](const fs::path& f) {
             players_folder(f);
             write_text((f / "game.cfg").string(), "installed = 1\n");
             fs::permissions(f / "game.cfg", fs::perms(0666));
         },
         cfgReadTy::whole, 0, [&](const fs::path& f) { saved_mine(f, "installed = 1\nbest_result = 90515\n", fs::perms(0644)); }},
        // The execute, setuid and setgid bits were copied from the member's.
        {"a group member's 6777 file, in the group's folder", [&](const fs::path& f) { members_file(f, fs::perms(06777)); },
         cfgReadTy::whole, 0, [&](const fs::path& f) { saved_mine(f, "theirs = 1\nbest_result = 90515\n", fs::perms(0664)); }},
        // In a folder shared with a group, a member's file the player may
        // not write is kept, and says whose it is.
        {"a group member's file, in the group's folder", [](const fs::path& f) {
             fs::permissions(f, fs::perms(02775));
             EXPECT_EQ(::chown(f.c_str(), 0, player), 0);
             write_text((f / "game.cfg").string(), "theirs = 1\n");
             EXPECT_EQ(::chown((f / "game.cfg").c_str(), other, player), 0);
             fs::permissions(f / "game.cfg", fs::perms(0644));
         },
         cfgReadTy::whole, CFG_KEPT_OTHERS, [&](const fs::path& f) { theirs_kept(f, other, fs::perms(0644)); },
         "('game.cfg', user 65533)"},
        // A member's file the group may write is replaced, and the group
        // may still write the player's: its mode is kept, but for others'
        // writing, which was never the group's to hand out.
        {"a group member's 0666 file, in the group's folder", [&](const fs::path& f) { members_file(f, fs::perms(0666)); },
         cfgReadTy::whole, 0,
         [&](const fs::path& f) { saved_mine(f, "theirs = 1\nbest_result = 90515\n", fs::perms(0664)); }},
        // The player's own link still leads to the settings kept elsewhere.
        {"the player's link", [&](const fs::path& f) {
             fs::create_symlink("mine", f / "game.cfg");
             EXPECT_EQ(::lchown((f / "game.cfg").c_str(), player, player), 0);
         },
         cfgReadTy::whole, 0,
         [](const fs::path& f) {
             EXPECT_EQ(read_text((f / "mine").string()), "best_result = 90515\n");
             EXPECT_TRUE(fs::is_symlink(f / "game.cfg"));
         }},
        // Root's settings, as a game installed by root has them, are read.
        {"root's file", [&](const fs::path& f) {
             write_text((f / "game.cfg").string(), "installed = 1\n");
             fs::permissions(f / "game.cfg", fs::perms(0644));
         },
         cfgReadTy::whole, CFG_KEPT_OTHERS,
         [](const fs::path& f) { EXPECT_EQ(read_text((f / "game.cfg").string()), "installed = 1\n"); },
         "Owned by root ('game.cfg')"},
        // "Owned by another user ... make it yours, or remove it": the
        // player can do neither in a game installed for all users.
        {"root's file, in root's folder", [&](const fs::path& f) {
             fs::permissions(f, fs::perms(0755));
             write_text((f / "game.cfg").string(), "installed = 1\n");
         },
         cfgReadTy::whole, CFG_KEPT_OTHERS,
         [](const fs::path& f) { EXPECT_EQ(read_text((f / "game.cfg").string()), "installed = 1\n"); },
         "Owned by root ('game.cfg'): it is not yours to remove; run a copy of the game from a folder of your own"},
        // On a file system with neither a no-replace rename nor hard links,
        // the first save failed with "Operation not permitted".
        {"no safe rename, a first save in the player's folder", players_folder, cfgReadTy::none, 0,
         [&](const fs::path& f) {
             saved_mine(f, "best_result = 90515\n", fs::perms(0644));
             EXPECT_FALSE(fs::exists(f / "game.cfg.new"));
         },
         nullptr, nullptr, true},
        {"no safe rename, a first save in the shared folder", [](const fs::path&) {}, cfgReadTy::none, ERR_WRITE,
         [&](const fs::path& f) {
             EXPECT_FALSE(fs::exists(f / "game.cfg"));
             EXPECT_FALSE(fs::exists(f / "game.cfg.new"));
         },
         nullptr, nullptr, true, "This file system cannot make a name without replacing what has it"},
        // The player's link leads through another user's link in the middle
        // of the path: their settings were read and saved over.
        {"another user's link on the way", [&](const fs::path& f) {
             fs::create_directory(f / "theirs");
             fs::permissions(f / "theirs", fs::perms(0777));
             write_text((f / "theirs" / "game.cfg").string(), "theirs = 1\n");
             EXPECT_EQ(::chown((f / "theirs").c_str(), other, other), 0);
             plant(f / "x", [&] { fs::create_symlink("theirs", f / "x"); });
             fs::create_symlink("x/game.cfg", f / "game.cfg");
             EXPECT_EQ(::lchown((f / "game.cfg").c_str(), player, player), 0);
         },
         cfgReadTy::unopened, ERR_WRITE,
         [](const fs::path& f) { EXPECT_EQ(read_text((f / "theirs" / "game.cfg").string()), "theirs = 1\n"); }},
        // The player's own links on the way, as settings kept in a dotfiles
        // folder are reached, still read and save through.
        {"the player's links on the way", [&](const fs::path& f) {
             fs::create_directory(f / "dotfiles");
             write_text((f / "dotfiles" / "game.cfg").string(), "best_result = 1\n");
             fs::create_symlink("dotfiles", f / "via");
             fs::create_symlink("via/game.cfg", f / "game.cfg");
             for (const char* name : {"dotfiles", "dotfiles/game.cfg", "via", "game.cfg"})
                 EXPECT_EQ(::lchown((f / name).c_str(), player, player), 0);
         },
         cfgReadTy::whole, 0,
         [](const fs::path& f) {
             EXPECT_EQ(read_text((f / "dotfiles" / "game.cfg").string()), "best_result = 90515\n");
             EXPECT_TRUE(fs::is_symlink(f / "via"));
         }},
        // A member's link in the middle of the player's link's path led
        // the save to another folder of the player's.
        {"a group member's link on the way, in the group's folder", [&](const fs::path& f) {
             group_folder(f);
             fs::create_directory(f / "other_game");
             write_text((f / "other_game" / "game.cfg").string(), "another = 1\n");
             plant(f / "cfgs", [&] { fs::create_directory_symlink("other_game", f / "cfgs"); });
             fs::create_symlink("cfgs/game.cfg", f / "game.cfg");
             for (const char* name : {"other_game", "other_game/game.cfg", "game.cfg"})
                 EXPECT_EQ(::lchown((f / name).c_str(), player, player), 0);
         },
         cfgReadTy::unopened, ERR_WRITE,
         [](const fs::path& f) { EXPECT_EQ(read_text((f / "other_game" / "game.cfg").string()), "another = 1\n"); },
         nullptr, nullptr, false, "Owned by another user ('cfgs', a link of user 65533): make it yours, or remove it"},
        // With every new file's name taken, the save rewrites the player's
        // file in place; a member's link swapped in before it had the
        // settings written where it led.
        {"a group member's link swapped in before the rewrite in place", [&](const fs::path& f) {
             group_folder(f);
             write_text((f / "game.cfg").string(), "best_result = 1\n");
             EXPECT_EQ(::chown((f / "game.cfg").c_str(), player, player), 0);
             take_new_names(f);
             plant(f / "swap", [&] { fs::create_symlink("mine", f / "swap"); });
         },
         cfgReadTy::whole, CFG_KEPT_OTHERS,
         [](const fs::path& f) {
             EXPECT_EQ(read_text((f / "mine").string()), "-- precious\n");
             EXPECT_TRUE(fs::is_symlink(f / "game.cfg"));
         },
         "('game.cfg', a link of user 65533)", [] { (void)std::rename("swap", "game.cfg"); }},
        // A first save with every new file's name taken said "File exists".
        {"a group member's files at every new file's name, a first save", [&](const fs::path& f) {
             group_folder(f);
             take_new_names(f);
         },
         cfgReadTy::none, ERR_WRITE,
         [](const fs::path& f) {
             EXPECT_FALSE(fs::exists(f / "game.cfg"));
             EXPECT_EQ(read_text((f / "game.cfg.new").string()), "theirs\n");
         },
         nullptr, nullptr, false, "'game.cfg': Owned by another user ('game.cfg.new', user 65533): make it yours"},
        // The player's link through root's link and "..", into a dotfiles
        // folder, in the group's folder.
        {"the player's and root's links on the way, in the group's folder", [&](const fs::path& f) {
             group_folder(f);
             fs::create_directory(f / "dotfiles");
             write_text((f / "dotfiles" / "game.cfg").string(), "best_result = 1\n");
             fs::create_directory_symlink("dotfiles", f / "home");
             fs::create_symlink("home/../dotfiles/game.cfg", f / "game.cfg");
             for (const char* name : {"dotfiles", "dotfiles/game.cfg", "game.cfg"})
                 EXPECT_EQ(::lchown((f / name).c_str(), player, player), 0);
         },
         cfgReadTy::whole, 0,
         [](const fs::path& f) {
             EXPECT_EQ(read_text((f / "dotfiles" / "game.cfg").string()), "best_result = 90515\n");
         }},
        // Another user's file at the new file's name went as a leftover.
        {"another user's new file", [&](const fs::path& f) {
             plant(f / "game.cfg.new", [&] { write_text((f / "game.cfg.new").string(), "theirs\n"); });
         },
         cfgReadTy::none, 0,
         [](const fs::path& f) {
             EXPECT_EQ(read_text((f / "game.cfg.new").string()), "theirs\n");
             EXPECT_EQ(read_text((f / "game.cfg").string()), "best_result = 90515\n");
             EXPECT_FALSE(fs::exists(f / "game.cfg.1.new"));
         }},
    };
    for (const fs::perms mode : {fs::perms(01777), fs::perms(0777)}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + (mode == fs::perms(01777) ? ", sticky" : ", not sticky"));
            const fs::path folder = dir.path() / "shared";
            fs::remove_all(folder);
            fs::create_directory(folder);
            fs::permissions(folder, mode);
            write_text((folder / "mine").string(), "-- precious\n");
            EXPECT_EQ(::chown((folder / "mine").c_str(), player, player), 0);
            row.planted(folder);
            EXPECT_TRUE(as_unprivileged(folder, [&] {
                cfgBeforeRenameForTest = row.before_rename;
                if (row.no_safe_rename && !test_support::refuse_no_replace_rename_and_links())
                    return false;
                cfgCTy cfg;
                const cfgLoadTy read = cfg.Load("game.cfg");
                cfg.SetInt("best_result", 90515);
                return read.read == row.read && cfg.Save("game.cfg") == row.saved &&
                       (!row.named ||
                        platform::refusal_text(platform::error_untrusted_owner).find(row.named) != std::string::npos) &&
                       (!row.said || box_texts().find(row.said) != std::string::npos);
            }));
            row.check(folder);
        }
    }
}
