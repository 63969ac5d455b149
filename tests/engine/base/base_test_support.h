// Shared fixture of the engine/base tests: every test starts from the state
// before errInit, and boxes are answered Ignore unless a test says otherwise
// (the default button of Abort/Retry/Ignore would end the process).
#pragma once

#include "engine/base/base.h"
#include "engine/base/base_internal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class BaseTest : public testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void answer_boxes(platform::BoxAnswer answer)
    {
        platform::set_box_policy([answer](const platform::BoxRequest&) { return answer; });
    }

    static std::vector<platform::BoxRequest> boxes() { return platform::shown_boxes(); }

private:
    static void reset()
    {
        errResetForTest();
        platform::clear_shown_boxes();
        answer_boxes(platform::BoxAnswer::ignore);
    }
};
