// Points the default log at a scratch file for one test, so tests never
// read the shared log beside the test program.
#pragma once

#include "quarn/Log.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

namespace quarn_test {

class LogCapture {
public:
    LogCapture()
    {
        buf_ = quarn::default_log_stream()->file_buf();
        buf_->set_echo(false);
        buf_->set_file((dir_ / "capture.log").c_str(), quarn::open_mode::out | quarn::open_mode::trunc);
        // An entry written while an earlier test had no file failed the
        // stream; the new file starts it afresh.
        quarn::default_log_stream()->clear();
    }
    ~LogCapture() { buf_->set_file(nullptr, 0); }

    std::string text()
    {
        quarn::default_log_stream()->flush();
        return dir_.read("capture.log");
    }
    const ScratchDir& dir() const { return dir_; }

private:
    ScratchDir dir_;
    quarn::LogFileBuf* buf_;
};

} // namespace quarn_test
