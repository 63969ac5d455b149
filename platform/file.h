// Files as the operating system offers them: plain descriptors, 64-bit sizes
// and positions. Every failing call leaves its error number in last_error()
// (process.h) so callers can describe the failure afterwards.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using FileHandle = int;
inline constexpr FileHandle invalid_file = -1;

// The ways the library opens files. Directories are never opened as files:
// opening one fails with EISDIR, in every mode.
enum class FileOpen {
    read_existing,       // read; the file must exist
    write_always,        // write; created when missing, kept otherwise
    append_always,       // like write_always, every write goes to the end
    read_write_existing, // read and write; the file must exist
    write_truncate,      // write; created when missing, emptied otherwise
    read_write_truncate, // read and write; created when missing, emptied otherwise
};

enum class SeekFrom { begin, current, end };

[[nodiscard]] FileHandle file_open(const char* path, FileOpen how);
bool file_close(FileHandle file);

// Both return the count transferred (short at the end of the file or when
// the device is full), or -1 on failure.
[[nodiscard]] int64_t file_read(FileHandle file, void* data, size_t n);
[[nodiscard]] int64_t file_write(FileHandle file, const void* data, size_t n);

// The new position, or -1.
[[nodiscard]] int64_t file_seek(FileHandle file, int64_t offset, SeekFrom from);
// The size in bytes, or -1.
[[nodiscard]] int64_t file_size(FileHandle file);
// Pushes written data to the device.
[[nodiscard]] bool file_sync(FileHandle file);

// True for anything that exists at the path, directories included.
[[nodiscard]] bool path_exists(const char* path);

// The memory page size; 4096 when the system does not say.
uint32_t page_size();

} // namespace platform
