#include "base_test_support.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

std::string format(const char* f, ...)
{
    char buffer[256];
    va_list va;
    va_start(va, f);
    strVFormat(buffer, sizeof buffer, f, va);
    va_end(va);
    return buffer;
}

std::string format_list(const char* f, std::initializer_list<strArgTy> items)
{
    char buffer[256];
    const strArgListTy list{items.begin(), items.size()};
    strFormatArgs(buffer, sizeof buffer, f, &list);
    return buffer;
}

intptr_t minus_five() { return -5; }
intptr_t the_name() { return reinterpret_cast<intptr_t>("name"); }
intptr_t big_value() { return static_cast<intptr_t>(0x123456789LL); }

class FormatTest : public BaseTest {};

TEST_F(FormatTest, DocumentedExamples)
{
    EXPECT_EQ(format("%d|%5d|%-5d|%05d", -7, 42, 42, 42), "-7|   42|42   |00042");
    EXPECT_EQ(format("%=7s", "ab"), "  ab   ");
    EXPECT_EQ(format("%#x", 255), "0xFF");
    EXPECT_EQ(format("%#x", 0), "0");
    EXPECT_EQ(format("% s", "  ab "), " ab ");
    EXPECT_EQ(format("%s", static_cast<const char*>(nullptr)), "NULL");
    EXPECT_EQ(format("%c", 0x1A), "<eof>");
    EXPECT_EQ(format("%.3c", 'x'), "xxx");
    EXPECT_EQ(format("%^d", &minus_five), "-5");
    EXPECT_EQ(format("a\nb"), "a\r\nb");
    EXPECT_EQ(errState.code, 0);
}

TEST_F(FormatTest, SignsAndBases)
{
    EXPECT_EQ(format("%+d|% d|%+d|%i", 5, 5, -5, -2147483647 - 1), "+5| 5|-5|-2147483648");
    EXPECT_EQ(format("%u|%x|%X|%o|%b", -1, 255, 255, 8, 5), "4294967295|ff|FF|10|101");
    // Octal's alternate prefix is there even for 0.
    EXPECT_EQ(format("%#o|%#o", 8, 0), "010|00");
    EXPECT_EQ(format("%z|%Z|%#z|%#z", 35, 35, 36, 0), "z|Z|0z10|0");
    EXPECT_EQ(format("%#8x|%#08x", 0xab, 0xab), "    0xAB|0x0000AB");
    EXPECT_EQ(format("%05d|%-05d|%=6d", -7, -7, 42), "-0007|-7   |  42  ");
}

TEST_F(FormatTest, SizeFlagsFetchTheirOwnCTypes)
{
    // 'l' is 32-bit, 'L' and "I64" 64-bit; mixing them must keep the
    // following arguments in step.
    EXPECT_EQ(format("%Ld %ld %I64u %d", -(1LL << 40), 7, ~0ULL, 9), "-1099511627776 7 18446744073709551615 9");
    EXPECT_EQ(format("%LX|%Lb", 0x1234567890ABCDEFLL, 1LL << 33), "1234567890ABCDEF|1000000000000000000000000000000000");
    EXPECT_EQ(format("%ld", 0x7FFFFFFF), "2147483647");
}

TEST_F(FormatTest, StringsAndCharacters)
{
    EXPECT_EQ(format("%S|%C|%.2s|%5.2s", "abc", 'q', "abcdef", "abcdef"), "ABC|Q|ab|   ab");
    // A precision larger than the width becomes the width, also for text.
    EXPECT_EQ(format("%.5s|", "ab"), "   ab|");
    EXPECT_EQ(format("%-\"8s|%'s", "ab", "cd"), "\"ab\"    |\"cd\"");
    EXPECT_EQ(format("% s|% S|", " \t x y \n", ""), " x y |  |");
    const char text[] = "hello world";
    EXPECT_EQ(format("[%#s]", text, text + 5), "[hello]");
    EXPECT_EQ(format("[%#s]", text + 5, text), "[]");
    EXPECT_EQ(format("%ws|%wS|%.2ws", u"wide", u"wide", u"wide"), "wide|WIDE|wi");
    const char16_t wtext[] = u"\u0141abc";
    EXPECT_EQ(format("%ws", wtext), "\x41"
                                    "abc"); // the low byte of U+0141
    EXPECT_EQ(format("%c%c|%.0c|%3c", 'a', '\n', 'z', 'y'), "a\r\n||  y");
}

TEST_F(FormatTest, IndirectAndGetterArguments)
{
    const int32_t i = -42;
    const int64_t l = 1LL << 35;
    const char* s = "via";
    EXPECT_EQ(format("%&d|%NLd|%F&s|%^s|%^Lx", &i, &l, &s, &the_name, &big_value), "-42|34359738368|via|name|123456789");
    EXPECT_EQ(errState.code, 0);
}

TEST_F(FormatTest, NullIndirectionSetsCodeAndSilencesLaterConversions)
{
    EXPECT_EQ(format("a%^sb", static_cast<strGetterTy>(nullptr)), "ab");
    EXPECT_EQ(errState.code, ERR_NULL_POINTER);
    errState.code = 0;
    // After the failed fetch, conversions print nothing; plain text goes on.
    EXPECT_EQ(format("%&d|%d|x", static_cast<const int*>(nullptr), 5), "||x");
    EXPECT_EQ(errState.code, ERR_NULL_POINTER);
}

TEST_F(FormatTest, StarWidthPrecisionAndConversion)
{
    EXPECT_EQ(format("%*d|%*d|%.*s|%.*s", 5, 42, -5, 42, 2, "abcdef", -1, "abc"), "   42|42   |ab|abc");
    // '*' among the sizes takes the conversion letter from the arguments.
    EXPECT_EQ(format("%l*|%-3*", 'd', 42, 'c', 'z'), "42|z  ");
}

TEST_F(FormatTest, PointersAndSegmentedForm)
{
    EXPECT_EQ(format("%p", reinterpret_cast<void*>(0x1234)), "0000000000001234");
    EXPECT_EQ(format("%P|%4p", reinterpret_cast<void*>(0xabc), reinterpret_cast<void*>(0xabc)), "0000000000000ABC|0abc");
    EXPECT_EQ(format("%lP", reinterpret_cast<void*>(0x123456789ULL)), "0001:23456789");
}

TEST_F(FormatTest, CountDirectiveCountsLineEnds)
{
    int n = -1;
    int m = -1;
    EXPECT_EQ(format("abc%n\n%n", &n, &m), "abc\r\n");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(m, 5);
}

TEST_F(FormatTest, FormatErrorsStopTheOutput)
{
    EXPECT_EQ(format("ab%fcd", 1.0), "ab");
    EXPECT_EQ(errState.code, ERR_FORMAT);
    errState.code = 0;
    EXPECT_EQ(format("abc%5"), "abc");
    EXPECT_EQ(errState.code, ERR_FORMAT);
    errState.code = 0;
    EXPECT_EQ(format("x%l"), "x");
    EXPECT_EQ(errState.code, ERR_FORMAT);
    // A code set before the call is kept.
    errState.code = ERR_DATA;
    EXPECT_EQ(format("%g"), "");
    EXPECT_EQ(errState.code, ERR_DATA);
}

TEST_F(FormatTest, UnknownConversionsPrintOnlyPadding)
{
    EXPECT_EQ(format("[%4k][%%][%Ix]"), "[    ][%][x]");
}

TEST_F(FormatTest, ExplicitListsAreCheckedItemByItem)
{
    int n = 0;
    const int32_t v = 7;
    EXPECT_EQ(format_list("%d %s %Ld%n %&d", {42, "abc", 5, strArgTy::Count(&n), strArgTy::Ref(&v)}), "42 abc 5 7");
    EXPECT_EQ(n, 8);
    EXPECT_EQ(errState.code, 0);

    EXPECT_EQ(format_list("%d %d", {1}), "1 ");
    EXPECT_EQ(errState.code, ERR_END_OF_DATA);
    errState.code = 0;

    // A number where a string is wanted is refused, not dereferenced.
    EXPECT_EQ(format_list("[%s]", {42}), "[]");
    EXPECT_EQ(errState.code, ERR_FORMAT);
    errState.code = 0;
    EXPECT_EQ(format_list("[%n]", {"text"}), "[]");
    EXPECT_EQ(errState.code, ERR_FORMAT);
    errState.code = 0;

    EXPECT_EQ(format_list("%s", {nullptr}), "NULL");
    EXPECT_EQ(errState.code, 0);

    char buffer[16];
    strFormatArgs(buffer, sizeof buffer, "a%db", nullptr);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(errState.code, ERR_END_OF_DATA);
}

TEST_F(FormatTest, OutputIsBoundedByTheDestination)
{
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    char* end = strFormat(buffer, 8, "%s", "0123456789");
    EXPECT_STREQ(buffer, "0123456");
    EXPECT_EQ(end, buffer + 7);
    EXPECT_EQ(buffer[8], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(strFormat(buffer, 1, "abc"), buffer);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
    EXPECT_EQ(strFormat(buffer, 0, "abc"), buffer);
    EXPECT_EQ(buffer[0], '\0');

    // The line-end rule must not push the text past the end either.
    std::memset(buffer, '#', sizeof buffer);
    strFormat(buffer, 4, "ab\n");
    EXPECT_STREQ(buffer, "ab\r");
}

TEST_F(FormatTest, NoBufferFormWritesTheMessageBufferBounded)
{
    const std::string long_text(3 * STR_MESSAGE_BUFFER_SIZE, 'x');
    char* end = strFormat(nullptr, 0, "%s", long_text.c_str());
    EXPECT_EQ(end, strMessageBuffer() + STR_MESSAGE_BUFFER_SIZE - 1);
    EXPECT_EQ(std::strlen(strMessageBuffer()), STR_MESSAGE_BUFFER_SIZE - 1);
}

TEST_F(FormatTest, HugeFieldsAreCountedNotWritten)
{
    char buffer[8];
    int n = 0;
    strFormat(buffer, sizeof buffer, "%999999999d%n%99999999999999.1c", 1, &n, 'a');
    EXPECT_STREQ(buffer, "       ");
    EXPECT_EQ(n, 999999999);
}

TEST_F(FormatTest, CoreDeliversEveryByteAndCountsThem)
{
    std::string out;
    auto put = [](void* context, char c) {
        static_cast<std::string*>(context)->push_back(c);
        return true;
    };
    strListArgsTy args(nullptr, 0);
    EXPECT_EQ(strFormatCore(&out, put, "a\nb", 0, &args), 3);
    EXPECT_EQ(out, "a\nb");
    out.clear();
    EXPECT_EQ(strFormatCore(&out, put, "a\nb\r\n", STR_MODE_TEXT, &args), 6);
    EXPECT_EQ(out, "a\r\nb\r\n");
}

} // namespace
