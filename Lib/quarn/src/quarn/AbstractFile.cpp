#include "quarn/AbstractFile.h"

#include "platform/file.h"

#include <atomic>

namespace quarn {

namespace {

constinit std::atomic<uint32_t> process_page_size{0};

} // namespace

AbstractFile::AbstractFile()
{
    if (process_page_size.load(std::memory_order_relaxed) == 0)
        process_page_size.store(platform::page_size(), std::memory_order_relaxed);
}

uint32_t AbstractFile::page_size()
{
    uint32_t size = process_page_size.load(std::memory_order_relaxed);
    return size ? size : platform::page_size();
}

bool AbstractFile::open(const char* name, uint32_t mode)
{
    if (!do_open(name, mode))
        return false;
    mode_ = mode;
    return true;
}

bool AbstractFile::close()
{
    if (mode_ == 0)
        return false;
    // The handle is gone even when closing reports a failure; keeping the
    // mode would refuse every later open of this object.
    bool closed = do_close();
    mode_ = 0;
    return closed;
}

bool AbstractFile::write_text(const void* data, uint32_t n)
{
    if (mode_ & open_mode::binary)
        return write(data, n) == n;
    // Text files keep CR LF line ends; the staging buffer bounds the work
    // per write call without allocating.
    const auto* in = static_cast<const char*>(data);
    char stage[512];
    uint32_t used = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (in[i] == '\n')
            stage[used++] = '\r';
        stage[used++] = in[i];
        if (used >= sizeof stage - 1 || i + 1 == n) {
            if (write(stage, used) != used)
                return false;
            used = 0;
        }
    }
    return true;
}

} // namespace quarn
