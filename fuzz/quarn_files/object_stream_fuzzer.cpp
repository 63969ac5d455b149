// Object streams read through header detection: native, header-less and
// legacy (including the zlib unpacking), then their objects read with the
// registry and framing the detection chose. Failures are expected;
// crashes, leaks, hangs and huge allocations are not.
#include "fuzz/quarn_io/fuzz_objects.h"
#include "quarn/quarn.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The input as a read-only file, so the bytes go through the same buffered
// file buffer as a file on disk.
class InputFile : public quarn::AbstractFile {
public:
    InputFile(const uint8_t* data, size_t size) : data_(data), size_(size)
    {
        (void)open("input", quarn::open_mode::in | quarn::open_mode::binary);
    }
    uint32_t size() override { return static_cast<uint32_t>(size_); }
    bool flush() override { return false; }
    uint32_t read(void* out, uint32_t n) override
    {
        size_t k = pos_ < size_ ? std::min<size_t>(n, size_ - pos_) : 0;
        if (k)
            std::memcpy(out, data_ + pos_, k);
        pos_ += k;
        return static_cast<uint32_t>(k);
    }
    uint32_t write(const void*, uint32_t) override { return 0; }
    int64_t seek(int64_t offset, int whence) override
    {
        int64_t base = whence == quarn::seek_dir::beginning ? 0
            : whence == quarn::seek_dir::current            ? static_cast<int64_t>(pos_)
                                                            : static_cast<int64_t>(size_);
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
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quarn_fuzz::Arena arena;
    InputFile file(data, size);
    quarn::io::BasicFileBuf buf;
    buf.attach(&file, "input");
    quarn::io::IStream in(&buf);
    try {
        in.exceptions(0);
        in.detect_header();
        for (int i = 0; i < 256 && in.good(); ++i) {
            quarn::io::Object* o = in.read_object();
            if (auto* node = dynamic_cast<quarn_fuzz::Node*>(o))
                (void)node->children.size();
        }
    } catch (const quarn::Exception&) {
        // Reported failures are a correct answer to bad input.
    }
    return 0;
}
