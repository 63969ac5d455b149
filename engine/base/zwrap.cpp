// zlib over whole memory blocks, on the layer's allocator.
//
// zlib's own result codes are negative too, but they mean other things
// than the layer's codes of the same value (its -3 is a data error, the
// layer's -3 "Array too large"), so every result is translated before it
// is reported.
#include "engine/base/mem.h"
#include "engine/base/pack.h"

#include <climits>
#include <zlib.h>

namespace {

voidpf z_alloc(voidpf, uInt items, uInt size)
{
    // Called by zlib: must not report (a report may unwind through zlib).
    if (size != 0 && items > SIZE_MAX / size)
        return Z_NULL;
    return memHooks.alloc(static_cast<size_t>(items) * size);
}

void z_free(voidpf, voidpf block) { memHooks.free(block); }

z_stream make_stream(const void* source, size_t sourceLength, void* destination, size_t room)
{
    z_stream zs {};
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(source));
    zs.avail_in = static_cast<uInt>(sourceLength);
    zs.next_out = static_cast<Bytef*>(destination);
    zs.avail_out = static_cast<uInt>(room);
    zs.zalloc = z_alloc;
    zs.zfree = z_free;
    zs.opaque = Z_NULL;
    return zs;
}

int layer_code(int z)
{
    switch (z) {
    case Z_MEM_ERROR:
        return ERR_NO_MEMORY;
    case Z_STREAM_ERROR:
        return ERR_BAD_ARG;
    case Z_VERSION_ERROR:
        return -251; // "Initialization error"
    case Z_ERRNO:
        return ERR_IO;
    default: // Z_DATA_ERROR, Z_NEED_DICT, a truncated stream
        return ERR_DATA;
    }
}

int fail(int code)
{
    dbgBreakOnRetry(errReport(code));
    return code;
}

bool sizes_fit(size_t sourceLength, const size_t* destinationLength)
{
    return destinationLength && sourceLength <= UINT_MAX && *destinationLength <= UINT_MAX;
}

} // namespace

int zCompress2(void* destination, size_t* destinationLength, const void* source, size_t sourceLength, int level)
{
    if (!sizes_fit(sourceLength, destinationLength))
        return fail(ERR_BAD_ARG);
    z_stream zs = make_stream(source, sourceLength, destination, *destinationLength);
    int z = deflateInit(&zs, level);
    if (z != Z_OK)
        return fail(layer_code(z));
    z = deflate(&zs, Z_FINISH);
    if (z != Z_STREAM_END) {
        deflateEnd(&zs);
        // With Z_FINISH, Z_OK and Z_BUF_ERROR both mean the output ran full.
        return fail(z == Z_OK || z == Z_BUF_ERROR ? ERR_BUF_SHORT : layer_code(z));
    }
    *destinationLength = zs.total_out;
    z = deflateEnd(&zs);
    return z == Z_OK ? 0 : fail(layer_code(z));
}

int zCompress(void* destination, size_t* destinationLength, const void* source, size_t sourceLength)
{
    return zCompress2(destination, destinationLength, source, sourceLength, Z_DEFAULT_COMPRESSION);
}

int zUncompress(void* destination, size_t* destinationLength, const void* source, size_t sourceLength)
{
    if (!sizes_fit(sourceLength, destinationLength))
        return fail(ERR_BAD_ARG);
    z_stream zs = make_stream(source, sourceLength, destination, *destinationLength);
    int z = inflateInit(&zs);
    if (z != Z_OK)
        return fail(layer_code(z));
    z = inflate(&zs, Z_FINISH);
    const bool output_full = zs.avail_out == 0;
    inflateEnd(&zs);
    if (z != Z_STREAM_END) {
        // Anything short of the stream's end is a failure, the positive
        // Z_NEED_DICT included. A full output means the room was too small
        // (modern zlib says Z_BUF_ERROR there, older ones Z_OK); otherwise
        // the input ended early.
        if ((z == Z_OK || z == Z_BUF_ERROR) && output_full)
            return fail(ERR_BUF_SHORT);
        return fail(layer_code(z));
    }
    *destinationLength = zs.total_out;
    return 0;
}

int rwPack(const void* source, size_t sourceLength, void* destination, size_t* destinationLength)
{
    return zCompress(destination, destinationLength, source, sourceLength);
}

int rwUnpack(const void* source, size_t sourceLength, void* destination, size_t* destinationLength)
{
    return zUncompress(destination, destinationLength, source, sourceLength);
}
