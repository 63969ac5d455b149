#include "base_test_support.h"

#include "platform/headless.h"

#include <string>

namespace {

using platform::BoxAnswer;
using platform::BoxRequest;

class DebugBoxTest : public BaseTest {};

// Test double of the display's hook table: its window getter names the main
// window, the other hooks log their calls.
std::vector<std::string> hook_log;
int fake_window;
void* window_getter() { return &fake_window; }
void before_box() { hook_log.emplace_back("before"); }
void after_box() { hook_log.emplace_back("after"); }
void title_hook(const char* title) { hook_log.emplace_back(std::string("title ") + title); }
void button_hook(int answer) { hook_log.emplace_back("button " + std::to_string(answer)); }

TEST_F(DebugBoxTest, HooksRunAroundTheBoxAndItsOwnerIsTheirWindow)
{
    hook_log.clear();
    const dbgHooksTy hooks{window_getter, before_box, after_box, title_hook, button_hook};
    dbgSetHooks(&hooks);
    answer_boxes(BoxAnswer::retry);
    errState.level = ERR_LEVEL_ERROR;
    EXPECT_EQ(dbgMessageF("f.cpp", 1, -5, "%s", "text"), ERR_DEBUG_BREAK);
    EXPECT_EQ(hook_log, (std::vector<std::string>{"title Error Message", "before", "after", "button 4"}));
    ASSERT_EQ(boxes().size(), 1u);
    const BoxRequest box = boxes()[0];
    EXPECT_EQ(box.owner, &fake_window);
    EXPECT_TRUE(box.system_modal);
    EXPECT_TRUE(box.set_foreground);
    EXPECT_EQ(box.icon, platform::BoxIcon::error);

    dbgSetHooks(nullptr);
    EXPECT_EQ(dbgMessageF(nullptr, -1, 0, "%s", "x"), ERR_DEBUG_BREAK);
    EXPECT_EQ(boxes()[1].owner, nullptr);
    EXPECT_EQ(hook_log.size(), 4u);
}

TEST_F(DebugBoxTest, TitlesFollowTheLevel)
{
    errState.level = ERR_LEVEL_WARNING;
    dbgMessageF(nullptr, -1, 0, "%s", "w");
    errState.level = 0;
    dbgMessageF(nullptr, -1, 0, "%s", "m");
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[0].caption, "Warning Message");
    EXPECT_EQ(boxes()[1].caption, "Message");
}

TEST_F(DebugBoxTest, ABoxAskedForWhileOneIsOpenGetsTheSecondCallTitle)
{
    int inner_answer = 0;
    platform::set_box_policy([&](const BoxRequest& request) {
        if (request.caption == "outer")
            inner_answer = dbgMessageBox("inner text", "inner", DBG_MB_ABORTRETRYIGNORE | DBG_MB_TASKMODAL |
                                                                     DBG_MB_ICONEXCLAMATION);
        return BoxAnswer::ignore;
    });
    EXPECT_EQ(dbgMessageBox("outer text", "outer", DBG_MB_OK), DBG_IDIGNORE);
    EXPECT_EQ(inner_answer, DBG_IDIGNORE);
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].caption, "Debug Message - SECOND CALL");
    EXPECT_EQ(shown[1].text, "inner text");
    EXPECT_TRUE(shown[1].system_modal);
    EXPECT_EQ(shown[1].icon, platform::BoxIcon::error);
    // The flag is down again after the outer box.
    dbgMessageBox("third", "third", DBG_MB_OK);
    EXPECT_EQ(boxes()[2].caption, "third");
}

TEST_F(DebugBoxTest, BoxTypeBitsReachThePlatformBox)
{
    answer_boxes(BoxAnswer::cancel);
    EXPECT_EQ(dbgMessageBox("t", "c", DBG_MB_RETRYCANCEL | DBG_MB_DEFBUTTON2 | DBG_MB_ICONASTERISK |
                                          DBG_MB_TASKMODAL | DBG_MB_TOPMOST),
              DBG_IDCANCEL);
    const BoxRequest box = boxes()[0];
    EXPECT_EQ(box.buttons, platform::BoxButtons::retry_cancel);
    EXPECT_EQ(box.default_button, 1);
    EXPECT_EQ(box.icon, platform::BoxIcon::information);
    EXPECT_FALSE(box.system_modal);
    EXPECT_TRUE(box.topmost);
}

// A report box the desktop could not show took its default button, Abort,
// and ended the program over a report it was meant to survive.
TEST_F(DebugBoxTest, ABoxNobodySawGoesOnInsteadOfEndingTheProgram)
{
    platform::headless::refuse_boxes(2);
    errState.level = ERR_LEVEL_ERROR;
    EXPECT_EQ(dbgMessageF("f.cpp", 1, -5, "%s", "Bad value"), ERR_BOX_IGNORE);
    EXPECT_EQ(dbgMessageBox("t", "c", DBG_MB_RETRYCANCEL), DBG_IDCANCEL);
    platform::headless::refuse_boxes(0);
    EXPECT_EQ(errState.answer, ERR_BOX_IGNORE);
}

// The names on the box's lines are paths, whose folders another user may
// have named: shown, ESC and U+202E written out. A long one keeps its start
// and its end, in 64 bytes: it kept its last 61, cut inside a letter.
TEST_F(DebugBoxTest, NamesAreShownAndALongOneKeepsItsStartAndEnd)
{
    const std::string a = "aaa\xc3\xa9", b15(15, 'b'), b37 = std::string(37, 'b') + ".cpp";
    const std::pair<std::string, std::string> rows[] = {
        {"dir\x1b[2J\xe2\x80\xae/x.cpp", "dir\\x1b[2J\\u202e/x.cpp"},
        {a + b15 + std::string(41, 'b') + ".cpp", a + b15 + "..." + b37}, // the last 61 bytes start inside 'é'
    };
    for (const auto& [file, shown] : rows) {
        platform::clear_shown_boxes();
        dbgMessageF(file.c_str(), 0, 0, nullptr);
        const std::string text = boxes()[0].text;
        EXPECT_NE(text.find("\nFile        : " + shown + "\n\n"), std::string::npos) << text;
        // Line 0 prints no line number; the line stays empty.
        EXPECT_EQ(text.find("Line"), std::string::npos);
    }
}

TEST_F(DebugBoxTest, OverlongUserTextIsCutAndMarked)
{
    const std::string user(600, 'u');
    dbgMessageF(nullptr, -1, 0, "%s", user.c_str());
    const std::string text = boxes()[0].text;
    EXPECT_NE(text.find("\n" + std::string(512, 'u') + "User message too long\n"), std::string::npos);
    EXPECT_EQ(text.find(std::string(513, 'u')), std::string::npos);
}

} // namespace
