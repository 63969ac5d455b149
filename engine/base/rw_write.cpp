// Writing legacy object files: the stream grows in memory and is packed
// and written out by rwClose. The data-building tool writes the game's
// image sets this way.
#include "engine/base/pack.h"
#include "engine/base/rw_internal.h"

#include "platform/file.h"

#include <cstring>
#include <memory>

namespace {

// Growth beyond what a write needs, so that streams of many small writes
// reallocate rarely.
constexpr size_t growth_step = 0xA00000;

void put_u32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

struct StreamFree {
    void operator()(rwCTy* s) const { rwFree(s); }
};

struct BlockFree {
    void operator()(uint8_t* p) const { memFree(p); }
};
using BlockPtr = std::unique_ptr<uint8_t, BlockFree>;

struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

int fail_message(const char* text)
{
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "%s", text));
    return ERR_USER_MSG;
}

// Packs the stream's data. On success `packed` holds the packed bytes;
// after a failure (reported) it is empty and the data goes out unpacked.
int pack(const rwCTy* s, BlockPtr& packed, size_t& packed_length)
{
    if (s->packer != RW_PACKER_LZ && s->packer != RW_PACKER_ZLIB)
        return fail_message("rwClose: Unknown packer type");
    // Room for the worst case of both packers: incompressible data grows
    // by an eighth (LZ) or by a few bytes per block (zlib).
    const size_t room = 2 * s->length + 12;
    packed.reset(static_cast<uint8_t*>(memAlloc(room)));
    if (!packed)
        return ERR_NO_MEMORY;
    bool ok;
    if (s->packer == RW_PACKER_LZ) {
        const int64_t n = lzPack(s->data, s->length, packed.get(), room);
        ok = n >= 0;
        packed_length = ok ? static_cast<size_t>(n) : 0;
    } else {
        packed_length = room;
        ok = rwPack(s->data, s->length, packed.get(), &packed_length) == 0;
    }
    if (!ok) {
        packed.reset();
        return fail_message("rwClose: Can't pack file.");
    }
    return 0;
}

int write_file(const char* name, const uint8_t header[RW_HEADER_SIZE], const uint8_t* data, size_t length)
{
    std::unique_ptr<std::FILE, FileClose> f(
        platform::file_open_stream(fileResolve(name).c_str(), platform::FileOpen::write_truncate));
    if (!f) {
        dbgBreakOnRetry(errReportArg(ERR_CREATE, fileNameForReport(name)));
        return ERR_CREATE;
    }
    bool ok = std::fwrite(header, 1, RW_HEADER_SIZE, f.get()) == RW_HEADER_SIZE
        && (length == 0 || std::fwrite(data, 1, length, f.get()) == length) && std::fflush(f.get()) == 0;
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok) {
        dbgBreakOnRetry(errReportArg(ERR_WRITE, fileNameForReport(name)));
        return ERR_WRITE;
    }
    return 0;
}

} // namespace

rwCTy* rwWrOpen(const char* name, uint32_t flags, uint32_t packer)
{
    auto* s = static_cast<rwCTy*>(memAllocZ(sizeof(rwCTy)));
    if (!s)
        return nullptr;
    s->magic = RW_MAGIC2;
    s->mode = RW_MODE_WRITE;
    s->flags = flags;
    s->packer = packer;
    if (name && !(s->fileName = memStrDup(name))) {
        memFree(s);
        return nullptr;
    }
    return s;
}

void rwSetTarget(rwCTy* s, rwMemBlockTy** target)
{
    if (s)
        s->target = target;
}

size_t rwWrite(rwCTy* s, const void* data, size_t size)
{
    if (!s)
        return 0;
    if (s->mode != RW_MODE_WRITE) {
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return s->position;
    }
    if (s->error != 0)
        return s->position;
    // The position may lie past the buffer after rwSeek: the growth covers
    // it as well.
    const size_t base = s->position > s->capacity ? s->position : s->capacity;
    if (base > SIZE_MAX - growth_step || size > SIZE_MAX - growth_step - base) {
        s->error = ERR_NO_MEMORY;
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return s->position;
    }
    if (s->position + size >= s->capacity) {
        const size_t grown = base + size + growth_step;
        auto* data_grown = static_cast<uint8_t*>(memRealloc(s->data, grown));
        if (!data_grown) {
            // Reported; the stream keeps what it has and rwClose writes
            // nothing, rather than a file with a hole in it.
            s->error = ERR_NO_MEMORY;
            return s->position;
        }
        std::memset(data_grown + s->capacity, 0, grown - s->capacity);
        s->data = data_grown;
        s->capacity = grown;
    }
    if (data && size)
        std::memcpy(s->data + s->position, data, size);
    s->position += size;
    if (s->position > s->length)
        s->length = s->position;
    return s->position;
}

void rwWriteU32(rwCTy* s, uint32_t value)
{
    uint8_t b[4];
    put_u32(b, value);
    rwWrite(s, b, 4);
}

void rwWriteStr(rwCTy* s, const char* text)
{
    if (!text) {
        rwWriteU32(s, RW_NULL_STRING);
        return;
    }
    const size_t length = std::strlen(text);
    rwWriteU32(s, static_cast<uint32_t>(length));
    rwWrite(s, text, length);
}

int rwClose(rwCTy* stream)
{
    if (!stream)
        return 0;
    // Freed on every way out: a report below may unwind to a TRY frame.
    std::unique_ptr<rwCTy, StreamFree> s(stream);
    if (s->mode != RW_MODE_WRITE)
        return 0;
    if (s->error != 0)
        return s->error;
    if (s->length > UINT32_MAX) {
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return ERR_BAD_ARG;
    }
    uint32_t flags = s->flags;
    BlockPtr packed;
    size_t packed_length = 0;
    int code = 0;
    if (flags & RW_PACKED) {
        code = pack(s.get(), packed, packed_length);
        if (code != 0)
            flags &= ~RW_PACKED;
    }
    const uint8_t* out = packed ? packed.get() : s->data;
    const size_t out_length = packed ? packed_length : s->length;

    // The sixth word is the true unpacked length: the reader sizes its
    // unpack buffer by it, and the write buffer's capacity would be wrong.
    uint8_t header[RW_HEADER_SIZE];
    put_u32(header, s->magic);
    put_u32(header + 4, flags);
    put_u32(header + 8, s->packer);
    put_u32(header + 12, s->word);
    put_u32(header + 16, static_cast<uint32_t>(out_length));
    put_u32(header + 20, static_cast<uint32_t>(s->length));

    if (s->target) {
        auto* block = static_cast<rwMemBlockTy*>(memAlloc(sizeof(rwMemBlockTy) + out_length));
        if (!block)
            return ERR_NO_MEMORY;
        *block = rwMemBlockTy { s->magic, flags, s->packer, s->word, static_cast<uint32_t>(s->length),
            static_cast<uint32_t>(out_length), reinterpret_cast<uint8_t*>(block + 1) };
        if (out_length)
            std::memcpy(block->data, out, out_length);
        *s->target = block;
        return code;
    }
    const int written = write_file(s->fileName, header, out, out_length);
    return written != 0 ? written : code;
}
