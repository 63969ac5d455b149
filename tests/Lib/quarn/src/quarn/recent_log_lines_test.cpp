#include "quarn/RecentLogLines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines tail_of(const std::string& text)
{
    std::istringstream in(text);
    return quarn::detail::recent_log_lines(in);
}

std::string numbered_lines(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

TEST(RecentLogLines, KeepsTheLastNineLinesInFileOrder)
{
    EXPECT_EQ(tail_of(""), Lines{});
    EXPECT_EQ(tail_of(numbered_lines(1, 3)), (Lines{"line 1", "line 2", "line 3"}));
    EXPECT_EQ(tail_of(numbered_lines(1, 9)).size(), 9u);
    // The read that meets the end of the input takes one of the ten slots.
    EXPECT_EQ(tail_of(numbered_lines(1, 10)).front(), "line 2");
    Lines last_nine;
    for (int i = 17; i <= 25; ++i)
        last_nine.push_back("line " + std::to_string(i));
    EXPECT_EQ(tail_of(numbered_lines(1, 25)), last_nine);
}

TEST(RecentLogLines, EmptyLinesTakeASlotButAreNotShown)
{
    EXPECT_EQ(tail_of("a\n\nb\n\n"), (Lines{"a", "b"}));
    // Eleven lines, the last four empty: the slots hold lines 3 to 11.
    EXPECT_EQ(tail_of(numbered_lines(1, 7) + "\n\n\n\n"), (Lines{"line 3", "line 4", "line 5", "line 6", "line 7"}));
}

TEST(RecentLogLines, ReadsLinesAsTheyAreWritten)
{
    EXPECT_EQ(tail_of("no line end at the end"), Lines{"no line end at the end"});
    EXPECT_EQ(tail_of("windows\r\nline ends\r\n"), (Lines{"windows", "line ends"}));
    EXPECT_EQ(tail_of(std::string("nul\0inside\n", 11)), Lines{"nulinside"});
}

TEST(RecentLogLines, AnOverlongLineIsCutAndReadingGoesOn)
{
    const std::string exact(quarn::detail::recent_line_limit, 'x');
    const std::string longer(300, 'y');
    Lines tail = tail_of("first\n" + exact + "\n" + longer + "\nlast\n");
    ASSERT_EQ(tail.size(), 4u);
    EXPECT_EQ(tail[1], exact);
    EXPECT_EQ(tail[2], std::string(quarn::detail::recent_line_limit, 'y'));
    EXPECT_EQ(tail[3], "last");
}

} // namespace
