#include "quarn/LogSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quarn::LogSettings;
using quarn::LogSettingsTable;
constexpr int32_t max = LogSettings::unlimited;

struct Limits {
    int32_t e, w, i;
    bool operator==(const Limits&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Limits& l) { return out << "{" << l.e << "," << l.w << "," << l.i << "}"; }

Limits limits_of(LogSettingsTable& table, const char* name)
{
    const LogSettings& s = table.find(name);
    return {s.limit[0], s.limit[1], s.limit[2]};
}

struct Case {
    const char* text;
    const char* channel;
    Limits expected;
};

TEST(LogSettingsGrammar, Table)
{
    const Case cases[] = {
        // levels and values
        {"[quarn.io] info -*", "quarn.io", {max, max, -1}},
        {"[quarn.io] -*", "quarn.io", {-1, -1, -1}},
        {"[quarn.io] -* +*", "quarn.io", {max, max, max}},
        {"[quarn.io] info -* +*", "quarn.io", {max, max, max}}, // the second value is not bound
        {"[quarn.io] warning -* error -*", "quarn.io", {-1, -1, max}},
        {"[a] =0", "a", {0, 0, 0}},
        {"[a] -0", "a", {0, 0, 0}},
        {"[a] +0", "a", {0, 0, 0}},
        {"[a] -5", "a", {4, 4, 4}},
        {"[a] -5 -7", "a", {4, 4, 4}},  // -N only lowers
        {"[a] -5 +3", "a", {4, 4, 4}},  // +N only raises
        {"[a] -5 +9", "a", {9, 9, 9}},
        {"[a] =3 =7", "a", {7, 7, 7}},
        {"[a] =-3", "a", {2, 2, 2}},
        {"[a] -", "a", {-1, -1, -1}},   // a sign alone stands for *
        {"[a] -* *", "a", {max, max, max}}, // a lone * is +*
        {"[a] -* e+", "a", {max, -1, -1}},
        {"[a] -99999999999999", "a", {max - 1, max - 1, max - 1}},
        // words: only the first letter counts
        {"[a] i -* w -* errors -1", "a", {0, -1, -1}},
        // comments between a level word and its value keep the binding
        {"[a] info ; why\n -*", "a", {max, max, -1}},
        {"[a] info // why\n -*", "a", {max, max, -1}},
        // anything else breaks it
        {"[a] info x -*", "a", {-1, -1, -1}},
        {"[a] info #dir\n -*", "a", {-1, -1, -1}},
        // section names: blanks, escapes, quotes
        {"[   quarn.io] -*", "quarn.io", {-1, -1, -1}},
        {"[a\\]b] -*", "a]b", {-1, -1, -1}},
        {"[tab\\there] -*", "tab\there", {-1, -1, -1}},
        {"[\"x] y\"] -*", "x] y", {-1, -1, -1}},
        {"['q'  ] -*", "q", {-1, -1, -1}},
        {"[unterminated -*", "unterminated -*", {max, max, max}},
        // directives and stray characters do nothing
        {"#include whatever -*\n[a] ?! -3", "a", {2, 2, 2}},
        // before any section values go to the empty name
        {"-*", "", {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LogSettingsTable table;
        quarn::parse_log_settings(c.text, table);
        EXPECT_EQ(limits_of(table, c.channel), c.expected);
    }
}

TEST(LogSettingsGrammar, StarSectionOverwritesEveryChannel)
{
    LogSettingsTable table;
    quarn::parse_log_settings("[a] -3 [b] info -* [*] warning -* [c] +*", table);
    EXPECT_EQ(limits_of(table, "a"), (Limits{max, -1, max}));
    EXPECT_EQ(limits_of(table, "b"), (Limits{max, -1, max}));
    EXPECT_EQ(limits_of(table, "c"), (Limits{max, max, max}));
    // Records made later start from "*".
    EXPECT_EQ(limits_of(table, "new"), (Limits{max, -1, max}));
}

TEST(LogSettingsGrammar, GateSection)
{
    LogSettingsTable table;
    quarn::parse_log_settings("[!] info -*", table);
    EXPECT_EQ(table.gate().limit[2], -1);
    EXPECT_EQ(table.size(), 0u) << "built-in records never enter the table";
    EXPECT_EQ(&table.find("!"), &table.gate());
    EXPECT_EQ(&table.find("*"), &table.defaults());
}

TEST(LogSettingsGrammar, UnsupportedOperatorsSkipTheRestOfTheLine)
{
    LogSettingsTable table;
    std::vector<std::string> problems;
    quarn::parse_log_settings("[a] += -*\n[b] -=3\n-*\n[c] -2", table, &problems);
    EXPECT_EQ(limits_of(table, "a"), (Limits{max, max, max}));
    EXPECT_EQ(limits_of(table, "b"), (Limits{-1, -1, -1})) << "the next line counts again";
    EXPECT_EQ(limits_of(table, "c"), (Limits{1, 1, 1}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "log settings line 1: '+=' is not supported; rest of the line ignored");
    EXPECT_EQ(problems[1], "log settings line 2: '-=' is not supported; rest of the line ignored");
}

TEST(LogSettingsGrammar, ArbitraryBytesNeverThrow)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) & 0xff);
    LogSettingsTable table;
    EXPECT_NO_THROW(quarn::parse_log_settings(junk, table));
    EXPECT_NO_THROW(quarn::parse_log_settings("[\\", table));
    EXPECT_NO_THROW(quarn::parse_log_settings("[\"", table));
    EXPECT_NO_THROW(quarn::parse_log_settings(std::string("[a\0b] -*", 8), table));
}

} // namespace
