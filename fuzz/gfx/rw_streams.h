// Legacy object streams for the image fuzz targets: a read stream over the
// unpacked bytes of an input (no file header, as the readers see a stream
// after unpacking), and the bytes an image writes.
#pragma once

#include "engine/gfx/gfx.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace fuzzrw {

struct StreamClose {
    void operator()(rwCTy* s) const { rwClose(s); }
};
using StreamPtr = std::unique_ptr<rwCTy, StreamClose>;

inline StreamPtr read_stream(const uint8_t* data, size_t size)
{
    auto* s = static_cast<rwCTy*>(memAllocZ(sizeof(rwCTy)));
    s->magic = RW_MAGIC2;
    s->mode = RW_MODE_READ;
    s->data = static_cast<uint8_t*>(memAlloc(size));
    if (size)
        std::memcpy(s->data, data, size);
    s->length = size;
    s->unpackedSize = size;
    return StreamPtr(s);
}

// The write stream is kept for the whole run and emptied before each use:
// a new one grows its buffer by megabytes at the first write.
inline std::vector<uint8_t> written(imgCTy& img)
{
    static rwCTy* const w = rwWrOpen(nullptr, 0, RW_PACKER_ZLIB);
    w->position = 0;
    w->length = 0;
    w->error = 0;
    img.Write(w);
    return std::vector<uint8_t>(w->data, w->data + w->length);
}

} // namespace fuzzrw
