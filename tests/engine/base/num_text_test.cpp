#include "base_test_support.h"

#include <string>

namespace {

std::string text64(uint64_t v, unsigned base, unsigned options)
{
    char buffer[80];
    char* end = buffer + sizeof buffer;
    return std::string(numToText64(v, base, options, end), end);
}

std::string text32(uint32_t v, unsigned base, unsigned options)
{
    char buffer[80];
    char* end = buffer + sizeof buffer;
    return std::string(numToText32(v, base, options, end), end);
}

TEST(NumToText, BasesCaseAndSign)
{
    EXPECT_EQ(text64(0, 10, 0), "0");
    EXPECT_EQ(text64(255, 16, 0), "ff");
    EXPECT_EQ(text64(255, 16, NUM_UPPER), "FF");
    EXPECT_EQ(text64(35 * 36 + 35, 36, 0), "zz");
    EXPECT_EQ(text64(~0ULL, 2, 0), std::string(64, '1'));
    EXPECT_EQ(text64(static_cast<uint64_t>(INT64_MIN), 10, NUM_NEGATIVE), "-9223372036854775808");
    EXPECT_EQ(text64(static_cast<uint64_t>(-5), 10, 0), "18446744073709551611");
    EXPECT_EQ(text32(static_cast<uint32_t>(-5), 10, NUM_NEGATIVE), "-5");
    EXPECT_EQ(text32(static_cast<uint32_t>(-5), 10, 0), "4294967291");
}

TEST(NumToText, SegmentedFormHasEightDigitsAfterTheColonAndFourBefore)
{
    EXPECT_EQ(text32(0xABCDu, 16, NUM_SEGMENTED | NUM_UPPER), "0000:0000ABCD");
    EXPECT_EQ(text64(0x12345678ABCDEF01ULL, 16, NUM_SEGMENTED), "5678:abcdef01");
    EXPECT_EQ(text64(123, 10, NUM_SEGMENTED), "0000:00000123");
}

TEST(NumToText, BaseOutsideTwoToThirtySixWritesNothing)
{
    EXPECT_EQ(text64(5, 1, 0), "");
    EXPECT_EQ(text64(5, 37, 0), "");
}

TEST(CharCase, AsciiLettersOnlyChangeCase)
{
    for (int c = 0; c < 0x80; ++c) {
        const char ch = static_cast<char>(c);
        const bool lower = c >= 'a' && c <= 'z';
        const bool upper = c >= 'A' && c <= 'Z';
        EXPECT_EQ(chrToUpper(ch), lower ? static_cast<char>(c - 32) : ch) << c;
        EXPECT_EQ(chrToLower(ch), upper ? static_cast<char>(c + 32) : ch) << c;
    }
}

TEST(CharCase, HighByteMapsAsTheLayerAlwaysHad)
{
    auto up = [](int c) { return static_cast<unsigned char>(chrToUpper(static_cast<char>(c))); };
    auto down = [](int c) { return static_cast<unsigned char>(chrToLower(static_cast<char>(c))); };
    EXPECT_EQ(up(0xE0), 0xC0);
    EXPECT_EQ(up(0xEF), 0xCF);
    EXPECT_EQ(up(0xF0), 0x80);
    EXPECT_EQ(up(0xFF), 0x8F);
    EXPECT_EQ(up(0xA0), 0xA0);
    EXPECT_EQ(down(0x80), 0xA0);
    EXPECT_EQ(down(0x8F), 0xAF);
    EXPECT_EQ(down(0x90), 0xE0);
    EXPECT_EQ(down(0x9F), 0xEF);
    EXPECT_EQ(down(0xC0), 0xC0);

    char text[] = "MiXeD \x85\x95";
    EXPECT_EQ(strLower(text), text);
    EXPECT_STREQ(text, "mixed \xA5\xE5");
    EXPECT_EQ(strLower(nullptr), nullptr);
}

} // namespace
