// Reading legacy object files and the stream primitives.
//
// Header and data come from files; every size in them is checked against
// the bytes that exist before anything is allocated or copied.
#include "engine/base/pack.h"
#include "engine/base/rw_internal.h"

#include <cstring>
#include <memory>

namespace {

// Nothing the layer stores comes near this; a header that asks for more
// is corrupt and gets no allocation.
constexpr uint64_t max_unpacked = uint64_t { 1 } << 30;

uint32_t u32_at(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t { p[3] } << 24); }

// The most a packed block of `packed` bytes can unpack to: zlib's deflate
// stops near 1032:1, the LZ format at 256 bytes per three-byte item.
uint64_t unpack_bound(uint32_t packer, uint64_t packed)
{
    return packer == RW_PACKER_LZ ? packed * 86 + 256 : packed * 1032 + 64;
}

struct StreamFree {
    void operator()(rwCTy* s) const { rwFree(s); }
};
using StreamPtr = std::unique_ptr<rwCTy, StreamFree>;

struct BlockFree {
    void operator()(uint8_t* p) const { memFree(p); }
};
using BlockPtr = std::unique_ptr<uint8_t, BlockFree>;

void cannot_unpack(const char* name)
{
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "rwRdOpen(%s): Can't unpack.", name ? name : ""));
}

// Unpacks into a new block of exactly `unpacked` bytes; null after a report.
uint8_t* unpack(const uint8_t* src, uint32_t packed, uint32_t packer, uint32_t unpacked, const char* name)
{
    if (packer != RW_PACKER_LZ && packer != RW_PACKER_ZLIB) {
        dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", "rwRdOpen: Unknown packer type"));
        return nullptr;
    }
    if (unpacked > max_unpacked || unpacked > unpack_bound(packer, packed)) {
        cannot_unpack(name);
        return nullptr;
    }
    BlockPtr out(static_cast<uint8_t*>(memAlloc(unpacked)));
    if (!out)
        return nullptr;
    bool ok;
    if (packer == RW_PACKER_LZ) {
        ok = lzUnpack(src, packed, out.get(), unpacked) == int64_t { unpacked };
    } else {
        size_t got = unpacked;
        ok = rwUnpack(src, packed, out.get(), &got) == 0 && got == unpacked;
    }
    if (!ok) {
        out.reset();
        cannot_unpack(name);
        return nullptr;
    }
    return out.release();
}

// The first failure of a stream is reported; later ones only fail.
int end_of_data(rwCTy* s)
{
    s->position = s->length;
    if (s->error != 0)
        return ERR_END_OF_DATA;
    s->error = ERR_END_OF_DATA;
    dbgBreakOnRetry(errReport(ERR_END_OF_DATA));
    return ERR_END_OF_DATA;
}

} // namespace

void rwFree(rwCTy* s)
{
    if (!s)
        return;
    memFree(s->data);
    memFree(s->fileName);
    memFree(s);
}

rwCTy* rwOpenBytes(const uint8_t* data, size_t size, const char* name)
{
    if (!data || size < RW_HEADER_SIZE) {
        dbgBreakOnRetry(errReportArg(-21, fileNameForReport(name))); // "Can't read after end of file"
        return nullptr;
    }
    const uint32_t magic = u32_at(data);
    if (magic != RW_MAGIC2 && magic != RW_MAGIC1)
        dbgBreakOnRetry(
            errMessage(ERR_LEVEL_ERROR, "rwRdOpen(%s): Wrong file or obsolete file format.", name ? name : ""));
    const uint32_t flags = u32_at(data + 4);
    const uint32_t packer = u32_at(data + 8);
    const uint32_t packed = u32_at(data + 16);
    const uint32_t unpacked = u32_at(data + 20);
    if (packed > size - RW_HEADER_SIZE) {
        dbgBreakOnRetry(errReportArg(-21, fileNameForReport(name)));
        return nullptr;
    }
    StreamPtr s(static_cast<rwCTy*>(memAllocZ(sizeof(rwCTy))));
    if (!s)
        return nullptr;
    s->magic = magic;
    s->mode = RW_MODE_READ;
    s->flags = flags;
    s->packer = packer;
    s->word = u32_at(data + 12);
    s->unpackedSize = unpacked;
    const uint8_t* payload = data + RW_HEADER_SIZE;
    if (flags & RW_ENCIPHERED) {
        // Enciphered data cannot be read here; the stream stays empty.
    } else if (flags & RW_PACKED) {
        s->data = unpack(payload, packed, packer, unpacked, name);
        s->length = s->data ? unpacked : 0;
    } else {
        s->data = static_cast<uint8_t*>(memAlloc(packed));
        if (s->data) {
            std::memcpy(s->data, payload, packed);
            s->length = packed;
        }
    }
    s->position = 0;
    return s.release();
}

void rwSeek(rwCTy* s, size_t position)
{
    if (s)
        s->position = position;
}

int rwRead(rwCTy* s, void* out, size_t size)
{
    if (!s)
        return ERR_NOT_CREATED;
    if (s->position > s->length || size > s->length - s->position) {
        if (out && size)
            std::memset(out, 0, size);
        return end_of_data(s);
    }
    if (size)
        std::memcpy(out, s->data + s->position, size);
    s->position += size;
    return 0;
}

uint32_t rwReadU32(rwCTy* s)
{
    uint8_t b[4];
    if (rwRead(s, b, 4) != 0)
        return 0;
    return u32_at(b);
}

char* rwReadStr(rwCTy* s)
{
    uint8_t b[4];
    if (rwRead(s, b, 4) != 0)
        return nullptr;
    const uint32_t length = u32_at(b);
    if (length == RW_NULL_STRING)
        return nullptr;
    if (length > s->length - s->position) {
        end_of_data(s);
        return nullptr;
    }
    char* text = static_cast<char*>(memAllocZ(size_t { length } + 1));
    if (!text)
        return nullptr;
    std::memcpy(text, s->data + s->position, length);
    s->position += length;
    return text;
}
