// Files as the operating system offers them: plain descriptors, 64-bit sizes
// and positions. Every failing call leaves its error number in last_error()
// (process.h) so callers can describe the failure afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

using FileHandle = int;
inline constexpr FileHandle invalid_file = -1;

// The ways the library opens files. Only regular files are opened: a
// directory fails with EISDIR, and anything else at the path (a FIFO, a
// device, a socket) with error_not_regular_file, in every mode. The open
// itself never waits, so a FIFO without a writer cannot hold the program.
// A file an open makes gets mode 0644, whatever the umask.
enum class FileOpen {
    read_existing,       // read; the file must exist
    write_always,        // write; created when missing, kept otherwise
    append_always,       // like write_always, every write goes to the end
    read_write_existing, // read and write; the file must exist
    write_truncate,      // write; created when missing, emptied otherwise
    read_write_truncate, // read and write; created when missing, emptied otherwise
    read_append,         // like append_always, and reads too
    create_new,          // write; made here and now, refused (EEXIST) when anything has the name
};

enum class SeekFrom { begin, current, end };

// The error number of an open refused because the path names something
// other than a regular file or a directory; system_error_text() reads it as
// "Not a regular file". It lies above every errno the system uses.
inline constexpr int error_not_regular_file = 0x10000;
// The error number of a write refused because the file has a second name
// (a hard link) elsewhere, which the write would change too; it is never
// emptied, written afresh or mended (file_open_own). system_error_text()
// reads it with the way out.
inline constexpr int error_second_name = 0x10010;
// The error number of file_open_own refusing a link at the name, which it
// never writes through; system_error_text() reads it with the link's owner
// and the way out.
inline constexpr int error_link_at_name = 0x10011;

[[nodiscard]] FileHandle file_open(const char* path, FileOpen how);
bool file_close(FileHandle file);

// The same open as a C stream, for code that reads and writes with stdio;
// null on failure, with the error number in last_error().
[[nodiscard]] std::FILE* file_open_stream(const char* path, FileOpen how);

// Both return the count transferred (short at the end of the file or when
// the device is full), or -1 on failure.
[[nodiscard]] int64_t file_read(FileHandle file, void* data, size_t n);
[[nodiscard]] int64_t file_write(FileHandle file, const void* data, size_t n);

// Writes all `n` bytes from the file's position, going on after short
// writes. 0, or the error number (ENOSPC where the device takes no more);
// the error is in last_error() too.
[[nodiscard]] int file_write_all(FileHandle file, const void* data, size_t n);

// The new position, or -1.
[[nodiscard]] int64_t file_seek(FileHandle file, int64_t offset, SeekFrom from);
// The size in bytes, or -1.
[[nodiscard]] int64_t file_size(FileHandle file);
// Pushes written data to the device.
[[nodiscard]] bool file_sync(FileHandle file);

// True for anything the open reaches at the path, directories included:
// the walk's answer (every name judged by the rule for shared folders,
// trust.h, and a relative name inside the bound data folder), so that what
// is said to be there is what an open then finds.
[[nodiscard]] bool path_exists(const char* path);

// For rewriting a file in place without ever leaving it cut: space is
// reserved before the first byte changes, and the length set after the last.
// Makes sure the first `size` bytes of the file have room on the device
// (extending the file with zeros when it is shorter), so that writing them
// cannot fail for want of space. The file must be open for reading and
// writing: on file systems that cannot reserve space, each block is read
// and written back. False with the reason in last_error() (ENOSPC when the
// device is full, EFBIG when `size` passes the process's file size limit);
// the file's bytes and length are then unchanged.
[[nodiscard]] bool file_reserve(FileHandle file, int64_t size);
// Sets the open file's permission bits (the low 12 bits of `mode`): on
// the descriptor, so no link planted at its name meanwhile is followed.
[[nodiscard]] bool file_set_permissions(FileHandle file, uint32_t mode);
// True when the open file has a second name (a hard link) elsewhere: a
// write into it in place changes that name's file too, so such a file is
// never emptied or written afresh (error_second_name, whose message then
// names the file's owner).
[[nodiscard]] bool file_has_second_name(FileHandle file);
// Cuts the file to `size` bytes (or extends it with zeros).
[[nodiscard]] bool file_resize(FileHandle file, int64_t size);

// Names that must not be taken over. `create_new` above makes a file only
// where nothing has the name, and a link there, even one that leads
// nowhere, counts as something: the open never writes through it.

// True when anything has the name: a file, a folder, or a link, even one
// that leads nowhere (path_exists follows links and misses that one).
[[nodiscard]] bool name_taken(const char* path);

// file_open for a name in a folder others may write to: follows no link
// at the name (error_link_at_name) and opens only a file of the caller's
// own (error_untrusted_owner otherwise, trust.h), and for writing only one
// without a second name (error_second_name); each refusal is kept for its
// message with the name's owner. A file to be emptied is emptied after
// those checks, so a refused one is left whole. A file of the caller's own with mode 000
// (left so by a start under `umask 777`) and one name is given mode 0644
// and opened; one the player made read-only (0400, 0444) is left so.
[[nodiscard]] FileHandle file_open_own(const char* path, FileOpen how);

// The memory page size; 4096 when the system does not say.
uint32_t page_size();

} // namespace platform
