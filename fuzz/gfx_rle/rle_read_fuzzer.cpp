// RLE8 image records from the unpacked data of a legacy object stream, and
// 8-bit sprite-set files. The first byte picks the reader (bit 0: in place,
// bit 1: a sprite-set file) and whether it runs inside a TRY frame (bit 2);
// the rest is the stream's data or the file. Whatever was read is
// decoded, re-encoded and copied, and a record read whole must write back
// bytes that read and write the same again.
#include "engine/gfx/gfx.h"
#include "fuzz/gfx/rw_streams.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using fuzzrw::read_stream;
using fuzzrw::StreamPtr;
using fuzzrw::written;

// Locks decode the whole picture: larger ones are read and copied but not
// locked, so that a run measures the record's handling rather than memset
// and re-encoding at sanitizer speed.
constexpr int64_t max_locked_pels = int64_t { 1 } << 22;

void use(imgRle8CTy& img)
{
    std::unique_ptr<imgCTy> copy(img.Clone());
    if (int64_t { img.width } * img.height > max_locked_pels)
        return;
    img.Lock(nullptr, img_LOCK_READ);
    img.Unlock();
    if (auto* c = dynamic_cast<imgRle8CTy*>(copy.get())) {
        c->Lock(nullptr, img_LOCK_RW);
        if (c->lockPtr && c->width > 0 && c->height > 0)
            static_cast<uint8_t*>(c->lockPtr)[0] ^= 1;
        c->Unlock();
    }
}

void check_round_trip(imgRle8CTy& img)
{
    const std::vector<uint8_t> first = written(img);
    StreamPtr r = read_stream(first.data(), first.size());
    imgRle8CTy back;
    back.Read(r.get());
    if (r->error != 0 || r->position != first.size() || written(back) != first)
        __builtin_trap();
}

// The sprite-set reader takes a file: the data goes to one in the temp
// folder, named apart from other fuzzing processes.
const std::string& spr_path()
{
    static const std::string path = (std::filesystem::temp_directory_path()
                                     / ("gfx_rle_read_" + std::to_string(std::random_device {}()) + ".spr"))
                                        .string();
    return path;
}

// The sprite-set file, removed when the input is done with: also when a
// report inside the TRY frame unwinds out of the open.
struct SpriteSetFile {
    ~SpriteSetFile() { std::remove(spr_path().c_str()); }
};

void read_sprite_set(const rwCTy* s)
{
    const SpriteSetFile remove_at_end;
    if (std::FILE* f = std::fopen(spr_path().c_str(), "wb")) {
        if (s->length)
            std::fwrite(s->data, 1, s->length, f);
        std::fclose(f);
    }
    // Held so that a report unwinding out of the frame loop does not leak it.
    const std::unique_ptr<sprFileCTy, void (*)(sprFileCTy*)> file(sprFileOpen(spr_path().c_str()), sprFileClose);
    if (!file)
        return;
    std::vector<uint8_t> row;
    for (uint32_t i = 0; i < 8; ++i) {
        sprFrameTy frame;
        if (sprFileGetFrame(file.get(), i, &frame) != 0)
            continue;
        // Wide frames are decoded only in part: the rows are what is tried.
        const int32_t w = frame.width < 4096 ? frame.width : 4096;
        row.assign(static_cast<size_t>(w), 0);
        for (int32_t r = 0; r < frame.height; ++r)
            rle8DecodeRow(sprFrameRow(&frame, r), 0, w, row.data());
    }
}

void run(unsigned mode, rwCTy* s)
{
    if (mode & 2) {
        read_sprite_set(s);
        return;
    }
    imgRle8CTy img;
    if (mode & 1) {
        if (img.ReadInPlace(s) == 1)
            use(img);
        return;
    }
    if (img.ReadHeader(s) != 0 || img.ReadBody(s) != 0)
        return;
    use(img);
    // Older records are written back in the current form; only those can
    // be compared byte for byte.
    if (img.offsetsInHeader)
        check_round_trip(img);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const unsigned mode = data[0] & 3;
    const bool framed = (data[0] & 4) != 0;
    StreamPtr s = read_stream(data + 1, size - 1);
    if (framed)
        (void)errTry([&] { run(mode, s.get()); });
    else
        run(mode, s.get());
    return 0;
}
