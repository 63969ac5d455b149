// Shared by the report box and assertion box tests: the log redirected to a
// scratch file and the headless boxes answered and recorded.
#pragma once

#include "quarn/Log.h"
#include "quarn/ReportBox.h"

#include "platform/platform.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn_test {

class BoxTest : public ::testing::Test {
protected:
    BoxTest()
    {
        platform::set_box_policy(nullptr);
        platform::clear_shown_boxes();
    }
    ~BoxTest() override
    {
        platform::set_box_policy(nullptr);
        platform::clear_shown_boxes();
        quarn::set_assertion_box_enabled(false);
    }

    static void answer_with(platform::BoxAnswer answer)
    {
        platform::set_box_policy([answer](const platform::BoxRequest&) { return answer; });
    }

    // The one box shown since the test started.
    static platform::BoxRequest only_box()
    {
        auto boxes = platform::shown_boxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? platform::BoxRequest{} : boxes.back();
    }

    std::string log_path() const { return log_.dir() / "capture.log"; }
    std::string log_text() { return log_.text(); }
    // The heading the report box puts above the quoted log lines.
    std::string log_heading() const { return "Recent log entries (\"" + log_path() + "\"):\n"; }

private:
    LogCapture log_;
};

} // namespace quarn_test
