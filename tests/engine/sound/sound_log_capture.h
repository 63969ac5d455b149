// Points the default log at a file of the test's own while it lives, so
// that a test can read the lines it caused.
#pragma once

#include "quarn/AbstractFile.h"
#include "quarn/Log.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace soundtest {

class SoundLogCapture {
public:
    explicit SoundLogCapture(std::filesystem::path file) : file_(std::move(file))
    {
        buf_ = quarn::default_log_stream()->file_buf();
        buf_->set_echo(false);
        buf_->set_file(file_.c_str(), quarn::open_mode::out | quarn::open_mode::trunc);
    }
    ~SoundLogCapture() { buf_->set_file(nullptr, 0); }
    SoundLogCapture(const SoundLogCapture&) = delete;
    SoundLogCapture& operator=(const SoundLogCapture&) = delete;

    std::string text() const
    {
        quarn::default_log_stream()->flush();
        std::ifstream in(file_, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

private:
    std::filesystem::path file_;
    quarn::LogFileBuf* buf_;
};

} // namespace soundtest
