// An AbstractFile over a byte string that records what its users ask of
// it, for tests of the buffers built on files.
#pragma once

#include "quarn/AbstractFile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quarn_test {

class MemoryFile : public quarn::AbstractFile {
public:
    explicit MemoryFile(std::string bytes = {}, uint32_t mode = quarn::open_mode::in | quarn::open_mode::binary)
        : bytes_(std::move(bytes))
    {
        (void)open("memory", mode);
    }

    const std::string& bytes() const { return bytes_; }

    // Sizes asked of read(), in order.
    std::vector<uint32_t> reads;
    // Seeks that moved the position (offset 0 from the current position
    // only asks where it is, and is not recorded).
    std::vector<int64_t> moves;

    uint32_t size() override { return static_cast<uint32_t>(bytes_.size()); }
    bool flush() override { return true; }
    uint32_t read(void* data, uint32_t n) override
    {
        reads.push_back(n);
        size_t k = pos_ < bytes_.size() ? std::min<size_t>(n, bytes_.size() - pos_) : 0;
        std::memcpy(data, bytes_.data() + pos_, k);
        pos_ += k;
        return static_cast<uint32_t>(k);
    }
    uint32_t write(const void* data, uint32_t n) override
    {
        if (pos_ + n > bytes_.size())
            bytes_.resize(pos_ + n);
        std::memcpy(bytes_.data() + pos_, data, n);
        pos_ += n;
        return n;
    }
    int64_t seek(int64_t offset, int whence) override
    {
        int64_t base = whence == quarn::seek_dir::beginning ? 0
            : whence == quarn::seek_dir::current            ? static_cast<int64_t>(pos_)
                                                            : static_cast<int64_t>(bytes_.size());
        if (!(whence == quarn::seek_dir::current && offset == 0))
            moves.push_back(base + offset);
        if (base + offset < 0)
            return -1;
        pos_ = static_cast<size_t>(base + offset);
        return static_cast<int64_t>(pos_);
    }
    const quarn::ErrorInfo* last_error() const override { return nullptr; }

protected:
    bool do_open(const char*, uint32_t) override { return true; }
    bool do_close() override { return true; }

private:
    std::string bytes_;
    size_t pos_ = 0;
};

// Bytes 0, 1, ..., 250, 0, 1, ...: every offset is recognisable nearby.
inline std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i % 251);
    return s;
}

} // namespace quarn_test
