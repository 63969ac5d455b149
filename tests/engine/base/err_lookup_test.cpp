#include "base_test_support.h"

#include <string>

namespace {

// What reached the box handler and the message hook.
struct Seen {
    std::vector<std::string> box_messages;
    std::vector<int> box_codes;
    std::vector<std::string> hook_messages;
};
Seen seen;

void recording_box_handler(errStateTy* state)
{
    seen.box_messages.emplace_back(state->message ? state->message : "(null)");
    seen.box_codes.push_back(state->code);
}

void recording_hook(errStateTy*, const char* message) { seen.hook_messages.emplace_back(message ? message : "(null)"); }

class LookupTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        seen = {};
        errInitFileMessages();
        errSetBoxHandler(recording_box_handler);
        errState.messageHook = recording_hook;
    }
};

TEST_F(LookupTest, FileRecordsNeedTheirArgument)
{
    EXPECT_EQ(errReportArg(ERR_OPEN, "data/track.obst"), ERR_OPEN);
    EXPECT_EQ(errReport(ERR_OPEN), ERR_OPEN);
    EXPECT_EQ(errReportArg(ERR_CREATE, "out.cfg"), ERR_CREATE);
    ASSERT_EQ(seen.box_messages.size(), 3u);
    EXPECT_EQ(seen.box_messages[0], "Can't open file 'data/track.obst'");
    EXPECT_EQ(seen.box_messages[1], "Can't open file");
    EXPECT_EQ(seen.box_messages[2], "Can't create file 'out.cfg'");
}

TEST_F(LookupTest, DriveRecordsNameTheDriveLetter)
{
    errState.drive = 2;
    EXPECT_EQ(errReport(-22), -22);
    errState.drive = 0xFF;
    EXPECT_EQ(errReport(-22), -22);
    ASSERT_EQ(seen.box_messages.size(), 2u);
    EXPECT_EQ(seen.box_messages[0], "Device 'C' is write protected");
    EXPECT_EQ(seen.box_messages[1], "Device is write protected");
}

TEST_F(LookupTest, UnknownCodesGetTheCatchAll)
{
    EXPECT_EQ(errReport(-1000), -1000);
    EXPECT_EQ(errReportArg(-4, "x"), -4);
    ASSERT_EQ(seen.box_messages.size(), 2u);
    EXPECT_EQ(seen.box_messages[0], "Error -1000");
    EXPECT_EQ(seen.box_messages[1], "Error -4");
}

TEST_F(LookupTest, WarningsGoToTheMessageHookNotTheBox)
{
    EXPECT_EQ(errReport(ERR_NUMBER_OVERFLOW), ERR_NUMBER_OVERFLOW);
    EXPECT_TRUE(seen.box_messages.empty());
    ASSERT_EQ(seen.hook_messages.size(), 1u);
    EXPECT_EQ(seen.hook_messages[0], "Number overflow");
    EXPECT_EQ(errState.level, ERR_LEVEL_WARNING);
    // The report's own level wins over the record's.
    EXPECT_EQ(errReportEx(nullptr, ERR_LEVEL_WARNING, ERR_DATA, 0, nullptr, nullptr, nullptr, -1), ERR_DATA);
    EXPECT_EQ(seen.hook_messages.back(), "Data error");
    EXPECT_TRUE(seen.box_messages.empty());
}

// A file's name is printed, not read as a format, and shown: what another
// user may have put in it is written out. A long one cut the message at
// its buffer's end, the closing quote and any text after the name lost:
// it keeps its start and its end, and the message stays whole.
TEST_F(LookupTest, FileNamesAreShownNotInterpreted)
{
    const std::pair<std::string, std::string> rows[] = {
        {"100%s%n%d.bin", "Can't open file '100%s%n%d.bin'"},
        {"a\x1b[2J\xe2\x80\xae.bin", "Can't open file 'a\\x1b[2J\\u202e.bin'"},
        {std::string(2000, 'n'), "Can't open file '" + std::string(156, 'n') + "..." + std::string(312, 'n') + "'"},
    };
    for (const auto& [name, said] : rows) {
        seen = {};
        EXPECT_EQ(errReportArg(ERR_OPEN, name.c_str()), ERR_OPEN);
        ASSERT_EQ(seen.box_messages.size(), 1u);
        EXPECT_EQ(seen.box_messages[0], said);
    }
}

// Test doubles of the sets other subsystems link in (the display's set has
// language 3, flags 0x3803 and level-4 records of its own).
const errMsgTy display_records[] = {
    {-2, ERR_LEVEL_ERROR, "Display: out of video memory", nullptr},
    {-7000, ERR_LEVEL_ERROR, "Display: surface lost", nullptr},
    {0, 0, nullptr, nullptr},
};
errMsgSetTy display_set{nullptr, 0x3803, 0, display_records, nullptr};

TEST_F(LookupTest, SetsLinkedAtTheHeadAreSearchedFirst)
{
    errAddMessages(&display_set);
    errAddMessages(&display_set); // linking twice must not loop the chain
    errAddMessages(nullptr);
    EXPECT_EQ(errReport(-7000), -7000);
    EXPECT_EQ(errReport(ERR_NO_MEMORY), ERR_NO_MEMORY);
    EXPECT_EQ(errReport(ERR_DATA), ERR_DATA);
    ASSERT_EQ(seen.box_messages.size(), 3u);
    EXPECT_EQ(seen.box_messages[0], "Display: surface lost");
    EXPECT_EQ(seen.box_messages[1], "Display: out of video memory");
    EXPECT_EQ(seen.box_messages[2], "Data error");
    EXPECT_NE(display_set.flags2 & ERR_SET2_LINKED, 0u);
}

const errMsgShortTy short_records[] = {{-7100, "short text"}, {0, nullptr}};
errMsgSetTy foreign_language{nullptr, 4 | ERR_SET_SECOND_PASS | ERR_SET_VARIANTS, ERR_SET2_SHORT | ERR_LEVEL_ERROR, short_records, nullptr};
const errMsgTy other_records[] = {{-7200, 4, "never found", nullptr}, {0, 0, nullptr, nullptr}};
errMsgSetTy other_language{nullptr, 4 | ERR_SET_VARIANTS, 0, other_records, nullptr};

TEST_F(LookupTest, SecondPassTakesSetsFlaggedForIt)
{
    errAddMessages(&foreign_language);
    errAddMessages(&other_language);
    EXPECT_EQ(errReport(-7100), -7100);
    EXPECT_EQ(errReport(-7200), -7200);
    ASSERT_EQ(seen.box_messages.size(), 2u);
    EXPECT_EQ(seen.box_messages[0], "short text");
    EXPECT_EQ(seen.box_messages[1], "Error -7200");
}

const errMsgTy stop_records[] = {{ERR_STOP_RECORD, 4, "stop", nullptr}, {0, 0, nullptr, nullptr}};
errMsgSetTy stop_set{nullptr, 0x3803, 0, stop_records, nullptr};

TEST_F(LookupTest, StopRecordEndsTheSearchAfterItsSet)
{
    errAddMessages(&stop_set);
    // The general set (and its catch-all) lies behind the stop record.
    uint8_t level = 0;
    EXPECT_STREQ(errLookupMessage(nullptr, 0, nullptr, ERR_DATA, 0, &level), "");
    // An empty text makes the report an error-level one.
    EXPECT_EQ(errReport(ERR_DATA), ERR_DATA);
    ASSERT_EQ(seen.box_messages.size(), 1u);
    EXPECT_EQ(seen.box_messages[0], "");
}

TEST_F(LookupTest, ExtraSetIsSearchedBeforeTheChain)
{
    const errMsgTy records[] = {{ERR_DATA, ERR_LEVEL_WARNING, "extra data text", nullptr}, {0, 0, nullptr, nullptr}};
    errMsgSetTy extra{nullptr, 0x3803, 0, records, nullptr};
    EXPECT_EQ(errReportEx(&extra, 0, ERR_DATA, 0, nullptr, nullptr, nullptr, -1), ERR_DATA);
    ASSERT_EQ(seen.hook_messages.size(), 1u);
    EXPECT_EQ(seen.hook_messages[0], "extra data text");
}

intptr_t given_name() { return reinterpret_cast<intptr_t>("given"); }

TEST_F(LookupTest, ReportArgumentListReplacesTheRecords)
{
    const strArgTy items[] = {strArgTy::TextGetter(given_name)};
    const strArgListTy list{items, 1};
    EXPECT_EQ(errReportEx(nullptr, 0, ERR_OPEN, reinterpret_cast<uintptr_t>("ignored"), nullptr, &list, nullptr, -1),
              ERR_OPEN);
    ASSERT_EQ(seen.box_messages.size(), 1u);
    EXPECT_EQ(seen.box_messages[0], "Can't open file 'given'");
}

TEST_F(LookupTest, LookupIntoACallersBuffer)
{
    char buffer[16];
    uint8_t level = 0;
    EXPECT_EQ(errLookupMessage(buffer, sizeof buffer, nullptr, -64, 0, &level), buffer);
    EXPECT_STREQ(buffer, "Function is not");
    EXPECT_EQ(level, ERR_LEVEL_ERROR);
    // Without a buffer and without placeholders the record's own text comes back.
    const char* text = errLookupMessage(nullptr, 0, nullptr, -64, 0, &level);
    EXPECT_STREQ(text, "Function is not implemented");
    EXPECT_NE(text, strMessageBuffer());
}

int null_callback(int, int, const char*) { return 0; }
int skip_callback(int, int, const char*) { return ERR_NO_MEMORY; }
const errMsgTy callback_records[] = {{-7300, 4, "with callback", nullptr}, {0, 0, nullptr, nullptr}};
errMsgSetTy null_set{nullptr, 0x3803, 0, callback_records, null_callback};
errMsgSetTy skip_set{nullptr, 0x3803, 0, callback_records, skip_callback};

TEST_F(LookupTest, CallbackNullEndsTheHandlerAndRestoresTheMode)
{
    errAddMessages(&null_set);
    EXPECT_EQ(errReport(-7300), -7300);
    EXPECT_TRUE(seen.box_messages.empty());
    EXPECT_EQ(errState.mode, 0);
    // Later reports are still handled, and unwind inside frames.
    EXPECT_EQ(errReport(ERR_DATA), ERR_DATA);
    EXPECT_EQ(seen.box_messages.size(), 1u);
    EXPECT_EQ(errTry([] { (void)errReport(ERR_DATA); }), ERR_DATA);
}

TEST_F(LookupTest, CallbackSkipGoesStraightToTheBox)
{
    errAddMessages(&skip_set);
    EXPECT_EQ(errReport(-7300), -7300);
    ASSERT_EQ(seen.box_messages.size(), 1u);
    EXPECT_EQ(seen.box_messages[0], "(null)");
    EXPECT_EQ(errState.mode, 0);
}

TEST_F(LookupTest, StatusTellsNothingFoundFromSkipAndDrop)
{
    // The texts of "nothing found" and "skip" are both empty; only the
    // status tells them apart, whatever the compiler does with literals.
    errAddMessages(&stop_set);
    uint8_t level = 0;
    errLookupStatus status = errLookupStatus::found;
    EXPECT_STREQ(errLookupMessage(nullptr, 0, nullptr, ERR_DATA, 0, &level, &status), "");
    EXPECT_EQ(status, errLookupStatus::none);
    errAddMessages(&skip_set);
    EXPECT_STREQ(errLookupMessage(nullptr, 0, nullptr, -7300, 0, &level, &status), "");
    EXPECT_EQ(status, errLookupStatus::skip);
    // Nothing found still reaches the box, with an empty text.
    EXPECT_EQ(errReport(ERR_DATA), ERR_DATA);
    ASSERT_EQ(seen.box_messages.size(), 1u);
    EXPECT_EQ(seen.box_messages[0], "");
}

TEST_F(LookupTest, StatusOfAFoundTextAndOfADroppedOne)
{
    uint8_t level = 0;
    errLookupStatus status = errLookupStatus::none;
    EXPECT_STREQ(errLookupMessage(nullptr, 0, nullptr, -64, 0, &level, &status), "Function is not implemented");
    EXPECT_EQ(status, errLookupStatus::found);
    errAddMessages(&null_set);
    EXPECT_EQ(errLookupMessage(nullptr, 0, nullptr, -7300, 0, &level, &status), nullptr);
    EXPECT_EQ(status, errLookupStatus::dropped);
}

} // namespace
