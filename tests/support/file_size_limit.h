// A file size limit far below what a test writes makes the write fail as
// on a full disk: the signal the limit raises is ignored, so the write
// reports EFBIG instead of ending the process. The limit and the signal's
// handling are given back when it goes.
#pragma once

#include <csignal>

#include <sys/resource.h>

namespace test_support {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (::getrlimit(RLIMIT_FSIZE, &old_) != 0)
            return;
        rlimit tight = old_;
        tight.rlim_cur = bytes;
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        set_ = ::setrlimit(RLIMIT_FSIZE, &tight) == 0;
    }
    ~FileSizeLimit()
    {
        if (set_)
            ::setrlimit(RLIMIT_FSIZE, &old_);
        if (old_handler_ != SIG_ERR)
            std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the limit could not be set: the test cannot stand for a
    // full disk.
    bool set() const { return set_; }

private:
    rlimit old_ {};
    void (*old_handler_)(int) = SIG_ERR;
    bool set_ = false;
};

} // namespace test_support
