// Whole-file reading and writing, and the list of open files.
//
// The layer was built on mapped views. Here a read file is copied into the
// heap and a written file is assembled in the heap and written at close:
// on Linux a view of a file that shrinks under us, or a shared mapping that
// grows past a full disk, raises SIGBUS instead of an error code.
#include "engine/base/file_internal.h"
#include "platform/file.h"
#include "platform/path_resolve.h"
#include "platform/process.h"

#include <cstdlib>
#include <cstring>

namespace {

fileTy* open_files = nullptr;
bool closing_at_exit = false;

void close_all_at_exit()
{
    // A copy of the process would write the program's buffered data a
    // second time.
    if (platform::in_forked_copy())
        return;
    closing_at_exit = true;
    while (open_files)
        fileClose(open_files, 0);
}

// Registered while the program's static objects are built, so that at exit
// it runs after every handler the program registers later: one that stops
// the sound system closes the files of its sounds itself, and the files
// still open after those are closed here.
[[maybe_unused]] const bool exit_handler_registered = std::atexit(close_all_at_exit) == 0;

void link_open(fileTy* record)
{
    record->next = open_files;
    open_files = record;
}

void unlink_open(fileTy* record)
{
    for (fileTy** link = &open_files; *link; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            break;
        }
    }
    record->next = nullptr;
}

// A zeroed record: the caller's or a new one. Null when memory ran out.
fileTy* prepare_record(fileTy* record)
{
    if (record) {
        *record = fileTy {};
        return record;
    }
    record = static_cast<fileTy*>(memHooks.allocZ(1, sizeof(fileTy)));
    if (record)
        record->flags = FILE_ALLOCATED;
    return record;
}

// Frees what a record holds (and the record when the library made it),
// without touching the file on disk.
void release_record(fileTy* record)
{
    if (record->handle)
        std::fclose(record->handle);
    memHooks.free(record->view);
    memHooks.free(record->name);
    const bool allocated = record->flags & FILE_ALLOCATED;
    *record = fileTy {};
    if (allocated)
        memHooks.free(record);
}

// Reports a failure of fileLoad/fileCreate after the record is gone.
void report_failure(int code, const char* name)
{
    errState.code = code;
    dbgBreakOnRetry(errReportArg(code, fileNameForReport(name)));
}

// Reports the code with the record's name; yields the code, whatever the
// box answered.
int report_with_name(int code, const fileTy* record)
{
    dbgBreakOnRetry(errReportArg(code, fileNameForReport(record ? record->name : nullptr)));
    return code;
}

bool write_zeros(std::FILE* f, size_t count)
{
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        const size_t n = count < sizeof(zeros) ? count : sizeof(zeros);
        if (std::fwrite(zeros, 1, n, f) != n)
            return false;
        count -= n;
    }
    return true;
}

} // namespace

std::string fileResolve(const char* name) { return name ? platform::resolve_path(name) : std::string(); }

const char* fileNameForReport(const char* name)
{
    // The reporter keeps the argument's address; the record that owned the
    // name may be gone by the time the text is formatted. The name may hold
    // what a setting or a folder's listing gave: it is shown, not sent as
    // it stands.
    static char buffer[1024];
    strCopyShown(buffer, sizeof(buffer), name);
    return buffer;
}

fileTy* fileLoad(fileTy* record, const char* name)
{
    record = prepare_record(record);
    if (!record) {
        report_failure(ERR_NO_MEMORY, name);
        return nullptr;
    }
    int code = 0;
    record->name = strDupQuiet(name);
    if (name && !record->name) {
        code = ERR_NO_MEMORY;
    } else {
        const platform::FileHandle f =
            name ? platform::file_open(fileResolve(name).c_str(), platform::FileOpen::read_existing)
                 : platform::invalid_file;
        const int64_t size = f != platform::invalid_file ? platform::file_size(f) : -1;
        if (size < 0 || static_cast<uint64_t>(size) > SIZE_MAX) {
            code = ERR_OPEN;
        } else if (size > 0) {
            record->view = static_cast<uint8_t*>(memHooks.alloc(static_cast<size_t>(size)));
            if (!record->view) {
                code = ERR_NO_MEMORY;
            } else {
                // A file cut short meanwhile gives what is left of it.
                size_t got = 0;
                while (got < static_cast<size_t>(size)) {
                    const int64_t n = platform::file_read(f, record->view + got, static_cast<size_t>(size) - got);
                    if (n <= 0) {
                        if (n < 0)
                            code = ERR_OPEN;
                        break;
                    }
                    got += static_cast<size_t>(n);
                }
                record->length = record->mapSize = got;
            }
        }
        if (f != platform::invalid_file)
            platform::file_close(f);
    }
    errState.code = code;
    if (code != 0) {
        release_record(record);
        report_failure(code, name);
        return nullptr;
    }
    link_open(record);
    return record;
}

fileTy* fileCreate(fileTy* record, const char* name, size_t size, size_t growth)
{
    record = prepare_record(record);
    if (!record) {
        report_failure(ERR_NO_MEMORY, name);
        return nullptr;
    }
    record->flags |= FILE_WRITING;
    int code = 0;
    record->name = strDupQuiet(name);
    if (!record->name) {
        code = name ? ERR_NO_MEMORY : ERR_CREATE;
    } else if (!(record->handle =
                     platform::file_open_stream(fileResolve(name).c_str(), platform::FileOpen::write_truncate))) {
        code = ERR_CREATE;
    } else if (!(record->view = static_cast<uint8_t*>(memHooks.allocZ(size ? size : 1, 1)))) {
        code = ERR_NO_MEMORY;
    }
    if (code != 0) {
        release_record(record);
        report_failure(code, name);
        return nullptr;
    }
    record->mapSize = size;
    record->growth = growth;
    errState.code = 0;
    link_open(record);
    return record;
}

int fileGrow(fileTy* record, size_t extra)
{
    if (!record || !record->view || !(record->flags & FILE_WRITING))
        return report_with_name(ERR_NOT_CREATED, record);
    if (extra > SIZE_MAX - record->mapSize)
        return report_with_name(ERR_NO_MEMORY, record);
    const size_t grown = record->mapSize + extra;
    auto* view = static_cast<uint8_t*>(memHooks.realloc(record->view, grown ? grown : 1));
    if (!view)
        return report_with_name(ERR_NO_MEMORY, record);
    std::memset(view + record->mapSize, 0, extra);
    record->view = view;
    record->mapSize = grown;
    errState.code = 0;
    return 0;
}

int fileWrite(fileTy* record, size_t offset, const void* data, size_t size)
{
    if (!record || !record->view)
        return report_with_name(ERR_NOT_CREATED, record);
    if (!(record->flags & FILE_WRITING))
        return 0;
    if (offset == FILE_POS_CURRENT)
        offset = record->position;
    if (size > SIZE_MAX - offset)
        return report_with_name(ERR_BAD_ARG, record);
    const size_t end = offset + size;
    if (end > record->mapSize) {
        const size_t need = end - record->mapSize;
        const int code = fileGrow(record, need > record->growth ? need : record->growth);
        if (code != 0)
            return code;
    }
    if (data && size)
        std::memcpy(record->view + offset, data, size);
    if (end > record->length)
        record->length = end;
    record->position = end;
    return 0;
}

int fileClose(fileTy* record, size_t length)
{
    if (!record)
        return 0;
    const int saved_error = platform::last_error();
    bool write_failed = false;
    if ((record->flags & FILE_WRITING) && record->handle) {
        const size_t total = length ? length : record->length;
        const size_t from_view = total < record->mapSize ? total : record->mapSize;
        std::FILE* f = record->handle;
        record->handle = nullptr;
        write_failed = (from_view && std::fwrite(record->view, 1, from_view, f) != from_view)
            || !write_zeros(f, total - from_view) || std::fflush(f) != 0;
        write_failed = std::fclose(f) != 0 || write_failed;
    }
    // The report below may unwind; the name must outlive the record.
    const char* name = write_failed ? fileNameForReport(record->name) : nullptr;
    unlink_open(record);
    release_record(record);
    platform::set_last_error(saved_error);
    if (!write_failed)
        return 0;
    if (!closing_at_exit)
        dbgBreakOnRetry(errReportArg(ERR_WRITE, name));
    return ERR_WRITE;
}
