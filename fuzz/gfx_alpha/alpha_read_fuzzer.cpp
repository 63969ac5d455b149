// Alpha image records (the image header, then the run-coded body) from the
// unpacked data of a legacy object stream; the whole input is the record as
// imgAlpha::Write leaves it. A record that reads is decoded by a lock, must
// write back bytes that read and write the same again, and, when small, is
// re-encoded by a writing lock and converted to every colour format.
#include "engine/gfx/gfx.h"
#include "fuzz/gfx/rw_streams.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using fuzzrw::read_stream;
using fuzzrw::StreamPtr;
using fuzzrw::written;

// Locks decode the whole picture at four bytes a pel: larger pictures are
// read and written back but not locked.
constexpr int64_t max_locked_pels = int64_t { 1 } << 20;

bool read_record(imgAlpha& img, const std::vector<uint8_t>& bytes)
{
    StreamPtr s = read_stream(bytes.data(), bytes.size());
    return img.ReadHeader(s.get()) == 0 && img.ReadBody(s.get()) == 0 && s->position == bytes.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    StreamPtr s = read_stream(data, size);
    imgAlpha img;
    if (img.ReadHeader(s.get()) != 0 || img.ReadBody(s.get()) != 0)
        return 0;

    // What was read writes back to a record that reads to the same bytes.
    const std::vector<uint8_t> first = written(img);
    imgAlpha back;
    if (!read_record(back, first) || written(back) != first)
        __builtin_trap();

    if (int64_t { img.width } * img.height > max_locked_pels)
        return 0;
    img.Lock(nullptr, img_LOCK_READ);
    img.Unlock();
    back.Lock(nullptr, img_LOCK_RW);
    if (back.lockPtr && back.width > 0 && back.height > 0)
        static_cast<uint32_t*>(back.lockPtr)[0] ^= 0x80000001u;
    back.Unlock();
    for (const uint32_t format : { pel_FMT_R8G8B8, pel_FMT_X8R8G8B8, pel_FMT_R5G6B5, pel_FMT_X1R5G5B5 }) {
        if (!imgAlphaColorFmtValid(format))
            continue;
        const pelFmtCTy to(format);
        back.SetColorFmt(&to);
    }
    // Re-encoded and converted, it still writes a record that reads back.
    const std::vector<uint8_t> again = written(back);
    imgAlpha third;
    if (!read_record(third, again))
        __builtin_trap();
    return 0;
}
