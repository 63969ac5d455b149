// Whole-file reads and writes, runtime streams, paths and folder listings.
#pragma once

#include "engine/base/err.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Files.
//
// `fileLoad` reads a whole file into memory. `fileCreate` / `fileWrite` /
// `fileClose` build a file's content in memory and write it out at close.
// (Neither maps the file: a mapped view of a file that another process
// truncates faults on access, and a growing shared mapping faults when the
// disk fills; both must be errors, not crashes.) Every open record sits in
// one list; records still open at process exit are closed then.

inline constexpr uint32_t FILE_ALLOCATED = 0x400000; // the record came from fileLoad/fileCreate
inline constexpr uint32_t FILE_WRITING = 0x800000;   // made by fileCreate
inline constexpr size_t FILE_POS_CURRENT = SIZE_MAX; // fileWrite offset: after the previous write

struct fileTy {
    fileTy* next;        // the list of open files
    char* name;          // a copy of the file name
    uint32_t flags;
    std::FILE* handle;   // written files: the file being written; else null
    size_t length;       // data length (written files: highest end written)
    size_t position;     // end offset of the last write
    uint8_t* view;       // the content; null for an empty file that was read
    size_t mapSize;      // bytes available at `view`
    size_t growth;       // written files: least growth step in bytes
};

// Reads the whole file. `record` null allocates one (FILE_ALLOCATED).
// Failure (ERR_OPEN, ERR_NO_MEMORY) is reported with the name; null.
[[nodiscard]] fileTy* fileLoad(fileTy* record, const char* name);
// Creates or truncates the file and prepares `size` bytes of content.
// Failure (ERR_CREATE, ERR_NO_MEMORY) is reported with the name; null.
[[nodiscard]] fileTy* fileCreate(fileTy* record, const char* name, size_t size, size_t growth);
// Copies `size` bytes (null `data` only reserves the room) to `offset`
// (FILE_POS_CURRENT = the end of the previous write). 0, or a negative
// code (reported). A record not made by fileCreate takes nothing and yields 0.
[[nodiscard]] int fileWrite(fileTy* record, size_t offset, const void* data, size_t size);
// Makes `extra` more bytes of room. 0 or a negative code (reported).
[[nodiscard]] int fileGrow(fileTy* record, size_t extra);
// Closes the record (null is ignored); a written file is cut to `length`
// (0 = the record's length) and written out. Keeps the caller's last OS
// error value. 0, or ERR_WRITE (reported with the name) when the content
// could not be written.
int fileClose(fileTy* record, size_t length);

// Runtime streams.
inline constexpr unsigned FILE_STD_READ = 0x1;
inline constexpr unsigned FILE_STD_WRITE = 0x2;
inline constexpr unsigned FILE_STD_BINARY = 0x4;
inline constexpr unsigned FILE_STD_APPEND = 0x8;
inline constexpr unsigned FILE_STD_UPDATE = 0x10;
inline constexpr unsigned FILE_STD_IN = 0x1000;
inline constexpr unsigned FILE_STD_OUT = 0x2000;
inline constexpr unsigned FILE_STD_ERR = 0x4000;
inline constexpr unsigned FILE_STD_DENY_SHARE = 0x10000; // accepted; Linux has no sharing modes
// The name values 1 and 2 stand for standard output and standard error.
#define FILE_STD_NAME_OUT (reinterpret_cast<const char*>(1))
#define FILE_STD_NAME_ERR (reinterpret_cast<const char*>(2))

// A standard stream or a newly opened one; null on failure (ERR_OPEN,
// reported with the name).
[[nodiscard]] std::FILE* fileStdOpen(const char* name, unsigned flags);
// 0, or ERR_IO (reported). Standard streams and null are left open.
int fileStdClose(std::FILE* stream);
// The fopen mode for the flags ("rt", "wb", "r+t", ...), in a static buffer.
const char* fileModeString(unsigned flags);

// Paths and directories. Separators are "\\", "/" and ":".

// Each output that is given (size > 0) gets its part or "": the directory
// with its last separator, the name, the extension with its dot.
void pathSplit(const char* path, char* dir, size_t dirSize, char* name, size_t nameSize, char* ext, size_t extSize);
// The text after the last separator, or the whole path.
const char* pathStripDir(const char* path);

inline constexpr uint32_t DIR_ATTR_SUBDIR = 0x10;
constexpr size_t DIR_NAME_SIZE = 260;
struct dirEntryTy {
    uint32_t attrib;   // DIR_ATTR_SUBDIR for folders
    int64_t writeTime; // seconds since 1970
    uint64_t size;
    char name[DIR_NAME_SIZE];
};
struct dirTy {
    dirEntryTy find;      // the current entry
    uint8_t firstPending; // `find` holds an entry not yet handed out by dirNext
    uint8_t valid;        // `find` holds an entry
    void* handle;         // the search; null = none
};

// Lists every entry of the folder (as "*.*" would: "." and ".." first, then
// every name, with or without a dot). The first entry is in `find` at once.
// Null when the folder cannot be listed. `directory` is named as the system
// names it, not as a data name: no separator or case is changed.
[[nodiscard]] dirTy* dirOpen(const char* directory);
// 1 with the next entry in `find` (the first call hands out the one dirOpen
// found), 0 at the end.
int dirNext(dirTy* search);
void dirClose(dirTy* search);
