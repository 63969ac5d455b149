// Legacy object files and the objects kept in them.
#pragma once

#include "engine/base/err.h"

#include <cstddef>
#include <cstdint>

// Legacy object files: a header of six little-endian words (magic "rw2\0"
// or "rw1\0", flags, packer, a spare word, packed size, unpacked size),
// then the data, packed with packer 0 (LZ) or 1 (zlib) when flag bit 0 is
// set. Objects write u32 words, byte blocks and strings (u32 length, then
// the bytes; 0xFFFFFFFF for a null string) into a stream held in memory.

inline constexpr uint32_t RW_MAGIC2 = 0x00327772; // "rw2\0"
inline constexpr uint32_t RW_MAGIC1 = 0x00317772; // "rw1\0"
inline constexpr uint32_t RW_PACKED = 0x1;
inline constexpr uint32_t RW_ENCIPHERED = 0x2; // not supported: such a stream has no data
inline constexpr uint32_t RW_PACKER_LZ = 0;
inline constexpr uint32_t RW_PACKER_ZLIB = 1;
inline constexpr uint32_t RW_MODE_WRITE = 0;
inline constexpr uint32_t RW_MODE_READ = 1;
constexpr size_t RW_HEADER_SIZE = 24;
inline constexpr uint32_t RW_NULL_STRING = 0xFFFFFFFF;

// What rwClose leaves at a memory target: the header words, the data's
// address, then the data itself in the same block (free with memFree).
struct rwMemBlockTy {
    uint32_t magic;
    uint32_t flags;
    uint32_t packer;
    uint32_t word;
    uint32_t unpackedSize;
    uint32_t length;
    uint8_t* data;
};

struct rwCTy {
    uint32_t magic;
    uint32_t mode;         // RW_MODE_WRITE or RW_MODE_READ
    char* fileName;        // writing: where rwClose writes
    uint32_t flags;
    uint32_t packer;
    uint32_t word;         // the spare header word, carried unchanged
    size_t length;         // bytes of data (writing: the highest position written)
    size_t unpackedSize;   // reading: the header's unpacked size
    size_t capacity;       // writing: room of the data buffer
    size_t position;
    uint8_t* data;
    rwMemBlockTy** target; // writing: set by rwSetTarget, the result goes there
    int error;             // the first failure; reads past the end report once
};

// Opens and unpacks a legacy object file. Null when the file cannot be
// read or is cut short (reported). Other faults are reported and leave a
// stream without data: a wrong magic ("rwRdOpen(%s): Wrong file or obsolete
// file format.", the stream still reads), an unknown packer, data that does
// not unpack, enciphered data.
[[nodiscard]] rwCTy* rwRdOpen(const char* name);
// A stream for writing; rwClose writes it to `name` (or to the target).
[[nodiscard]] rwCTy* rwWrOpen(const char* name, uint32_t flags = RW_PACKED, uint32_t packer = RW_PACKER_ZLIB);
void rwSetTarget(rwCTy* stream, rwMemBlockTy** target);
// Finishes and frees the stream; a write stream is packed and written
// first. 0, or the code of a reported failure (the data is then written
// unpacked when packing failed, and not at all when writing failed).
int rwClose(rwCTy* stream);

void rwSeek(rwCTy* stream, size_t position);
// Writes at the position, growing the buffer; the new position.
size_t rwWrite(rwCTy* stream, const void* data, size_t size);
void rwWriteU32(rwCTy* stream, uint32_t value);
void rwWriteStr(rwCTy* stream, const char* text); // null writes RW_NULL_STRING
// Reads at the position. Past the end of the data the output is zeroed,
// ERR_END_OF_DATA is reported (once per stream) and returned.
int rwRead(rwCTy* stream, void* out, size_t size);
uint32_t rwReadU32(rwCTy* stream);
// A new NUL-terminated copy (free with memFree); null for RW_NULL_STRING
// and for a length beyond the data (reported).
[[nodiscard]] char* rwReadStr(rwCTy* stream);

// Objects kept in legacy object files.
class rwObjCTy {
public:
    virtual const char* GetClassName() const { return "rwObjCTy"; }
    virtual ~rwObjCTy() = default;
    virtual void Write(rwCTy*) {}
    virtual void Read(rwCTy*) {}
};

using rwCreatorTy = rwObjCTy* (*)();
// A later registration of a name replaces the earlier one; a null creator
// removes the name.
void rwObjRegisterClass(const char* name, rwCreatorTy creator);
// A new object of the class registered under `name` (case-sensitive), or
// null with "rwObjCreateByClassName: Unknown class name. %s" reported.
[[nodiscard]] rwObjCTy* rwObjCreateByClassName(const char* name);

// The unit's shared record: a word the font loader applies to new alpha
// images, and a buffer freed by rwFreeShared.
struct rwSharedTy {
    uint32_t word;
    void* buffer;
};
rwSharedTy* rwGetShared();
void rwFreeShared();
