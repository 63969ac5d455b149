#include "quarn/Exception.h"
#include "quarn/IoFailure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Exception, EmptyMessagesNameTheClass)
{
    EXPECT_STREQ(quarn::Exception().what(), "class quarn::Exception");
    EXPECT_STREQ(quarn::Exception(static_cast<const char*>(nullptr)).what(), "class quarn::Exception");
    EXPECT_STREQ(quarn::Exception("").what(), "class quarn::Exception");
    quarn::TextualErrorInfo nothing(nullptr);
    EXPECT_STREQ(quarn::Exception(nothing).what(), "class quarn::Exception");
    // The dynamic type decides, also through a base reference.
    const quarn::Exception& e = quarn::FactoryExc("", "");
    EXPECT_STREQ(e.type_name(), "class quarn::FactoryExc");
}

TEST(Exception, TextIsCopiedAndCutAt2047)
{
    std::string text(3000, 'x');
    text[2046] = 'L';
    quarn::Exception e(text.c_str());
    EXPECT_EQ(std::strlen(e.what()), 2047u);
    EXPECT_EQ(e.what()[2046], 'L');
    std::string exact(2047, 'y');
    EXPECT_EQ(quarn::Exception(exact.c_str()).what(), exact);
    text[0] = 'c';
    EXPECT_EQ(e.what()[0], 'x') << "the message is a copy";
}

TEST(Exception, CopiesKeepTheMessage)
{
    quarn::Exception a("first");
    quarn::Exception b(a);
    EXPECT_STREQ(b.what(), "first");
    quarn::Exception c("other");
    c = a;
    EXPECT_STREQ(c.what(), "first");
}

TEST(Exception, BuiltFromAnErrorChain)
{
    quarn::TextualErrorInfo cause("bad header");
    quarn::ErrorInfo wrapper("data.bin", &cause);
    EXPECT_STREQ(quarn::Exception(wrapper).what(), "bad header ('data.bin')");
    std::string long_text(5000, 'q');
    quarn::TextualErrorInfo big(long_text.c_str());
    EXPECT_EQ(std::strlen(quarn::Exception(big).what()), 2047u);
}

TEST(Exception, IoFailureDefaultsToIoError)
{
    EXPECT_STREQ(quarn::io::Failure().what(), "i/o error");
    EXPECT_STREQ(quarn::io::Failure("").what(), "i/o error");
    EXPECT_STREQ(quarn::io::Failure("eof").what(), "eof");
    EXPECT_STREQ(quarn::io::Failure().type_name(), "class quarn::io::Failure");
    EXPECT_STREQ(quarn::type_name_v<quarn::io::Failure>, "class quarn::io::Failure");
    quarn::TextualErrorInfo nothing(nullptr);
    EXPECT_STREQ(quarn::io::Failure(nothing).what(), "class quarn::io::Failure");
}

TEST(Exception, FactoryExcNamesTheMissingFactory)
{
    quarn::FactoryExc e("class Foo");
    EXPECT_STREQ(e.what(), "Factory<class Foo> not found");
    EXPECT_EQ(e.class_name(), "class Foo");
    quarn::FactoryExc copy(e);
    EXPECT_STREQ(copy.what(), "Factory<class Foo> not found");
    quarn::FactoryExc with_text("", "quarn::throw_factory_exception");
    EXPECT_STREQ(with_text.what(), "quarn::throw_factory_exception");
    std::string huge(3000, 'n');
    EXPECT_EQ(std::strlen(quarn::FactoryExc(huge).what()), 2047u);
}

TEST(Exception, ThrowExceptionThrowsThePlainClass)
{
    try {
        quarn::throw_exception("NOT IMPLEMENTED");
        FAIL();
    } catch (const quarn::Exception& e) {
        EXPECT_STREQ(e.what(), "NOT IMPLEMENTED");
        EXPECT_STREQ(e.type_name(), "class quarn::Exception");
    }
}

TEST(ThrowOrigin, Text)
{
    EXPECT_EQ(quarn::origin_text({"a", 3, "f"}), "a(3) : f : ");
    EXPECT_EQ(quarn::origin_text({nullptr, 0, "f"}), "f : ");
    EXPECT_EQ(quarn::origin_text({"", 7, "f"}), "f : ");
    EXPECT_EQ(quarn::origin_text({"a", 0, nullptr}), "a(0) : ");
    EXPECT_EQ(quarn::origin_text({}), "");
}

int prompt_answer = 1;
int prompt_calls = 0;
int test_prompt(const quarn::ThrowOrigin&, const char* text)
{
    ++prompt_calls;
    EXPECT_STREQ(text, "boom");
    return prompt_answer;
}

TEST(ReportThrow, RemembersTheOriginAndMapsPromptAnswers)
{
    quarn::Exception e("boom");
    EXPECT_FALSE(quarn::report_throw({"\\Lib\\x", 12, "quarn::x"}, e));
    quarn::ThrowOrigin last = quarn::last_throw_origin();
    EXPECT_STREQ(last.file, "\\Lib\\x");
    EXPECT_EQ(last.line, 12);
    EXPECT_STREQ(last.function, "quarn::x");

    quarn::set_assertion_prompt(&test_prompt);
    prompt_calls = 0;
    EXPECT_FALSE(quarn::report_throw({}, e)) << "the switch is off at start";
    EXPECT_EQ(prompt_calls, 0);
    quarn::set_assertion_box_enabled(true);
    prompt_answer = 0;
    EXPECT_TRUE(quarn::report_throw({}, e));
    prompt_answer = 1;
    EXPECT_FALSE(quarn::report_throw({}, e));
    EXPECT_EQ(prompt_calls, 2);
    prompt_answer = 2;
    EXPECT_DEATH(quarn::report_throw({}, e), "");
    quarn::set_assertion_box_enabled(false);
    quarn::set_assertion_prompt(nullptr);
}

TEST(ReportThrow, ReportAndThrowThrowsTheStaticType)
{
    try {
        quarn::report_and_throw({"\\Lib\\quarn\\src\\quarn\\stream", 61, "quarn::io::Stream::throw_failure_"},
                                quarn::io::Failure());
    } catch (const quarn::io::Failure& e) {
        EXPECT_STREQ(e.what(), "i/o error");
        EXPECT_EQ(quarn::last_throw_origin().line, 61);
        return;
    }
    FAIL() << "not thrown as io::Failure";
}

} // namespace
