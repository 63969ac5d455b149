// Row images and palettes from the unpacked data of a legacy object stream.
// The first byte picks the reader and whether it runs inside a TRY frame
// (reports then unwind out of the read); the rest is the stream's data.
// Whatever was read is used, and a row image read whole must write back a
// record that reads and writes to the same bytes again.
#include "engine/gfx/gfx.h"
#include "fuzz/gfx/rw_streams.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

using fuzzrw::read_stream;
using fuzzrw::StreamPtr;
using fuzzrw::written;

struct TextFree {
    void operator()(char* p) const { memFree(p); }
};

void use(imgCTy& img)
{
    (void)img.PelAtXY(0, 0);
    (void)img.ColorAtXY(img.width - 1, img.height - 1);
    const rectTy r { img.width / 2, img.height / 2, 3, 2 };
    img.Fill(img.keyPel, &r);
    std::unique_ptr<imgCTy> copy(img.Clone());
    if (copy)
        copy->SetColorKey(copy->keyColor);
    if (img.pelFmt.palette)
        (void)img.GetPalTbl(1 + img.keyColor % 6);
}

// A record read whole writes back bytes that read and write the same again.
void check_round_trip(imgRowCTy& img)
{
    const std::vector<uint8_t> first = written(img);
    StreamPtr r = read_stream(first.data(), first.size());
    imgRowCTy back;
    back.Read(r.get());
    if (r->error != 0 || r->position != first.size() || written(back) != first)
        __builtin_trap();
}

void read_objects(rwCTy* s)
{
    for (int i = 0; i < 8 && s->position < s->length && s->error == 0; ++i) {
        // Held so that an unwinding report does not leak it.
        const std::unique_ptr<char, TextFree> name(rwReadStr(s));
        std::unique_ptr<rwObjCTy> obj(rwObjCreateByClassName(name.get()));
        if (!obj)
            return;
        obj->Read(s);
        if (auto* img = dynamic_cast<imgCTy*>(obj.get()))
            use(*img);
    }
}

void run(unsigned mode, rwCTy* s)
{
    switch (mode) {
    case 0:
        read_objects(s);
        break;
    case 1: {
        imgRowCTy img;
        img.Read(s);
        use(img);
        if (s->error == 0)
            check_round_trip(img);
        break;
    }
    case 2: {
        palCTy pal;
        if (pal.Read(s) == 0 && pal.count) {
            pal.BuildTbl(1 + pal.entries[0] % 6);
            (void)pal.FindNearest(uint8_t(pal.count), 0x80, 0xFF);
        }
        break;
    }
    default: {
        imgRowCTy img;
        if (img.ReadInPlace(s) == 1)
            use(img);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool registered = (imgRegisterClasses(), true);
    (void)registered;
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
