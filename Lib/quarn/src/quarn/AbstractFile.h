// The library's file interface. quarn::File implements it over the
// operating system; archive members implement it too.
//
// Failures never throw here: operations answer false, 0 or -1, the file's
// last_error() describes the cause, and the failure is logged on the
// "quarn.io" channels. The stream layer turns failures into exceptions.
#pragma once

#include "quarn/ErrorInfo.h"

#include <cstdint>

namespace quarn {

// Open modes and seek directions with the standard library's values, as the
// stream layer passes them.
namespace open_mode {
inline constexpr uint32_t app = 1;
inline constexpr uint32_t ate = 2;
inline constexpr uint32_t binary = 4;
inline constexpr uint32_t in = 8;
inline constexpr uint32_t out = 16;
inline constexpr uint32_t trunc = 32;
// Only a file of the caller's own, reached through no link at its name: for
// names in a folder that others may write to (platform::file_open_own).
inline constexpr uint32_t own = 64;
} // namespace open_mode

namespace seek_dir {
inline constexpr int beginning = 1;
inline constexpr int current = 2;
inline constexpr int end = 4;
} // namespace seek_dir

class AbstractFile {
public:
    AbstractFile();
    virtual ~AbstractFile() = default;
    AbstractFile(const AbstractFile&) = delete;
    AbstractFile& operator=(const AbstractFile&) = delete;

    // True when the file opened; the mode is kept until close().
    [[nodiscard]] bool open(const char* name, uint32_t mode);
    // True when the file was open and closed cleanly; the mode is 0 after.
    bool close();

    uint32_t mode() const { return mode_; }
    bool is_open() const { return mode_ != 0; }

    // Size in bytes; files past 4 GiB - 1 answer 0xFFFFFFFF (clamped, never
    // wrapped to a small size). 0 when unknown.
    virtual uint32_t size() = 0;
    [[nodiscard]] virtual bool flush() = 0;
    // Counts are what was transferred; short on failure or at the end.
    [[nodiscard]] virtual uint32_t read(void* data, uint32_t n) = 0;
    // The bytes as the file stores them: a file whose read() changes text
    // (quarn::File without open_mode::binary) reads them unchanged here.
    // The buffered stream buffer reads text through this, so it knows
    // which byte of the file each character came from.
    [[nodiscard]] virtual uint32_t read_raw(void* data, uint32_t n) { return read(data, n); }
    virtual uint32_t write(const void* data, uint32_t n) = 0;
    // `whence` is a seek_dir value; the new position, or -1.
    virtual int64_t seek(int64_t offset, int whence) = 0;
    // The record of the last failure (may be null).
    virtual const ErrorInfo* last_error() const = 0;

    // Writes text: in binary mode unchanged, otherwise each LF as CR LF.
    // True when everything was written.
    bool write_text(const void* data, uint32_t n);

    // The memory page size, known once any file object was built.
    static uint32_t page_size();

protected:
    virtual bool do_open(const char* name, uint32_t mode) = 0;
    virtual bool do_close() = 0;
    void set_mode(uint32_t mode) { mode_ = mode; }

private:
    uint32_t mode_ = 0;
};

} // namespace quarn
