#include "quarn/Exception.h"
#include "quarn/File.h"
#include "quarn/Log.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>

namespace {

using quarn_test::LogCapture;

// Restores a limits record after a test changed it.
struct SavedSettings {
    explicit SavedSettings(const char* name) : record(quarn::log_settings(name)), saved(*record) {}
    ~SavedSettings() { *record = saved; }
    quarn::LogSettings* record;
    quarn::LogSettings saved;
};

TEST(Log, ChannelsWriteTheirPrefixes)
{
    LogCapture capture;
    quarn::open_entry(quarn::io::log_error) << "e " << 1 << std::endl;
    quarn::open_entry(quarn::io::log_warning) << "w" << std::endl;
    quarn::open_entry(quarn::io::log_info) << "i" << std::endl;
    quarn::open_entry(quarn::log_error) << "unnamed" << std::endl;
    quarn::open_entry(quarn::log_info) << "plain" << std::endl;
    EXPECT_EQ(capture.text(),
              "[quarn.io] error: e 1\n[quarn.io] warning: w\n[quarn.io] i\n[] error: unnamed\n[] plain\n");
    EXPECT_EQ(quarn::log_file_name(quarn::io::log_error), capture.dir() / "capture.log");
    EXPECT_EQ(quarn::default_log_file_name(), capture.dir() / "capture.log");
}

TEST(Log, LimitsFilterByLevelAndVerbosity)
{
    LogCapture capture;
    SavedSettings io("quarn.io");
    io.record->limit[quarn::log_level_info] = -1;
    EXPECT_FALSE(quarn::open_entry(quarn::io::log_info));
    quarn::open_entry(quarn::io::log_info) << "silenced" << std::endl;
    quarn::open_entry(quarn::io::log_warning) << "kept" << std::endl;

    io.record->limit[quarn::log_level_warning] = 2;
    EXPECT_TRUE(quarn::open_entry(quarn::io::log_warning, 2));
    EXPECT_FALSE(quarn::open_entry(quarn::io::log_warning, 3));

    io.record->counter = 1;
    EXPECT_FALSE(quarn::open_entry(quarn::io::log_error));
    EXPECT_EQ(capture.text(), "[quarn.io] warning: kept\n");
}

TEST(Log, GateStopsEveryChannel)
{
    LogCapture capture;
    SavedSettings gate("!");
    gate.record->limit[quarn::log_level_error] = -1;
    EXPECT_FALSE(quarn::open_entry(quarn::log_exception));
    EXPECT_TRUE(quarn::open_entry(quarn::io::log_warning));
    gate.record->counter = 1;
    EXPECT_FALSE(quarn::open_entry(quarn::io::log_warning));
    EXPECT_FALSE(quarn::open_entry(quarn::log_info));
}

TEST(Log, UnnamedDescriptorsUseTheDefaults)
{
    LogCapture capture;
    SavedSettings defaults("*");
    defaults.record->limit[quarn::log_level_warning] = -1;
    EXPECT_FALSE(quarn::open_entry(quarn::log_warning));
    EXPECT_TRUE(quarn::open_entry(quarn::log_error));
}

TEST(Log, DescriptorOnItsOwnStream)
{
    std::ostringstream text;
    quarn::LogStream stream(text.rdbuf());
    quarn::LogLevelDesc desc(stream, 2);
    quarn::open_entry(desc) << "to a string " << true << std::endl;
    EXPECT_EQ(text.str(), "to a string true\n");
    EXPECT_EQ(quarn::log_file_name(desc), "") << "not a log file buffer";
    static constexpr quarn::LogChannel no_stream("x", 1, 0, nullptr);
    EXPECT_FALSE(quarn::open_entry(no_stream));
    quarn::open_entry(no_stream) << "goes nowhere" << std::endl;
}

TEST(Log, CopiesOfAnEntryShareOneMessage)
{
    LogCapture capture;
    {
        quarn::LogEntry a = quarn::open_entry(quarn::io::log_info);
        quarn::LogEntry b = a;
        a << "one ";
        b << "message" << std::endl;
    }
    EXPECT_EQ(capture.text(), "[quarn.io] one message\n");
}

TEST(ReportThrowLog, WritesTypeOriginAndMessage)
{
    LogCapture capture;
    EXPECT_FALSE(quarn::report_throw({"a", 3, "f"}, quarn::Exception("boom\nsecond")));
    const std::string pad(19, ' '); // "[exception] error: "
    EXPECT_EQ(capture.text(), "[exception] error: class quarn::Exception\n" + pad + "    a(3) : f : \n" + pad +
                                  "    boom\n" + pad + "second\n");
}

TEST(ReportThrowLog, EmptyMessageReportsTheTypeName)
{
    LogCapture capture;
    try {
        quarn::report_and_throw({nullptr, 0, "quarn::x"}, quarn::FactoryExc(std::string("class Foo")));
    } catch (const quarn::FactoryExc&) {
    }
    const std::string pad(19, ' ');
    EXPECT_EQ(capture.text(), "[exception] error: class quarn::FactoryExc\n" + pad + "    quarn::x : \n" + pad +
                                  "    Factory<class Foo> not found\n");
}

TEST(FileLog, OpenFailuresWarnForReadsAndErrForWrites)
{
    LogCapture capture;
    const std::string missing = capture.dir() / "missing.bin";
    quarn::File f;
    EXPECT_FALSE(f.open(missing.c_str(), quarn::open_mode::in));
    EXPECT_FALSE(f.open((capture.dir() / "no/such/dir.bin").c_str(), quarn::open_mode::out | quarn::open_mode::trunc));
    ASSERT_TRUE(f.open((capture.dir() / "made.bin").c_str(), quarn::open_mode::out));
    EXPECT_EQ(capture.text(), "[quarn.io] warning: '" + missing + "' open failed: No such file or directory\n" +
                                  "[quarn.io] error: '" + (capture.dir() / "no/such/dir.bin") +
                                  "' open failed: No such file or directory\n" + "[quarn.io] '" +
                                  (capture.dir() / "made.bin") + "' file opened.\n");
}

TEST(FileLog, ReadAndWriteFailuresAreErrors)
{
    LogCapture capture;
    capture.dir().write("r.bin", "x");
    quarn::File f;
    ASSERT_TRUE(f.open((capture.dir() / "r.bin").c_str(), quarn::open_mode::in));
    EXPECT_EQ(f.write("y", 1), 0u);
    SavedSettings io("quarn.io");
    io.record->limit[quarn::log_level_info] = 4; // the open message has verbosity 5
    quarn::File g;
    ASSERT_TRUE(g.open((capture.dir() / "w.bin").c_str(), quarn::open_mode::out));
    char c;
    EXPECT_EQ(g.read(&c, 1), 0u);
    std::string text = capture.text();
    EXPECT_NE(text.find("[quarn.io] error: writing failed: Bad file descriptor\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[quarn.io] error: reading failed: Bad file descriptor\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("w.bin' file opened."), std::string::npos) << text;
}

// Two threads log at once; every line must come out whole. Run under
// ThreadSanitizer too (see the report of the logging work).
TEST(LogThreads, MessagesOfTwoThreadsNeverMix)
{
    LogCapture capture;
    constexpr int per_thread = 400;
    static constexpr quarn::LogChannel a("thread.a", 4);
    static constexpr quarn::LogChannel b("thread.b", 1);
    auto run = [](const quarn::LogChannel& channel, char tag) {
        for (int i = 0; i < per_thread; ++i)
            quarn::open_entry(channel) << tag << ' ' << i << " part one," << " part two\nsecond line" << std::endl;
    };
    std::thread ta(run, std::cref(a), 'a');
    std::thread tb(run, std::cref(b), 'b');
    ta.join();
    tb.join();

    std::istringstream lines(capture.text());
    std::string line;
    std::set<std::string> seen;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        std::string second;
        ASSERT_TRUE(std::getline(lines, second));
        if (line.rfind("[thread.a] a ", 0) == 0)
            EXPECT_EQ(second, std::string(11, ' ') + "second line");
        else if (line.rfind("[thread.b] error: b ", 0) == 0)
            EXPECT_EQ(second, std::string(18, ' ') + "second line");
        else
            ADD_FAILURE() << "mixed line: " << line;
        EXPECT_EQ(line.substr(line.size() - 19), " part one, part two");
        seen.insert(line);
    }
    EXPECT_EQ(count, 2 * per_thread);
    EXPECT_EQ(seen.size(), size_t(2 * per_thread));
}

} // namespace
