#include "quarn/File.h"

#include "quarn/IoLog.h"

#include "platform/file.h"
#include "platform/path_resolve.h"
#include "platform/process.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace quarn {

namespace {

using detail::IoLevel;
using detail::log_io;

std::optional<platform::FileOpen> open_kind(uint32_t mode)
{
    switch (mode & ~(open_mode::ate | open_mode::binary | open_mode::own)) {
    case open_mode::in: return platform::FileOpen::read_existing;
    case open_mode::out: return platform::FileOpen::write_always;
    case open_mode::out | open_mode::app: return platform::FileOpen::append_always;
    case open_mode::in | open_mode::out: return platform::FileOpen::read_write_existing;
    case open_mode::out | open_mode::trunc: return platform::FileOpen::write_truncate;
    case open_mode::in | open_mode::out | open_mode::trunc: return platform::FileOpen::read_write_truncate;
    default: return std::nullopt;
    }
}

std::string quoted(const char* name) { return std::string("'") + (name ? name : "") + "'"; }

} // namespace

File::File() = default;

File::~File() { close(); }

void File::record_error()
{
    error_.set_code(platform::last_error());
    failed_ = true;
}

bool File::attach(platform::FileHandle handle, uint32_t mode)
{
    if (is_open() || handle == platform::invalid_file || mode == 0)
        return false;
    handle_ = handle;
    owns_handle_ = false;
    set_mode(mode);
    return true;
}

bool File::do_open(const char* name, uint32_t mode)
{
    std::optional<platform::FileOpen> kind = open_kind(mode);
    if (is_open() || !kind || !name)
        return false;
    platform::FileHandle handle =
        (mode & open_mode::own) ? platform::file_open_own(name, *kind) : platform::file_open(name, *kind);
    bool ok = handle != platform::invalid_file;
    if (ok && (mode & open_mode::ate) && platform::file_seek(handle, 0, platform::SeekFrom::end) < 0)
        ok = false;
    if (!ok) {
        record_error();
        // A missing file is often expected by a reader (optional settings,
        // search paths), so reads only warn.
        log_io(mode & open_mode::in ? IoLevel::warning : IoLevel::error, mode & open_mode::in ? 1 : 0,
               quoted(name) + " open failed: ", &error_);
        if (handle != platform::invalid_file) {
            int saved = platform::last_error();
            platform::file_close(handle);
            platform::set_last_error(saved);
        }
        return false;
    }
    handle_ = handle;
    owns_handle_ = true;
    log_io(IoLevel::info, 5, quoted(name) + " file opened.");
    return true;
}

bool File::do_close()
{
    platform::FileHandle handle = handle_;
    bool owned = owns_handle_;
    handle_ = platform::invalid_file;
    owns_handle_ = false;
    if (!owned)
        return handle != platform::invalid_file;
    if (!platform::file_close(handle)) {
        record_error();
        return false;
    }
    return true;
}

uint32_t File::size()
{
    int64_t size = platform::file_size(handle_);
    if (size < 0) {
        record_error();
        return 0;
    }
    return size > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
}

bool File::flush()
{
    if (!is_open())
        return false;
    if (!platform::file_sync(handle_)) {
        record_error();
        log_io(IoLevel::error, 0, "flush failed: ", &error_);
        return false;
    }
    return true;
}

uint32_t File::read_raw(void* data, uint32_t n)
{
    int64_t got = platform::file_read(handle_, data, n);
    if (got < 0) {
        record_error();
        log_io(IoLevel::error, 0, "reading failed: ", &error_);
        return 0;
    }
    return static_cast<uint32_t>(got);
}

uint32_t File::read(void* data, uint32_t n)
{
    uint32_t got = read_raw(data, n);
    if ((mode() & open_mode::binary) || got == 0)
        return got;

    // Text mode, compacting in place.
    auto* bytes = static_cast<unsigned char*>(data);
    uint32_t out = 0;
    for (uint32_t i = 0; i < got; ++i) {
        unsigned char c = bytes[i];
        if (c == 26) {
            // Ctrl-Z ends the text; the next read starts at it.
            if (platform::file_seek(handle_, -static_cast<int64_t>(got - i), platform::SeekFrom::current) < 0)
                record_error();
            return out;
        }
        if (c == '\r') {
            if (i + 1 < got) {
                if (bytes[i + 1] == '\n')
                    continue;
            } else {
                unsigned char next = 0;
                int64_t more = platform::file_read(handle_, &next, 1);
                if (more == 1) {
                    // Leave the looked-at byte for the next read.
                    if (platform::file_seek(handle_, -1, platform::SeekFrom::current) < 0)
                        record_error();
                    if (next == '\n')
                        continue;
                }
            }
        }
        bytes[out++] = c;
    }
    return out;
}

uint32_t File::write(const void* data, uint32_t n)
{
    const auto* bytes = static_cast<const char*>(data);
    uint32_t done = 0;
    while (done < n) {
        // Files opened with app append through the system, which moves to
        // the end on every write.
        int64_t put = platform::file_write(handle_, bytes + done, n - done);
        if (put <= 0) {
            if (put < 0) {
                record_error();
            } else {
                error_.set_code(ENOSPC); // the device took nothing
                failed_ = true;
            }
            log_io(IoLevel::error, 0, "writing failed: ", &error_);
            break;
        }
        done += static_cast<uint32_t>(put);
    }
    return done;
}

int64_t File::seek(int64_t offset, int whence)
{
    platform::SeekFrom from;
    switch (whence) {
    case seek_dir::beginning:
        if (offset < 0)
            return -1;
        from = platform::SeekFrom::begin;
        break;
    case seek_dir::current: from = platform::SeekFrom::current; break;
    case seek_dir::end: {
        int64_t size = platform::file_size(handle_);
        if (size < 0) {
            record_error();
            return -1;
        }
        if (offset < 0 && -offset > size)
            return -1;
        from = platform::SeekFrom::end;
        break;
    }
    default: return -1;
    }
    int64_t pos = platform::file_seek(handle_, offset, from);
    if (pos < 0)
        record_error();
    return pos;
}

// As the loads find the name: its case resolved, then the walk's answer.
bool file_exists(const char* path) { return path && platform::path_exists(platform::resolve_path(path).c_str()); }

// The name as a save would resolve it: a free name must be one the save
// then finds free, also where only a namesake of another case is there.
bool name_taken(const char* path) { return path && platform::name_taken(platform::resolve_path(path).c_str()); }

bool name_taken_in(const char* folder, const char* name)
{
    if (!name)
        return false;
    const std::string path = folder && *folder ? std::string(folder) + "/" + name : std::string(name);
    return platform::name_taken(path.c_str());
}

} // namespace quarn
